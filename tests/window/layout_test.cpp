// Initial state of the window: every control's captions, colours, values and
// geometry as built when Form1 is constructed (no procedure has run yet).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "support/fakes.h"
#include "window/form1.h"

namespace eb {
namespace {

class LayoutTest : public ::testing::Test {
 protected:
  test::FakeBridge bridge;
  test::FakePlatform platform;
  Form1 form{bridge, platform};

  // Position of a control in the drawing order (later = drawn on top).
  int DrawIndex(const Control& c) const {
    const auto& all = form.ui.controls();
    auto it = std::find(all.begin(), all.end(), &c);
    return it == all.end() ? -1 : static_cast<int>(std::distance(all.begin(), it));
  }
};

using LayoutIntegrity = LayoutTest;
using LayoutWindow = LayoutTest;
using LayoutCellPanels = LayoutTest;
using LayoutFrames = LayoutTest;
using LayoutLegend = LayoutTest;
using LayoutBoardColumn = LayoutTest;
using LayoutStackOverview = LayoutTest;
using LayoutCommandColumn = LayoutTest;

struct Rect {
  int left, top, right, bottom;
};

// Bounds relative to the container; a line may run left or up.
Rect LocalBounds(const Control& c) {
  return {std::min(c.left, c.left + c.width), std::min(c.top, c.top + c.height),
          std::max(c.left, c.left + c.width), std::max(c.top, c.top + c.height)};
}

// Bounds in window coordinates (frames are not nested).
Rect WindowBounds(const Control& c) {
  Rect r = LocalBounds(c);
  if (c.container != nullptr) {
    r.left += c.container->left;
    r.right += c.container->left;
    r.top += c.container->top;
    r.bottom += c.container->top;
  }
  return r;
}

int Overlap(int a0, int a1, int b0, int b1) { return std::min(a1, b1) - std::max(a0, b0); }

// True when the rectangles share more than `slack` pixels in both directions.
bool Overlaps(const Rect& a, const Rect& b, int slack = 0) {
  return Overlap(a.left, a.right, b.left, b.right) > slack &&
         Overlap(a.top, a.bottom, b.top, b.bottom) > slack;
}

bool Contains(const Rect& outer, const Rect& inner) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

::testing::AssertionResult At(const Control& c, int left, int top, int width, int height) {
  if (c.left == left && c.top == top && c.width == width && c.height == height) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << c.Label() << " at " << c.left << "," << c.top << " " << c.width << "x" << c.height
         << ", expected " << left << "," << top << " " << width << "x" << height;
}

// ------------------------------------------------------------------ integrity

TEST_F(LayoutIntegrity, EveryControlIsFoundByItsNameAndIndex) {
  ASSERT_FALSE(form.ui.controls().empty());
  for (const Control* c : form.ui.controls()) {
    ASSERT_FALSE(c->name.empty());
    EXPECT_EQ(form.ui.find(c->name, c->index), c) << c->Label();
    if (c->index >= 0) {
      EXPECT_TRUE(form.ui.isArray(c->name)) << c->Label();
      EXPECT_LT(c->index, form.ui.arraySize(c->name)) << c->Label();
    } else {
      EXPECT_FALSE(form.ui.isArray(c->name)) << c->Label();
    }
  }
}

TEST_F(LayoutIntegrity, ContainersAreTopLevelFramesDrawnBeforeTheirContents) {
  for (const Control* c : form.ui.controls()) {
    if (c->kind == Kind::Frame) {
      EXPECT_EQ(c->container, nullptr) << c->Label() << " is nested";
    }
    if (c->container == nullptr) continue;
    EXPECT_EQ(c->container->kind, Kind::Frame) << c->Label();
    EXPECT_LT(DrawIndex(*c->container), DrawIndex(*c)) << c->Label();
  }
}

TEST_F(LayoutIntegrity, EveryControlLiesInsideItsContainer) {
  // The bottom row (board buttons, tab frame, version line, the rule at
  // y = 576) and the BROADCAST boxes at their 113-pixel width run a few pixels
  // past the client area by design; anything further out is a mistake.
  constexpr int kWindowSlack = 8;
  for (const Control* c : form.ui.controls()) {
    const Rect r = LocalBounds(*c);
    EXPECT_GE(r.left, 0) << c->Label();
    EXPECT_GE(r.top, 0) << c->Label();
    if (c->container != nullptr) {
      EXPECT_LE(r.right, c->container->width) << c->Label() << " in " << c->container->Label();
      EXPECT_LE(r.bottom, c->container->height) << c->Label() << " in " << c->container->Label();
    } else {
      EXPECT_LE(r.right, form.ui.clientWidth + kWindowSlack) << c->Label();
      EXPECT_LE(r.bottom, form.ui.clientHeight + kWindowSlack) << c->Label();
    }
  }
}

TEST_F(LayoutIntegrity, DrawnControlsHaveASize) {
  for (const Control* c : form.ui.controls()) {
    if (c->kind == Kind::Timer) continue;
    if (c->kind == Kind::Line) {
      EXPECT_TRUE(c->width != 0 || c->height != 0) << c->Label();
    } else {
      EXPECT_GT(c->width, 0) << c->Label();
      EXPECT_GT(c->height, 0) << c->Label();
    }
  }
}

TEST_F(LayoutIntegrity, VisibleInputControlsDoNotOverlap) {
  // Neighbouring board buttons share one pixel row; nothing else may touch more.
  std::vector<const Control*> inputs;
  for (const Control* c : form.ui.controls()) {
    if (c->canFocus() && c->effectivelyVisible()) inputs.push_back(c);
  }
  ASSERT_GT(inputs.size(), 50u);
  for (size_t i = 0; i < inputs.size(); ++i) {
    for (size_t j = i + 1; j < inputs.size(); ++j) {
      EXPECT_FALSE(Overlaps(WindowBounds(*inputs[i]), WindowBounds(*inputs[j]), 1))
          << inputs[i]->Label() << " overlaps " << inputs[j]->Label();
    }
  }
}

TEST_F(LayoutIntegrity, LogoCoversNoOtherControl) {
  const Rect logo = WindowBounds(form.Picture1);
  for (const Control* c : form.ui.controls()) {
    if (c == &form.Picture1 || c->kind == Kind::Timer || !c->effectivelyVisible()) continue;
    EXPECT_FALSE(Overlaps(logo, WindowBounds(*c))) << c->Label();
  }
}

TEST_F(LayoutIntegrity, ColoursFollowTheControlKind) {
  const std::set<const Control*> opaqueLabels = {
      &form.Label21,    &form.Label10[0], &form.Label10[1], &form.Label10[2], &form.Label10[3],
      &form.Label10[4], &form.Label10[5], &form.Label10[6], &form.Label10[7]};
  for (const Control* c : form.ui.controls()) {
    switch (c->kind) {
      case Kind::Frame:
      case Kind::CheckBox:
      case Kind::OptionButton:
        EXPECT_EQ(c->back, colors::FormBackground) << c->Label();
        EXPECT_TRUE(c->fore.has_value()) << c->Label();
        break;
      case Kind::TextBox:
      case Kind::ComboBox:
        ASSERT_TRUE(c->back.has_value() && c->fore.has_value()) << c->Label();
        EXPECT_NE(*c->back, *c->fore) << c->Label() << " text would be invisible";
        break;
      case Kind::CommandButton:
        EXPECT_FALSE(c->back.has_value()) << c->Label();
        EXPECT_FALSE(c->fore.has_value()) << c->Label();
        break;
      case Kind::Label:
        EXPECT_TRUE(c->fore.has_value()) << c->Label();
        EXPECT_EQ(c->back.has_value(), opaqueLabels.count(c) == 1) << c->Label();
        break;
      default: break;
    }
    EXPECT_EQ(c->font.name, "Arial") << c->Label();
  }
}

// --------------------------------------------------------------------- window

TEST_F(LayoutWindow, CaptionSizeAndBackground) {
  EXPECT_EQ(form.ui.caption, "EB2250 ZQM4417-2 MULTICELL ADDRESSABLE BATTERY MONITOR GUI");
  EXPECT_EQ(form.ui.clientWidth, 894);
  EXPECT_EQ(form.ui.clientHeight, 572);
  EXPECT_EQ(form.ui.back, colors::LightGrey);
}

TEST_F(LayoutWindow, TimerWaitsDisabledAt100Milliseconds) {
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_EQ(form.Timer1.interval, 100);
}

TEST_F(LayoutWindow, PicturesNameOurDrawings) {
  EXPECT_EQ(form.Picture1.picture, "logo");
  EXPECT_EQ(form.Image1.picture, "marker");
  EXPECT_EQ(form.Command0[0].picture, "arrow-down");
  EXPECT_EQ(form.Command0[1].picture, "arrow-up");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(form.Command2[i].picture, i % 2 == 0 ? "arrow-down" : "arrow-up") << i;
  }
}

TEST_F(LayoutWindow, LargeFonts) {
  struct Expect {
    const Control* c;
    double size;
    bool bold;
  };
  const Expect fonts[] = {
      {&form.Label1, 14.25, true},   {&form.Label21, 27.75, true},
      {&form.Label16, 14.25, true},  {&form.Combo2, 14.25, true},
      {&form.Combo1, 12, true},      {&form.Label_AUTOstatus, 11.25, true},
      {&form.Text1[0], 8.25, false}, {&form.Command1[0], 8.25, false},
  };
  for (const Expect& e : fonts) {
    EXPECT_DOUBLE_EQ(e.c->font.size, e.size) << e.c->Label();
    EXPECT_EQ(e.c->font.bold, e.bold) << e.c->Label();
  }
  for (auto& button : form.Command4) EXPECT_TRUE(button.font.bold) << button.Label();
}

// ---------------------------------------------------------------- cell panels

TEST_F(LayoutCellPanels, TwoColumnsWithTheHighestCellOnTop) {
  for (int c = 0; c < 12; ++c) {
    const Control& panel = form.Frame1[c];
    EXPECT_EQ(panel.caption, "CELL" + std::to_string(c + 1));
    if (c >= 6) {
      EXPECT_TRUE(At(panel, 48, 64 * (11 - c), 129, 65));
    } else {
      EXPECT_TRUE(At(panel, 176, 64 * (5 - c), 129, 65));
    }
  }
  EXPECT_TRUE(At(form.Frame1[11], 48, 0, 129, 65));    // CELL12 top left
  EXPECT_TRUE(At(form.Frame1[6], 48, 320, 129, 65));   // CELL7 bottom left
  EXPECT_TRUE(At(form.Frame1[0], 176, 320, 129, 65));  // CELL1 bottom right
}

TEST_F(LayoutCellPanels, EachPanelHoldsItsReadDccAndMaskBoxes) {
  std::set<const Control*> used;
  for (int c = 0; c < 12; ++c) {
    const Control* panel = &form.Frame1[c];
    const Control* dcc = c <= 7 ? &form.Check1[c] : &form.Check2[c - 8];
    const Control* mask = c <= 3 ? &form.Check2[c + 4] : &form.Check3[c - 4];
    std::vector<const Control*> boxes;
    for (const Control* ctl : form.ui.controls()) {
      if (ctl->container == panel && ctl->kind == Kind::CheckBox) boxes.push_back(ctl);
    }
    ASSERT_EQ(boxes.size(), 3u) << panel->Label();
    for (const Control* box : boxes) {
      EXPECT_EQ(box->value(), 0) << box->Label();
      used.insert(box);
      if (box == dcc) {
        EXPECT_EQ(box->caption, "DCC");
      } else if (box == mask) {
        EXPECT_EQ(box->caption, "Mask");
      } else {
        EXPECT_EQ(box, &form.Check6[c]);
        EXPECT_EQ(box->caption, "READ Only");
      }
    }
  }
  // Every DCC and Mask box belongs to exactly one panel.
  for (ControlArray* array : {&form.Check1, &form.Check2, &form.Check3}) {
    for (auto& box : *array) EXPECT_EQ(used.count(&box), 1u) << box.Label();
  }
}

TEST_F(LayoutCellPanels, VoltageBoxShowsZeroWhiteOnBlack) {
  for (int c = 0; c < 12; ++c) {
    const Control& box = form.Text1[c];
    EXPECT_EQ(box.container, &form.Frame1[c]);
    EXPECT_TRUE(At(box, 48, 24, 61, 19));
    EXPECT_EQ(box.text, "0.000V");
    EXPECT_EQ(box.back, colors::Black);
    EXPECT_EQ(box.fore, colors::White);
    EXPECT_TRUE(box.locked);
    EXPECT_EQ(box.align, Align::Right);
  }
}

TEST_F(LayoutCellPanels, BatteryDrawingIsAnEmptyHalfFullCell) {
  for (int c = 0; c < 12; ++c) {
    const Control& body = form.Shape4[c];
    const Control& level = form.Shape2[c];
    const Control& cap = form.Shape5[c];
    for (const Control* s : {&body, &level, &cap}) {
      EXPECT_EQ(s->container, &form.Frame1[c]) << s->Label();
      EXPECT_TRUE(s->fillShown) << s->Label();
      EXPECT_EQ(s->border, colors::Black) << s->Label();
      EXPECT_EQ(s->borderWidth, 1) << s->Label();
    }
    EXPECT_TRUE(At(body, 5, 24, 33, 33));
    EXPECT_EQ(body.fill, colors::White);
    // Level bar: same column as the body, bottom on the body's bottom (57).
    EXPECT_TRUE(At(level, 5, 40, 33, 17));
    EXPECT_EQ(level.top + level.height, body.top + body.height);
    EXPECT_EQ(level.fill, colors::White);
    // Cap: grey, resting on the body's top edge, centred.
    EXPECT_EQ(cap.fill, colors::Grey);
    EXPECT_EQ(cap.top + cap.height, body.top);
    EXPECT_LE(std::abs(2 * cap.left + cap.width - (2 * body.left + body.width)), 1);
    for (const Control* line : {&form.Line7[c], &form.Line9[c], &form.Line10[c]}) {
      EXPECT_EQ(line->container, &form.Frame1[c]);
      EXPECT_TRUE(Contains(LocalBounds(body), LocalBounds(*line))) << line->Label();
    }
    // The voltage box and the check boxes stay clear of the drawing.
    const Rect drawing{body.left, cap.top, body.left + body.width, body.top + body.height};
    for (const Control* ctl : form.ui.controls()) {
      if (ctl->container == &form.Frame1[c] && ctl->canFocus()) {
        EXPECT_FALSE(Overlaps(drawing, LocalBounds(*ctl))) << ctl->Label();
      }
    }
  }
}

// --------------------------------------------------------------------- frames

TEST_F(LayoutFrames, CaptionsAndPositions) {
  struct Expect {
    const Control* frame;
    const char* caption;
    int left, top, width, height;
  };
  const Expect frames[] = {
      {&form.Frame2, "SET VOLTAGE LIMITS", 200, 392, 135, 145},
      {&form.Frame3, "SET I/O MODE CFGR0", 336, 376, 420, 201},
      {&form.Frame4, "CONFIGURATION REGISTERS", 368, 0, 273, 137},
      {&form.Frame5, "TEMPS", 128, 392, 81, 145},
      {&form.Frame6, "FLAG REG", 304, 0, 65, 137},
      {&form.Frame7, "PACKET ERROR CODE ", 640, 56, 137, 81},
      {&form.Frame9, "SELF TEST START A/D", 544, 376, 212, 97},
  };
  for (const Expect& e : frames) {
    EXPECT_EQ(e.frame->caption, e.caption);
    EXPECT_TRUE(At(*e.frame, e.left, e.top, e.width, e.height));
  }
  EXPECT_EQ(form.Frame8.caption, "LEGEND");
  EXPECT_EQ(form.Frame8.left, 304);
  EXPECT_EQ(form.Frame8.top, 136);
  EXPECT_EQ(form.Frame8.width, 153);
}

TEST_F(LayoutFrames, SelfTestFrameSitsOnTheIoModeFrameWithoutHidingIt) {
  EXPECT_GT(DrawIndex(form.Frame9), DrawIndex(form.Frame3));
  const Rect selfTest = WindowBounds(form.Frame9);
  EXPECT_TRUE(Contains(WindowBounds(form.Frame3), selfTest));
  for (const Control* c : form.ui.controls()) {
    if (c->container == &form.Frame3 && c->visible) {
      EXPECT_FALSE(Overlaps(selfTest, WindowBounds(*c))) << c->Label() << " is hidden";
    }
  }
  // The legend ends where the I/O frame begins, so it covers none of its caption.
  EXPECT_LE(form.Frame8.top + form.Frame8.height, form.Frame3.top);
}

TEST_F(LayoutFrames, IoModeBoxesStartAtTheDefaultCfgr0) {
  int cfgr0 = 0;
  for (int i = 0; i < 8; ++i) cfgr0 |= form.Check0[i].value() << i;
  EXPECT_EQ(cfgr0, 0xE0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(form.Check0[i].visible, i >= 3) << i;  // duty-cycle bits live in Text3
  }
  EXPECT_EQ(form.Check0[7].caption, "WDTEN bit7  1 = ON, 0 = OFF");
  EXPECT_EQ(form.Check0[4].caption, "LVLPL bit4  1 = Level, 0 = Toggle Poll.");
  EXPECT_EQ(form.Check0[3].caption, "10CELLS bit3  1 = 10, 0 = 12 CELLs");
  EXPECT_EQ(form.Check0[0].caption, "CDC[0] (Bit 0)");

  EXPECT_TRUE(form.Text3.locked);
  EXPECT_TRUE(form.Text3.multiLine);
  EXPECT_EQ(form.Text3.fore, colors::LightGrey);
  EXPECT_EQ(form.Text3.text.rfind("|     Comparator Off     |", 0), 0u);
  EXPECT_NE(form.Text3.text.find("|default StandbyMode |"), std::string::npos);
  EXPECT_EQ(form.Label4.caption.rfind("Set CDC (Comparator Duty Cycle)", 0), 0u);
  for (const char* head :
       {"UV/OV Comparator", "VREF Powered Down", "Cell Voltage", "Measurement"}) {
    EXPECT_NE(form.Label4.caption.find(head), std::string::npos) << head;
  }
  // Label4 heads the table; the duty-cycle arrows sit right of it, up above down.
  EXPECT_LE(form.Label4.top + form.Label4.height, form.Text3.top);
  for (auto& arrow : form.Command0) {
    EXPECT_TRUE(arrow.visible);
    EXPECT_EQ(arrow.width, 17);
    EXPECT_EQ(arrow.height, 17);
    EXPECT_GE(arrow.left, form.Text3.left + form.Text3.width) << arrow.Label();
  }
  EXPECT_EQ(form.Command0[1].top + form.Command0[1].height, form.Command0[0].top);
}

TEST_F(LayoutFrames, OneOptionOfEachPairIsSelected) {
  struct Expect {
    ControlArray* options;
    int selected;
  };
  for (const Expect& e :
       {Expect{&form.Option1, 1}, Expect{&form.Option2, 0}, Expect{&form.Option3, 1}}) {
    for (auto& option : *e.options) {
      EXPECT_EQ(option.value(), option.index == e.selected ? 1 : 0) << option.Label();
    }
  }
  EXPECT_EQ(form.Option3[1].caption, "GLOBAL CFGR0");
  EXPECT_EQ(form.Option3[0].caption, "CUSTOM BRD# 1");
  EXPECT_TRUE(form.Option3[0].font.bold);
  EXPECT_EQ(form.Option3[0].fore, colors::DarkRed);
  EXPECT_EQ(form.Option2[0].caption, "0x555");
  EXPECT_EQ(form.Option2[1].caption, "0xAAA");
}

TEST_F(LayoutFrames, VoltageLimitEntry) {
  EXPECT_EQ(form.Label13[1].caption, "GLOBAL VUV,  VOV");
  EXPECT_EQ(form.Label13[0].caption, "CUSTOM  BOARD # 1");
  EXPECT_TRUE(form.Label13[0].font.bold);
  EXPECT_EQ(form.Label13[0].fore, colors::DarkRed);
  EXPECT_EQ(form.Text2[1].text, "Set VOV  ");
  EXPECT_EQ(form.Text2[0].text, "Set VUV\r\n");
  for (int i = 0; i < 2; ++i) {
    const Control& box = form.Text2[i];
    EXPECT_EQ(form.Option1[i].caption, "") << i;
    EXPECT_FALSE(box.locked) << i;
    // Single line: Enter moves on to WRITE CONFIG and must not add a line break.
    EXPECT_FALSE(box.multiLine) << i;
    EXPECT_EQ(box.fore, colors::LightGrey) << i;
    EXPECT_EQ(box.align, Align::Right) << i;
    // Its caption names the threshold and the range.
    const std::string& caption = form.Label3[i].caption;
    EXPECT_EQ(caption.rfind(i == 0 ? "Enter VUV Undervoltage" : "Enter VOV  Overvoltage", 0), 0u);
    EXPECT_NE(caption.find("0.000V to"), std::string::npos);
    EXPECT_NE(caption.find("6.120V"), std::string::npos);
    // Up arrow above down arrow, right of the box, level with it; hidden.
    const Control& up = form.Command2[2 * i + 1];
    const Control& down = form.Command2[2 * i];
    EXPECT_EQ(up.top + up.height, down.top);
    for (const Control* arrow : {&up, &down}) {
      EXPECT_FALSE(arrow->visible) << arrow->Label();
      EXPECT_EQ(arrow->container, &form.Frame2);
      EXPECT_GE(arrow->left, box.left + box.width) << arrow->Label();
      EXPECT_GT(Overlap(arrow->top, arrow->top + arrow->height, box.top, box.top + box.height), 0)
          << arrow->Label();
    }
  }
}

TEST_F(LayoutFrames, ConfigurationRegisterRows) {
  for (int k = 0; k < 6; ++k) {
    const std::string expected = k == 0 ? " 0xE0" : " 0x00";
    EXPECT_EQ(form.Text5[k].text, expected) << k;
    EXPECT_EQ(form.Text4[k].text, expected) << k;
    EXPECT_TRUE(form.Text5[k].locked && form.Text4[k].locked) << k;
    EXPECT_EQ(form.Text4[k].fore, colors::LightGrey) << k;
    EXPECT_EQ(form.Text4[k].back, colors::WindowBackground) << k;
    // Two rows of six boxes, left to right, each under its heading.
    for (const ControlArray* row : {&form.Text5, &form.Text4}) {
      const Control& box = (*row)[k];
      EXPECT_EQ(box.top, (*row)[0].top);
      EXPECT_EQ(box.width, (*row)[0].width);
      if (k > 0) {
        EXPECT_GE(box.left, (*row)[k - 1].left + (*row)[k - 1].width);
      }
    }
  }
  EXPECT_LE(form.Label5[0].top + form.Label5[0].height, form.Text5[0].top);
  EXPECT_LE(form.Text5[0].top + form.Text5[0].height, form.Label5[1].top);
  EXPECT_LE(form.Label5[1].top + form.Label5[1].height, form.Text4[0].top);
  EXPECT_EQ(form.Label5[0].caption.rfind("CONFIGURATION READ FROM ZQM4417", 0), 0u);
  EXPECT_EQ(form.Label5[1].caption.rfind("CONFIGURATION WRITTEN TO ZQM4417", 0), 0u);
  for (const char* head : {"CFGR0", "CFGR1", "CFGR2", "CFGR3", "CFGR4", "CFGR5"}) {
    EXPECT_NE(form.Label5[1].caption.find(head), std::string::npos) << head;
  }
}

TEST_F(LayoutFrames, TemperatureChannels) {
  const char* captions[] = {"ITMP Only", "ETMP1Only", "ETMP2Only"};
  for (int i = 0; i < 3; ++i) {
    const Control& reading = form.Text6[i];
    EXPECT_EQ(form.Check7[i].caption, captions[i]);
    EXPECT_EQ(form.Check7[i].value(), 0);
    EXPECT_EQ(reading.text, " 0.000V");
    EXPECT_EQ(reading.back, colors::Black);
    EXPECT_EQ(reading.fore, colors::White);
    EXPECT_TRUE(reading.locked);
    EXPECT_EQ(form.Shape6[i].shape, ShapeType::Circle);
    // Each thermometer stands right of its reading, below the channel's check
    // box and above the next channel's.
    const int bandTop = form.Check7[i].top;
    const int bandBottom = i < 2 ? form.Check7[i + 1].top : form.Frame5.height;
    for (const Control* s : {&form.Shape6[i], &form.Shape7[i], &form.Shape8[i]}) {
      EXPECT_EQ(s->container, &form.Frame5);
      EXPECT_TRUE(s->fillShown) << s->Label();
      EXPECT_EQ(s->fill, colors::White) << s->Label();
      EXPECT_GE(s->left, reading.left + reading.width) << s->Label();
      EXPECT_GE(s->top, bandTop) << s->Label();
      EXPECT_LE(s->top + s->height, bandBottom) << s->Label();
    }
  }
}

TEST_F(LayoutFrames, FlagRegistersAndPacketErrorCode) {
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(form.Label6[k].caption, "|  FLGR" + std::to_string(k) + "  | ");
    EXPECT_EQ(form.Text7[k].text, "  00 ");
    EXPECT_TRUE(form.Text7[k].locked);
    EXPECT_LE(form.Label6[k].top + form.Label6[k].height, form.Text7[k].top);
  }
  EXPECT_EQ(form.Label8[0].caption, "|  ZQM4417  |    CALC    |  ");
  EXPECT_EQ(form.Text8.text, "");
  EXPECT_EQ(form.Text8.back, colors::White);
  EXPECT_EQ(form.Text8.align, Align::Center);
  EXPECT_TRUE(form.Text8.locked);
  EXPECT_EQ(form.Label8[1].caption, "");
  EXPECT_EQ(form.Label8[1].align, Align::Center);
}

TEST_F(LayoutFrames, SelfTestButtons) {
  struct Expect {
    int index;
    const char* caption;
    const char* tooltip;
  };
  const Expect buttons[] = {
      {0, "CELL VOLT", "0x1E STCVAD SELF TEST ALL"},
      {1, "OPEN WIRE", "0x2E STOWAD SELF TEST ALL"},
      {2, "ALL TEMP ", "0x3E STTMPAD SELF TEST ALL"},
      {3, "READCELL HEX VIEW", "READ ONLY BRD#1 CELLS FOR SELFTEST IN HEX."},
      {4, "READTEMP HEX VIEW", "READ ONLY BRD#1 TEMPS FOR SELFTEST IN HEX."},
      {5, "CELL DCC", "0x6E STCVDC SELF TEST ALL"},
      {6, "OPEN DCC", "0x7E STOWDC SELF TEST ALL"},
  };
  for (const Expect& e : buttons) {
    const Control& button = form.Command5[e.index];
    EXPECT_EQ(button.caption, e.caption);
    EXPECT_EQ(button.tooltip, e.tooltip);
    EXPECT_EQ(button.container, &form.Frame9);
    EXPECT_TRUE(button.visible && button.enabled);
  }
}

// --------------------------------------------------------------------- legend

TEST_F(LayoutLegend, RowsShowTheStatusColours) {
  struct Row {
    const char* sample;
    Rgb color;
    const char* explanation;
    Rgb fill;
  };
  const Row rows[] = {
      {" DANGER!", 0xFF0000, "Flag Over Voltage ", 0xFF0000},
      {" GOOD", 0x00FF00, "Voltage In Range", 0x00FF00},
      {" CLEAR", 0xFFFFFF, "No Voltage Reading", 0xFFFFFF},
      {" MASKED", 0xC0C0C0, "Mask Cell Interrupt", 0xE0E0E0},
      {" MASKDCC", 0xC0C0C0, "Mask Cell Int w/ DCC", 0x808080},
      {" DISCHARGE", 0x8080FF, "DisCharge Cell", 0x8080FF},
      {" CAUTION!", 0xFFFF00, "Flag  Under Voltage ", 0xFFFF00},
      {" THERMAL SD!", 0xFF8000, "Thermal Shutdown!", 0xFF8000},
  };
  for (int r = 0; r < 8; ++r) {
    EXPECT_EQ(form.Label10[r].caption, rows[r].sample) << r;
    EXPECT_EQ(form.Label10[r].back, colors::Black) << r;
    EXPECT_EQ(form.Label10[r].fore, rows[r].color) << r;
    EXPECT_EQ(form.Label11[r].caption, rows[r].explanation) << r;
    EXPECT_EQ(form.Label11[r].fore, colors::Black) << r;
    EXPECT_EQ(form.Shape10[r].fill, rows[r].fill) << r;
    EXPECT_EQ(form.Shape9[r].fill, r == 2 ? colors::White : colors::PaleGrey) << r;
    for (const Control* s : {&form.Shape9[r], &form.Shape10[r], &form.Shape11[r]}) {
      EXPECT_TRUE(s->fillShown) << s->Label();
      EXPECT_EQ(s->container, &form.Frame8) << s->Label();
    }
  }
}

TEST_F(LayoutLegend, LevelBarsFollowTheCellStatusHeights) {
  auto level = [this](int r) { return form.Shape10[r].height; };
  for (int r = 0; r < 8; ++r) {
    const Control& body = form.Shape9[r];
    const Control& bar = form.Shape10[r];
    const Control& cap = form.Shape11[r];
    EXPECT_EQ(bar.left, body.left) << r;
    EXPECT_EQ(bar.width, body.width) << r;
    EXPECT_EQ(bar.top + bar.height, body.top + body.height) << r;
    EXPECT_EQ(cap.top + cap.height, body.top) << r;
    if (r > 0) {
      // Rows stack downwards without overlapping.
      EXPECT_GE(cap.top, form.Label11[r - 1].top + form.Label11[r - 1].height) << r;
    }
  }
  const int body = form.Shape9[0].height;
  EXPECT_EQ(level(3), body);                    // masked: full
  EXPECT_EQ(level(7), body);                    // thermal shutdown: full
  EXPECT_LE(std::abs(2 * level(1) - body), 1);  // normal: half
  EXPECT_EQ(level(2), level(1));                // no reading: as normal
  EXPECT_GT(level(0), level(1));                // over-voltage: three quarters
  EXPECT_LT(level(0), body);
  for (int r : {4, 5, 6}) {  // masked discharge, discharge, under-voltage: nearly empty
    EXPECT_LT(level(r), level(1)) << r;
    EXPECT_GT(level(r), 0) << r;
  }
}

// --------------------------------------------------------------- board column

TEST_F(LayoutBoardColumn, BoardButtonsStackUpwardsWithTheirAddresses) {
  const char* hex = "0123456789ABCDEF";
  for (int i = 0; i < 10; ++i) {
    const Control& button = form.Command4[i];
    EXPECT_TRUE(At(button, 0, 536 - 40 * i, 50, 41));
    EXPECT_TRUE(button.visible);
    const std::string prefix = i < 9 ? "BRD# " + std::to_string(i + 1) + "    0x" : "BRD#10   0x";
    EXPECT_EQ(button.caption, prefix + "8" + hex[i + 1]);
    EXPECT_GT(DrawIndex(button), DrawIndex(form.Shape15));  // drawn on the tab frame
  }
  EXPECT_EQ(form.Command4[0].caption, "BRD# 1    0x81");
  EXPECT_EQ(form.Command4[9].caption, "BRD#10   0x8A");
  EXPECT_TRUE(At(form.Shape15, 0, 532, 50, 41));
  EXPECT_EQ(form.Shape15.fill, colors::DarkRed);
  EXPECT_TRUE(form.Shape15.fillShown);
}

TEST_F(LayoutBoardColumn, SelectedBoardLabels) {
  EXPECT_EQ(form.Label1.caption, "B O A R D # 1");
  EXPECT_TRUE(At(form.Label1, 6, 0, 15, 177));
  EXPECT_EQ(form.Label1.fore, colors::DarkRed);
  EXPECT_EQ(form.Label21.caption, "1");
  EXPECT_TRUE(At(form.Label21, 0, 114, 48, 48));
  EXPECT_EQ(form.Label21.fore, colors::PaleGrey);
  EXPECT_EQ(form.Label21.back, colors::DarkRed);
  EXPECT_EQ(form.Label21.align, Align::Center);
  EXPECT_EQ(form.Label14.caption, "SET/ DISPLAY BOARD # 1 AT HEX ADDRESS");
  EXPECT_TRUE(At(form.Label14, 52, 392, 73, 41));
  EXPECT_EQ(form.Label16.caption, "0x8");
  EXPECT_EQ(form.Label7.caption, "NUMBER OF BOARDS IN SYSTEM");
  EXPECT_EQ(form.Label_IDstring.caption, "Label14");
  EXPECT_TRUE(At(form.Label_version, 120, 556, 217, 17));
  for (const char* part : {"EB2250", "ZQM4417", "GUI", "25"}) {
    EXPECT_NE(form.Label_version.caption.find(part), std::string::npos) << part;
  }
  EXPECT_TRUE(At(form.Line1, 0, 576, form.ui.clientWidth, 0));
}

TEST_F(LayoutBoardColumn, ComboLists) {
  const std::vector<std::string> digits = {"0", "1", "2", "3", "4", "5", "6", "7",
                                           "8", "9", "A", "B", "C", "D", "E", "F"};
  EXPECT_EQ(form.Combo2.list, digits);
  // Only the edit text; no entry is chosen until a board selection shows
  // its address.
  EXPECT_EQ(form.Combo2.listIndex(), -1);
  EXPECT_EQ(form.Combo2.text, "1");
  EXPECT_TRUE(At(form.Combo2, 88, 436, 40, 30));

  const std::vector<std::string> counts = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
  EXPECT_EQ(form.Combo1.list, counts);
  // No entry chosen yet, so the start-up choice of entry 0 is a change.
  EXPECT_EQ(form.Combo1.listIndex(), -1);
  EXPECT_EQ(form.Combo1.text, "1");
  EXPECT_TRUE(At(form.Combo1, 56, 512, 49, 27));
}

// ------------------------------------------------------------- stack overview

TEST_F(LayoutStackOverview, GridCellIndexIsTwelveTimesBoardPlusCell) {
  for (int b = 0; b < 10; ++b) {
    for (int c = 0; c < 12; ++c) {
      const Control& cell = form.Shape1[12 * b + c];
      EXPECT_TRUE(At(cell, 512 + 24 * b, 330 - 14 * c, 20, 14)) << "board " << b << " cell " << c;
      EXPECT_EQ(cell.shape, ShapeType::Rectangle);
      EXPECT_EQ(cell.fill, colors::White);
      EXPECT_TRUE(cell.fillShown);
      EXPECT_EQ(cell.border, colors::PaleGrey);
      EXPECT_EQ(cell.borderWidth, 1);
      EXPECT_EQ(cell.container, nullptr);
    }
  }
  EXPECT_TRUE(At(form.Shape1[12], 536, 330, 20, 14));  // board 2, cell 1
}

TEST_F(LayoutStackOverview, PecLampsShareTheAddressRow) {
  for (int b = 0; b < 10; ++b) {
    const Control& lamp = form.Shape12[b];
    EXPECT_TRUE(At(lamp, 512 + 24 * b, 160, 20, 14));
    EXPECT_EQ(lamp.shape, ShapeType::Oval);
    EXPECT_EQ(lamp.fill, colors::White);
    EXPECT_TRUE(lamp.fillShown);
    EXPECT_EQ(lamp.border, colors::PaleGrey);
    EXPECT_EQ(lamp.borderWidth, 1);
    // The lamp row sits just above the column's top grid cell (cell 12).
    const int gap = form.Shape1[12 * b + 11].top - (lamp.top + lamp.height);
    EXPECT_TRUE(gap >= 0 && gap <= 2) << lamp.Label() << " gap " << gap;
  }
  EXPECT_EQ(form.Label15.top, form.Shape12[0].top);
  EXPECT_EQ(form.Label15.caption,
            "ADDRESS 81    82    83    84    85    86    87    88    89    8A");
  EXPECT_EQ(form.Label12.caption,
            "BOARDS   1       2      3      4      5      6      7      8      9     10");
  EXPECT_TRUE(At(form.Label12, 464, 144, form.Label12.width, form.Label12.height));
}

TEST_F(LayoutStackOverview, MarkerIsCentredOverTheSelectedColumn) {
  const Control& marker = form.Image1;
  EXPECT_EQ(marker.left, 504 + 24 * form.BRDnumber);
  const Control& lamp = form.Shape12[form.BRDnumber];
  EXPECT_EQ(2 * marker.left + marker.width, 2 * lamp.left + lamp.width);
  EXPECT_LE(marker.top + marker.height, form.Label12.top);  // above the board numbers
}

TEST_F(LayoutStackOverview, RowHeadsLineUpWithTheGrid) {
  const Control& left = form.Label9[0];
  EXPECT_EQ(left.caption,
            "CELL12 CELL11 CELL10 CELL 9  CELL 8  CELL 7  CELL 6  CELL 5  CELL 4  CELL 3  CELL 2  "
            "CELL 1");
  EXPECT_TRUE(left.multiLine);
  EXPECT_EQ(left.top, form.Shape1[11].top);
  EXPECT_EQ(left.top + left.height, form.Shape1[0].top + form.Shape1[0].height);
  EXPECT_LE(left.left + left.width, form.Shape1[0].left);

  // Right-hand heads: "PEC" beside the lamps, then one line per grid row; at
  // left 536 + 24·9 they sit just right of the tenth column.
  const Control& right = form.Label9[1];
  EXPECT_EQ(right.caption.rfind("PEC C12 C11", 0), 0u);
  EXPECT_TRUE(right.multiLine);
  EXPECT_EQ(right.left, 536 + 24 * 9);
  EXPECT_EQ(right.top, 162);
  EXPECT_GE(right.left, form.Shape1[119].left + form.Shape1[119].width);

  const Control& status = form.Label_AUTOstatus;
  EXPECT_TRUE(At(status, 464, 346, 305, 41));
  EXPECT_EQ(status.caption, "DISPLAY ONLY VALID DATA TRANSFERS!");
  EXPECT_EQ(status.fore, colors::DarkGreen);
  EXPECT_GE(status.top, form.Shape1[0].top + form.Shape1[0].height);
}

// ------------------------------------------------------------- command column

TEST_F(LayoutCommandColumn, CommandButtonCaptionsAndToolTips) {
  struct Expect {
    int index;
    const char* caption;
    const char* tooltip;
  };
  const Expect buttons[] = {
      {0, "POLL ADC", "0x40 PLADC"},
      {1, "POLL INT", "0x50 PLINT"},
      {2, "STARTCELLVOLT", "0x10 STCVAD"},
      {3, "START OPENWIRE", "0x20 STOWAD"},
      {4, "START TEMP", "0x30 STTMPAD"},
      {5, "WRITE CONFIG", "0x01 WRCFG"},
      {6, "READ CONFIG", "0x02 RDCFG"},
      {7, "READCELLVOLT", "0x04 RDCV"},
      {8, "READ FLAG", "0x06 RDFLG"},
      {9, "READ TEMP", "0x08 RDTMP"},
      {10, " START CONTINUOUS   READ CELLS",
       "CONTINUOUS  READ = 1) STCVAD and RDCV. 2) STTMPAD and  RDTMP. 3) RDFLG."},
      {11, "START D-LOG", "START/ PAUSE DATA LOGGING"},
      {12, "STOP", "STOP DATA LOGGING!"},
      {13, "VIEW", "VIEW DATA TEXT FILE"},
      {14, "LOW CURRENT STBY",
       "UB774B'S SPI LINES ARE FORCED HIGH  TO SHOW ZQM4417-1'S LOW CURRENT STANDBY."},
  };
  ASSERT_EQ(form.Command1.size(), 15);
  for (const Expect& e : buttons) {
    EXPECT_EQ(form.Command1[e.index].caption, e.caption) << e.index;
    EXPECT_EQ(form.Command1[e.index].tooltip, e.tooltip) << e.index;
  }
  EXPECT_EQ(form.Command3[0].caption, "STARTCELL hold DCC");
  EXPECT_EQ(form.Command3[0].tooltip, "0x60 STCVDC");
  EXPECT_EQ(form.Command3[1].caption, "STARTOPEN hold DCC");
  EXPECT_EQ(form.Command3[1].tooltip, "0x70 STOWDC");
  EXPECT_EQ(form.Check_AUTO.caption, "PEC Match Only");
  EXPECT_EQ(form.Check_AUTO.tooltip, "Auto Retry Command on Detection of CRC8 (PEC) Error");
  EXPECT_EQ(form.Check_AUTO.value(), 0);
}

TEST_F(LayoutCommandColumn, ButtonPositions) {
  // Index, top; every command button of the column is 97 × 17 at left 788,
  // except WRITE CONFIG, which starts narrowed inside its highlight frame.
  const int tops[][2] = {{0, 72},  {1, 104}, {3, 136}, {6, 200}, {2, 232},
                         {7, 264}, {4, 296}, {9, 328}, {8, 360}};
  for (const auto& t : tops) EXPECT_TRUE(At(form.Command1[t[0]], 788, t[1], 97, 17));
  EXPECT_TRUE(At(form.Command1[5], 796, 168, 81, 17));
  EXPECT_TRUE(At(form.Command1[11], 772, 512, 113, 25));
  EXPECT_TRUE(At(form.Command1[14], 764, 514, 121, 18));
  EXPECT_TRUE(At(form.Command1[10], 764, 536, 121, 30));
  EXPECT_TRUE(At(form.Command1[13], 764, 528, 57, 41));
  EXPECT_TRUE(At(form.Command1[12], 828, 528, 57, 41));
  EXPECT_TRUE(At(form.Command3[0], 764, 408, 121, 17));
  EXPECT_TRUE(At(form.Command3[1], 764, 440, 121, 17));
  EXPECT_TRUE(At(form.Check_AUTO, 772, 494, form.Check_AUTO.width, form.Check_AUTO.height));
}

TEST_F(LayoutCommandColumn, DatalogButtonsWaitHiddenInPlaceOfContinuousRead) {
  for (int i = 0; i < 15; ++i) {
    EXPECT_EQ(form.Command1[i].visible, i != 11 && i != 12 && i != 13) << i;
    EXPECT_TRUE(form.Command1[i].enabled) << i;
  }
  // STOP and VIEW take the place of the continuous-read button.
  const Rect continuous = WindowBounds(form.Command1[10]);
  EXPECT_TRUE(Overlaps(continuous, WindowBounds(form.Command1[12])));
  EXPECT_TRUE(Overlaps(continuous, WindowBounds(form.Command1[13])));
}

TEST_F(LayoutCommandColumn, BroadcastBoxesSitRightAboveTheirButtons) {
  auto checkAbove = [](const Control& box, const Control& button) {
    const int gap = button.top - (box.top + box.height);
    EXPECT_TRUE(gap >= 0 && gap <= 1) << box.Label() << " gap " << gap;
    EXPECT_EQ(box.left, 788) << box.Label();
    EXPECT_GT(Overlap(box.left, box.left + box.width, button.left, button.left + button.width), 0)
        << box.Label();
  };
  for (int k = 0; k < 6; ++k) {  // Check5(k) belongs to Command1(k)
    const Control& box = form.Check5[k];
    checkAbove(box, form.Command1[k]);
    EXPECT_EQ(box.caption, "BROADCAST");
    EXPECT_EQ(box.value(), 1);
    EXPECT_EQ(box.width, 113);
    // Ticked: the command goes to every board, so the board label is hidden.
    const Control& label = form.Label19[k];
    EXPECT_EQ(label.caption, "BRD#1");
    EXPECT_EQ(label.top, box.top);
    EXPECT_FALSE(label.visible) << label.Label();
  }
  for (int k = 0; k < 2; ++k) {
    const Control& box = form.Check8[k];
    checkAbove(box, form.Command3[k]);
    EXPECT_EQ(box.caption, "B'CAST");
    EXPECT_EQ(box.value(), 0);
    EXPECT_EQ(box.width, 57);
    const Control& label = form.Label20[k + 1];
    EXPECT_EQ(label.caption, "BRD#1");
    EXPECT_EQ(label.top, box.top);
    EXPECT_TRUE(label.visible) << label.Label();
  }
  // Every board label: left 852, bold dark red, right-aligned, clear of an
  // unticked (57-pixel) box.
  std::vector<const Control*> labels;
  for (auto& l : form.Label19) labels.push_back(&l);
  labels.push_back(&form.Label20[1]);
  labels.push_back(&form.Label20[2]);
  for (const Control* l : labels) {
    EXPECT_EQ(l->left, 852) << l->Label();
    EXPECT_TRUE(l->font.bold) << l->Label();
    EXPECT_EQ(l->fore, colors::DarkRed) << l->Label();
    EXPECT_EQ(l->align, Align::Right) << l->Label();
    EXPECT_GE(l->left, 788 + 57) << l->Label();
  }
}

TEST_F(LayoutCommandColumn, ReadButtonsCarryBoardOnlyLabels) {
  const int buttons[] = {6, 7, 9, 8};  // READ CONFIG, READCELLVOLT, READ TEMP, READ FLAG
  for (int k = 0; k < 4; ++k) {
    const Control& label = form.Label18[k];
    const Control& button = form.Command1[buttons[k]];
    EXPECT_EQ(label.caption, "BOARD# 1 ONLY");
    EXPECT_EQ(label.top + label.height, button.top) << label.Label();
    EXPECT_GE(label.left, button.left) << label.Label();
    EXPECT_LE(label.left + label.width, button.left + button.width) << label.Label();
  }
}

TEST_F(LayoutCommandColumn, HighlightFramesEncloseTheNarrowedButtons) {
  auto narrowed = [](const Control& button) {
    return Rect{796, button.top, 796 + 81, button.top + button.height};
  };
  struct Expect {
    const Control* frame;
    const Control* button;
    bool visible;
  };
  const Expect frames[] = {
      {&form.Shape14, &form.Command1[5], true},
      {&form.Shape16[0], &form.Command1[6], false},
      {&form.Shape16[1], &form.Command1[7], false},
      {&form.Shape16[2], &form.Command1[9], false},
  };
  for (const Expect& e : frames) {
    EXPECT_TRUE(Contains(WindowBounds(*e.frame), narrowed(*e.button))) << e.frame->Label();
    EXPECT_EQ(e.frame->visible, e.visible) << e.frame->Label();
    EXPECT_EQ(e.frame->fill, colors::LightYellow) << e.frame->Label();
    EXPECT_TRUE(e.frame->fillShown) << e.frame->Label();
    EXPECT_LT(DrawIndex(*e.frame), DrawIndex(*e.button)) << e.frame->Label();
  }
  EXPECT_TRUE(Contains(WindowBounds(form.Shape14), WindowBounds(form.Command1[5])));
}

TEST_F(LayoutCommandColumn, Lamps) {
  EXPECT_TRUE(At(form.Shape3, 764, 460, 121, 33));
  EXPECT_EQ(form.Shape3.borderWidth, 3);
  EXPECT_EQ(form.Shape3.fill, colors::Red);
  EXPECT_TRUE(form.Shape3.fillShown);

  EXPECT_TRUE(At(form.Shape13, 760, 375, 17, 17));
  EXPECT_EQ(form.Shape13.shape, ShapeType::Circle);
  EXPECT_EQ(form.Shape13.fill, colors::White);
  EXPECT_TRUE(form.Shape13.fillShown);
  // Its heading stands right of it, above the hold-discharge buttons.
  const Control& heading = form.Label20[0];
  EXPECT_EQ(heading.caption, "DCC PERMITTED CMD");
  EXPECT_GE(heading.left, form.Shape13.left + form.Shape13.width);
  EXPECT_GT(Overlap(heading.top, heading.top + heading.height, form.Shape13.top,
                    form.Shape13.top + form.Shape13.height),
            0);
  EXPECT_LE(heading.top + heading.height, form.Check8[0].top);
}

}  // namespace
}  // namespace eb
