// The window as built when Form1 is constructed (no procedure has run yet):
// how its controls relate to one another. The value of every property of
// every control is compared with a golden snapshot in layout_snapshot_test.cpp.
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

TEST_F(LayoutWindow, PicturesNameOurDrawings) {
  for (const Control* c : form.ui.controls()) {
    if (c->kind == Kind::Picture || c->kind == Kind::Image) {
      EXPECT_FALSE(c->picture.empty()) << c->Label();
    }
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(form.Command2[i].picture, i % 2 == 0 ? "arrow-down" : "arrow-up") << i;
  }
}

// ---------------------------------------------------------------- cell panels

TEST_F(LayoutCellPanels, TwoColumnsWithTheHighestCellOnTop) {
  for (int c = 0; c < 12; ++c) {
    const Control& panel = form.Frame1[c];
    EXPECT_EQ(panel.caption, "CELL" + std::to_string(c + 1));
    // Cells 7 … 12 in the left column, 1 … 6 in the right, the higher cell above.
    const Control& column = form.Frame1[c >= 6 ? 6 : 0];
    EXPECT_EQ(panel.left, column.left) << panel.Label();
    if (c % 6 != 5) {
      EXPECT_EQ(form.Frame1[c + 1].top + panel.height - 1, panel.top) << c;
    }
  }
  EXPECT_LT(form.Frame1[6].left, form.Frame1[0].left);
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

TEST_F(LayoutCellPanels, VoltageBoxSitsInItsPanel) {
  for (int c = 0; c < 12; ++c) {
    const Control& box = form.Text1[c];
    EXPECT_EQ(box.container, &form.Frame1[c]);
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
    }
    // Level bar: same column as the body, bottom on the body's bottom, half full.
    EXPECT_EQ(level.left, body.left);
    EXPECT_EQ(level.width, body.width);
    EXPECT_EQ(level.top + level.height, body.top + body.height);
    EXPECT_LE(std::abs(2 * level.height - body.height), 1);
    // Cap: resting on the body's top edge, centred.
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
  // Label4 heads the table; the duty-cycle arrows sit right of it, up above down.
  EXPECT_LE(form.Label4.top + form.Label4.height, form.Text3.top);
  for (auto& arrow : form.Command0) {
    EXPECT_TRUE(arrow.visible);
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
}

TEST_F(LayoutFrames, VoltageLimitEntry) {
  for (int i = 0; i < 2; ++i) {
    const Control& box = form.Text2[i];
    EXPECT_FALSE(box.locked) << i;
    // Single line: Enter moves on to WRITE CONFIG and must not add a line break.
    EXPECT_FALSE(box.multiLine) << i;
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
    EXPECT_TRUE(form.Text5[k].locked && form.Text4[k].locked) << k;
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
}

TEST_F(LayoutFrames, TemperatureChannels) {
  for (int i = 0; i < 3; ++i) {
    const Control& reading = form.Text6[i];
    EXPECT_TRUE(reading.locked);
    // Each thermometer stands right of its reading, below the channel's check
    // box and above the next channel's.
    const int bandTop = form.Check7[i].top;
    const int bandBottom = i < 2 ? form.Check7[i + 1].top : form.Frame5.height;
    for (const Control* s : {&form.Shape6[i], &form.Shape7[i], &form.Shape8[i]}) {
      EXPECT_EQ(s->container, &form.Frame5);
      EXPECT_TRUE(s->fillShown) << s->Label();
      EXPECT_GE(s->left, reading.left + reading.width) << s->Label();
      EXPECT_GE(s->top, bandTop) << s->Label();
      EXPECT_LE(s->top + s->height, bandBottom) << s->Label();
    }
  }
}

TEST_F(LayoutFrames, FlagRegistersSitUnderTheirHeads) {
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(form.Text7[k].locked);
    EXPECT_LE(form.Label6[k].top + form.Label6[k].height, form.Text7[k].top);
  }
  EXPECT_TRUE(form.Text8.locked);
}

TEST_F(LayoutFrames, SelfTestButtonsLieInTheirFrame) {
  for (auto& button : form.Command5) {
    EXPECT_EQ(button.container, &form.Frame9);
    EXPECT_TRUE(button.visible && button.enabled);
  }
}

// --------------------------------------------------------------------- legend

TEST_F(LayoutLegend, RowsShowTheStatusColours) {
  // Each sample label is drawn in the colour its battery drawing shows.
  for (int r = 0; r < 8; ++r) {
    EXPECT_EQ(form.Label10[r].back, colors::Black) << r;
    for (const Control* s : {&form.Shape9[r], &form.Shape10[r], &form.Shape11[r]}) {
      EXPECT_TRUE(s->fillShown) << s->Label();
      EXPECT_EQ(s->container, &form.Frame8) << s->Label();
    }
    // The masked rows show grey text over a grey-filled cell.
    if (r != 3 && r != 4) {
      EXPECT_EQ(form.Label10[r].fore, form.Shape10[r].fill) << r;
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

TEST_F(LayoutBoardColumn, BoardButtonsStackUpwardsOnTheTabFrame) {
  for (int i = 0; i < 10; ++i) {
    const Control& button = form.Command4[i];
    EXPECT_TRUE(button.visible);
    EXPECT_EQ(button.left, form.Command4[0].left);
    if (i > 0) {
      EXPECT_EQ(button.top + button.height - 1, form.Command4[i - 1].top) << i;
    }
    EXPECT_GT(DrawIndex(button), DrawIndex(form.Shape15));  // drawn on the tab frame
  }
  EXPECT_TRUE(form.Shape15.fillShown);
}

TEST_F(LayoutBoardColumn, BoardNumberCoversTheEndOfTheVerticalCaption) {
  EXPECT_GT(DrawIndex(form.Label21), DrawIndex(form.Label1));
  EXPECT_TRUE(Overlaps(WindowBounds(form.Label1), WindowBounds(form.Label21)));
  EXPECT_TRUE(form.Label1.multiLine);
  EXPECT_EQ(form.Line1.width, form.ui.clientWidth);
}

TEST_F(LayoutBoardColumn, CombosHaveNoEntryChosenYet) {
  // Only the edit text; no entry is chosen until a board selection shows
  // its address.
  EXPECT_EQ(form.Combo2.listIndex(), -1);
  EXPECT_EQ(form.Combo2.list.size(), 16u);
  // No entry chosen yet, so the start-up choice of entry 0 is a change.
  EXPECT_EQ(form.Combo1.listIndex(), -1);
  EXPECT_EQ(form.Combo1.list.size(), 10u);
}

// ------------------------------------------------------------- stack overview

TEST_F(LayoutStackOverview, GridCellIndexIsTwelveTimesBoardPlusCell) {
  for (int b = 0; b < 10; ++b) {
    for (int c = 0; c < 12; ++c) {
      const Control& cell = form.Shape1[12 * b + c];
      EXPECT_TRUE(At(cell, 512 + 24 * b, 330 - 14 * c, 20, 14)) << "board " << b << " cell " << c;
      EXPECT_TRUE(cell.fillShown);
      EXPECT_EQ(cell.container, nullptr);
    }
  }
}

TEST_F(LayoutStackOverview, PecLampsShareTheAddressRow) {
  for (int b = 0; b < 10; ++b) {
    const Control& lamp = form.Shape12[b];
    // Centred over its column, narrower than the grid cells.
    EXPECT_EQ(2 * lamp.left + lamp.width, 2 * form.Shape1[12 * b].left + form.Shape1[12 * b].width);
    EXPECT_LT(lamp.width, form.Shape1[12 * b].width);
    // The lamp row sits just above the column's top grid cell (cell 12).
    const int gap = form.Shape1[12 * b + 11].top - (lamp.top + lamp.height);
    EXPECT_TRUE(gap >= 0 && gap <= 2) << lamp.Label() << " gap " << gap;
  }
  EXPECT_EQ(form.Label15.top, form.Shape12[0].top);
  EXPECT_GT(DrawIndex(form.Label15), DrawIndex(form.Shape12[9]));  // addresses on their lamps
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
  EXPECT_GE(right.left, form.Shape1[119].left + form.Shape1[119].width);
  EXPECT_GE(form.Label_AUTOstatus.top, form.Shape1[0].top + form.Shape1[0].height);
}

// ------------------------------------------------------------- command column

TEST_F(LayoutCommandColumn, CommandButtonsWithToolTips) {
  ASSERT_EQ(form.Command1.size(), 15);
  for (auto& button : form.Command1) EXPECT_FALSE(button.tooltip.empty()) << button.Label();
  for (auto& button : form.Command3) EXPECT_FALSE(button.tooltip.empty()) << button.Label();
  EXPECT_EQ(form.Check_AUTO.value(), 0);
}

TEST_F(LayoutCommandColumn, ColumnButtonsShareOneColumn) {
  // Every command button of the column lies in one column and none covers
  // another; WRITE CONFIG starts narrowed inside its highlight frame.
  for (int i : {0, 1, 2, 3, 4, 6, 7, 8, 9}) {
    EXPECT_EQ(form.Command1[i].left, form.Command1[0].left) << i;
    EXPECT_EQ(form.Command1[i].width, form.Command1[0].width) << i;
  }
  EXPECT_GT(form.Command1[5].left, form.Command1[0].left);
  EXPECT_LT(form.Command1[5].width, form.Command1[0].width);
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
    EXPECT_GT(Overlap(box.left, box.left + box.width, button.left, button.left + button.width), 0)
        << box.Label();
  };
  for (int k = 0; k < 6; ++k) {  // Check5(k) belongs to Command1(k)
    const Control& box = form.Check5[k];
    checkAbove(box, form.Command1[k]);
    EXPECT_EQ(box.value(), 1);
    // Ticked: the command goes to every board, so the board label is hidden.
    const Control& label = form.Label19[k];
    EXPECT_EQ(label.top, box.top);
    EXPECT_FALSE(label.visible) << label.Label();
  }
  for (int k = 0; k < 2; ++k) {
    const Control& box = form.Check8[k];
    checkAbove(box, form.Command3[k]);
    EXPECT_EQ(box.value(), 0);
    const Control& label = form.Label20[k + 1];
    EXPECT_EQ(label.top, box.top);
    EXPECT_TRUE(label.visible) << label.Label();
    // The unticked box leaves room for its board label.
    EXPECT_GE(label.left, box.left + box.width) << label.Label();
  }
}

TEST_F(LayoutCommandColumn, ReadButtonsCarryBoardOnlyLabels) {
  const int buttons[] = {6, 7, 9, 8};  // READ CONFIG, READCELLVOLT, READ TEMP, READ FLAG
  for (int k = 0; k < 4; ++k) {
    const Control& label = form.Label18[k];
    const Control& button = form.Command1[buttons[k]];
    EXPECT_EQ(label.top + label.height, button.top) << label.Label();
    EXPECT_GE(label.left, button.left) << label.Label();
    EXPECT_LE(label.left + label.width, button.left + button.width) << label.Label();
  }
}

TEST_F(LayoutCommandColumn, HighlightFramesEncloseTheNarrowedButtons) {
  auto narrowed = [this](const Control& button) {
    const Control& write = form.Command1[5];
    return Rect{write.left, button.top, write.left + write.width, button.top + button.height};
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
    EXPECT_TRUE(e.frame->fillShown) << e.frame->Label();
    EXPECT_LT(DrawIndex(*e.frame), DrawIndex(*e.button)) << e.frame->Label();
  }
  EXPECT_TRUE(Contains(WindowBounds(form.Shape14), WindowBounds(form.Command1[5])));
}

TEST_F(LayoutCommandColumn, DischargeLampHeadingStandsBesideIt) {
  const Control& heading = form.Label20[0];
  EXPECT_GE(heading.left, form.Shape13.left + form.Shape13.width);
  EXPECT_GT(Overlap(heading.top, heading.top + heading.height, form.Shape13.top,
                    form.Shape13.top + form.Shape13.height),
            0);
  EXPECT_LE(heading.top + heading.height, form.Check8[0].top);
}

}  // namespace
}  // namespace eb
