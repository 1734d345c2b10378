// Initial properties of every control of the window: captions, texts, tool
// tips, colours, fonts, values and geometry. Positions are pixels relative to
// the container (the window, or the enclosing frame). Nothing here runs a
// handler: check boxes, option buttons and combo boxes get their starting
// state through initValue / initListIndex.
#include <string>

#include "window/cell_status.h"
#include "window/form1.h"

namespace eb {
namespace {

using colors::Black;
using colors::DarkGreen;
using colors::DarkRed;
using colors::FormBackground;
using colors::Grey;
using colors::LightGrey;
using colors::LightYellow;
using colors::PaleGrey;
using colors::Red;
using colors::White;
using colors::WindowBackground;

Font Arial(double size, bool bold = false) { return Font{"Arial", size, bold}; }

void Place(Control& c, Control* container, int left, int top, int width, int height) {
  c.container = container;
  c.left = left;
  c.top = top;
  c.width = width;
  c.height = height;
}

void MakeFrame(Control& f, const std::string& caption, int left, int top, int width, int height) {
  Place(f, nullptr, left, top, width, height);
  f.caption = caption;
  f.back = FormBackground;
  f.fore = Black;
}

// A transparent label with black text.
void MakeLabel(Control& c, Control* container, const std::string& caption, int left, int top,
               int width, int height) {
  Place(c, container, left, top, width, height);
  c.caption = caption;
  c.fore = Black;
}

void MakeCheck(Control& c, Control* container, const std::string& caption, int value, int left,
               int top, int width, int height) {
  Place(c, container, left, top, width, height);
  c.caption = caption;
  c.back = FormBackground;
  c.fore = Black;
  c.initValue(value);
}

void MakeOption(Control& c, Control* container, const std::string& caption, int value, int left,
                int top, int width, int height) {
  MakeCheck(c, container, caption, value, left, top, width, height);
}

void MakeTextBox(Control& c, Control* container, const std::string& text, Rgb back, Rgb fore,
                 int left, int top, int width, int height) {
  Place(c, container, left, top, width, height);
  c.text = text;
  c.back = back;
  c.fore = fore;
}

void MakeButton(Control& c, Control* container, const std::string& caption,
                const std::string& tooltip, int left, int top, int width, int height) {
  Place(c, container, left, top, width, height);
  c.caption = caption;
  c.tooltip = tooltip;
}

// A shape with a solid fill and a 1-pixel border.
void MakeShape(Control& c, Control* container, ShapeType type, Rgb fill, Rgb border, int left,
               int top, int width, int height) {
  Place(c, container, left, top, width, height);
  c.shape = type;
  c.fill = fill;
  c.fillShown = true;
  c.border = border;
  c.borderWidth = 1;
}

// A line from (x1, y1) to (x2, y2).
void MakeLine(Control& c, Control* container, int x1, int y1, int x2, int y2) {
  Place(c, container, x1, y1, x2 - x1, y2 - y1);
  c.border = Black;
  c.borderWidth = 1;
}

// ------------------------------------------------------------- cell panels
// Panel c shows cell c + 1. Cells 12 … 7 form the left column, cells 6 … 1
// the right one, highest cell at the top (the order of the cells in the stack).
constexpr int kPanelWidth = 129;
constexpr int kPanelHeight = 65;
constexpr int kPanelPitch = 64;

// Battery drawing of a panel: the body, a level bar whose bottom stays on the
// body's bottom, and a cap centred on the body's top edge.
constexpr int kBodyLeft = 5;
constexpr int kBodyTop = 24;
constexpr int kBodySize = 33;
constexpr int kCapWidth = 13;
constexpr int kCapHeight = 5;

Control& DccBox(Form1& f, int c) { return c <= 7 ? f.Check1[c] : f.Check2[c - 8]; }
Control& MaskBox(Form1& f, int c) { return c <= 3 ? f.Check2[c + 4] : f.Check3[c - 4]; }

void BuildCellPanels(Form1& f) {
  for (int c = 0; c < 12; ++c) {
    Control& panel = f.Frame1[c];
    const bool leftColumn = c >= 6;
    const int row = leftColumn ? 11 - c : 5 - c;
    MakeFrame(panel, "CELL" + std::to_string(c + 1), leftColumn ? 48 : 176, kPanelPitch * row,
              kPanelWidth, kPanelHeight);

    Control& volts = f.Text1[c];
    MakeTextBox(volts, &panel, "0.000V", Black, White, 48, 24, 61, 19);
    volts.align = Align::Right;
    volts.locked = true;

    // "READ Only" sits in the caption row, right of the "CELLnn" caption.
    MakeCheck(f.Check6[c], &panel, "READ Only", 0, 52, 0, 74, 15);
    MakeCheck(DccBox(f, c), &panel, "DCC", 0, 40, 45, 41, 15);
    MakeCheck(MaskBox(f, c), &panel, "Mask", 0, 82, 45, 45, 15);

    // The battery starts as "no reading".
    const CellStatusLook& blank = kCellStatuses[kCellNoReading];
    const PanelLevel level = PanelLevelOf(blank.charge);
    MakeShape(f.Shape4[c], &panel, ShapeType::Rectangle, blank.body, Black, kBodyLeft, kBodyTop,
              kBodySize, kBodySize);
    MakeShape(f.Shape2[c], &panel, ShapeType::Rectangle, blank.colour, Black, kBodyLeft, level.top,
              kBodySize, level.height);
    MakeShape(f.Shape5[c], &panel, ShapeType::Rectangle, Grey, Black,
              kBodyLeft + (kBodySize - kCapWidth) / 2, kBodyTop - kCapHeight, kCapWidth,
              kCapHeight);
    // "+" on the upper half of the body, "-" on the lower half.
    MakeLine(f.Line7[c], &panel, 17, 31, 26, 31);
    MakeLine(f.Line9[c], &panel, 21, 27, 21, 36);
    MakeLine(f.Line10[c], &panel, 17, 49, 26, 49);
  }
}

// ------------------------------------------------------ SET VOLTAGE LIMITS
// The TEMPS frame overlaps this frame's left 9 pixels and is drawn above it,
// so the contents start 12 pixels in.
void BuildVoltageLimits(Form1& f) {
  Control* frame = &f.Frame2;
  MakeFrame(f.Frame2, "SET VOLTAGE LIMITS", 200, 392, 135, 145);

  MakeOption(f.Option1[1], frame, "", 1, 12, 14, 15, 15);
  MakeLabel(f.Label13[1], frame, "GLOBAL VUV,  VOV", 28, 15, 104, 13);
  f.Label13[1].font = Arial(7.5);
  MakeOption(f.Option1[0], frame, "", 0, 12, 29, 15, 15);
  MakeLabel(f.Label13[0], frame, "CUSTOM  BOARD # 1", 28, 30, 105, 13);
  f.Label13[0].font = Arial(7.5, true);
  f.Label13[0].fore = DarkRed;

  // One block per threshold: a three-line caption, the entry box right of the
  // caption's second and third lines, the up arrow above the down arrow.
  struct Block {
    int box;
    int up;
    int down;
    const char* caption;
    const char* text;
    int top;
  };
  const Block blocks[] = {
      {1, 3, 2, "Enter VOV  Overvoltage\n0.000V to\n6.120V", "Set VOV  ", 45},
      {0, 1, 0, "Enter VUV Undervoltage\n0.000V to\n6.120V", "Set VUV\r\n", 93},
  };
  for (const Block& b : blocks) {
    Control& caption = f.Label3[b.box];
    MakeLabel(caption, frame, b.caption, 12, b.top, 121, 40);
    caption.multiLine = true;

    Control& box = f.Text2[b.box];
    MakeTextBox(box, frame, b.text, WindowBackground, LightGrey, 60, b.top + 19, 52, 19);
    box.align = Align::Right;

    MakeButton(f.Command2[b.up], frame, "", "", 114, b.top + 14, 17, 17);
    f.Command2[b.up].picture = "arrow-up";
    MakeButton(f.Command2[b.down], frame, "", "", 114, b.top + 31, 17, 17);
    f.Command2[b.down].picture = "arrow-down";
    f.Command2[b.up].visible = false;
    f.Command2[b.down].visible = false;
  }
}

// ------------------------------------------------------ SET I/O MODE CFGR0
// The self-test frame covers this frame's right part down to y = 97 (frame
// coordinates 208 … 420 × 0 … 97), so the five bit boxes stay left of it.
void BuildIoMode(Form1& f) {
  Control* frame = &f.Frame3;
  MakeFrame(f.Frame3, "SET I/O MODE CFGR0", 336, 376, 420, 201);

  struct Bit {
    int index;
    const char* caption;
    int value;
  };
  // Initial values: the default CFGR0 = 0xE0 (WDTEN, GPIO2, GPIO1 set).
  const Bit bits[] = {
      {7, "WDTEN bit7  1 = ON, 0 = OFF", 1},
      {6, "GPIO2 bit6  1 = Hi-Z, 0 = Out Low.", 1},
      {5, "GPIO1 bit5  1 = Hi-Z, 0 = Out Low.", 1},
      {4, "LVLPL bit4  1 = Level, 0 = Toggle Poll.", 0},
      {3, "10CELLS bit3  1 = 10, 0 = 12 CELLs", 0},
  };
  int top = 14;
  for (const Bit& b : bits) {
    MakeCheck(f.Check0[b.index], frame, b.caption, b.value, 3, top, 204, 16);
    top += 16;
  }
  // The duty-cycle bits are shown as the table in Text3; their boxes stay hidden.
  const char* cdc[] = {"CDC[0] (Bit 0)", "CDC[1] (Bit 1)", "CDC[2] (Bit 2)"};
  for (int i = 2; i >= 0; --i) {
    Control& box = f.Check0[i];
    MakeCheck(box, frame, cdc[i], 0, 4 + 136 * (2 - i), 182, 130, 16);
    box.visible = false;
  }

  MakeOption(f.Option3[1], frame, "GLOBAL CFGR0", 1, 3, 98, 108, 16);
  MakeOption(f.Option3[0], frame, "CUSTOM BRD# 1", 0, 120, 98, 118, 16);
  f.Option3[0].font = Arial(8.25, true);
  f.Option3[0].fore = DarkRed;

  // Column heads spaced so the "|" separators sit over those of the table rows.
  MakeLabel(f.Label4, frame,
            "Set CDC (Comparator Duty Cycle)                                  Cell Voltage\n"
            "|  UV/OV Comparator  |  VREF Powered Down  |      Measurement Time      |",
            9, 115, 404, 28);
  f.Label4.multiLine = true;

  // Two table rows, written back to back: the box width makes the second row
  // wrap. Each row is padded with spaces to fill one line of this box: 370
  // pixels of text in the default font, between the box's 3-pixel margins,
  // are wider than every first row and narrower than any first row followed
  // by the second row's leading "|".
  MakeTextBox(f.Text3, frame,
              "|     Comparator Off     |                 Yes                |"
              "                   N/A                  | "
              "|default StandbyMode |                                        |"
              "                                           |  ",
              WindowBackground, LightGrey, 4, 144, 376, 34);
  f.Text3.locked = true;
  f.Text3.multiLine = true;

  MakeButton(f.Command0[1], frame, "", "", 384, 144, 17, 17);
  f.Command0[1].picture = "arrow-up";
  MakeButton(f.Command0[0], frame, "", "", 384, 161, 17, 17);
  f.Command0[0].picture = "arrow-down";
}

// ------------------------------------------------- CONFIGURATION REGISTERS
void BuildConfigRegisters(Form1& f) {
  Control* frame = &f.Frame4;
  MakeFrame(f.Frame4, "CONFIGURATION REGISTERS", 368, 0, 273, 137);

  // Six boxes 43 wide at a 44-pixel pitch; the heads line puts each "CFGRk"
  // over the middle of its box.
  const std::string heads = "\n CFGR0  CFGR1  CFGR2   CFGR3  CFGR4  CFGR5";
  MakeLabel(f.Label5[0], frame, "CONFIGURATION READ FROM ZQM4417" + heads, 4, 14, 264, 28);
  f.Label5[0].multiLine = true;
  MakeLabel(f.Label5[1], frame, "CONFIGURATION WRITTEN TO ZQM4417" + heads, 4, 66, 264, 28);
  f.Label5[1].multiLine = true;
  for (int k = 0; k < 6; ++k) {
    const std::string text = k == 0 ? " 0xE0" : " 0x00";
    Control& read = f.Text5[k];
    MakeTextBox(read, frame, text, WindowBackground, Black, 5 + 44 * k, 43, 43, 19);
    read.align = Align::Center;
    read.locked = true;
    Control& written = f.Text4[k];
    MakeTextBox(written, frame, text, WindowBackground, LightGrey, 5 + 44 * k, 95, 43, 19);
    written.align = Align::Center;
    written.locked = true;
  }
}

// ------------------------------------------------------------------- TEMPS
// Three channels stacked: check box, reading, and a small thermometer right of
// the reading (stem, a collar at its foot, the bulb below).
void BuildTemps(Form1& f) {
  Control* frame = &f.Frame5;
  MakeFrame(f.Frame5, "TEMPS", 128, 392, 81, 145);
  const char* captions[] = {"ITMP Only", "ETMP1Only", "ETMP2Only"};
  for (int i = 0; i < 3; ++i) {
    const int top = 14 + 42 * i;
    MakeCheck(f.Check7[i], frame, captions[i], 0, 3, top, 76, 14);
    // Frame2 covers the right nine pixels of this frame: in 6.75 pt the
    // captions end clear of its border.
    f.Check7[i].font = Arial(6.75);
    Control& reading = f.Text6[i];
    MakeTextBox(reading, frame, " 0.000V", Black, White, 3, top + 15, 56, 19);
    reading.align = Align::Right;
    reading.locked = true;
    MakeShape(f.Shape7[i], frame, ShapeType::Rectangle, WindowBackground, Black, 66, top + 15, 5,
              16);
    MakeShape(f.Shape8[i], frame, ShapeType::Rectangle, WindowBackground, Black, 65, top + 27, 7,
              5);
    MakeShape(f.Shape6[i], frame, ShapeType::Circle, WindowBackground, Black, 62, top + 29, 13, 13);
  }
}

// ---------------------------------------------------------------- FLAG REG
void BuildFlagRegisters(Form1& f) {
  Control* frame = &f.Frame6;
  MakeFrame(f.Frame6, "FLAG REG", 304, 0, 65, 137);
  const char* heads[] = {"|  FLGR0  | ", "|  FLGR1  | ", "|  FLGR2  | "};
  for (int k = 0; k < 3; ++k) {
    const int top = 14 + 38 * k;
    MakeLabel(f.Label6[k], frame, heads[k], 4, top, 57, 14);
    Control& box = f.Text7[k];
    MakeTextBox(box, frame, "  00 ", WindowBackground, Black, 6, top + 14, 53, 19);
    box.align = Align::Center;
    box.locked = true;
  }
}

// ------------------------------------------------------- PACKET ERROR CODE
void BuildPacketErrorCode(Form1& f) {
  Control* frame = &f.Frame7;
  MakeFrame(f.Frame7, "PACKET ERROR CODE ", 640, 56, 137, 81);
  MakeLabel(f.Label8[0], frame, "|  ZQM4417  |    CALC    |  ", 4, 14, 129, 14);
  MakeTextBox(f.Text8, frame, "", WindowBackground, Black, 4, 29, 129, 19);
  f.Text8.align = Align::Center;
  f.Text8.locked = true;
  MakeLabel(f.Label8[1], frame, "", 4, 50, 129, 14);
  f.Label8[1].align = Align::Center;
}

// ------------------------------------------------------------------ LEGEND
// One row per cell status: a small battery drawn as in the cell panels, a
// black sample label in the status colour, and the explanation below it.
// The frame ends where SET I/O MODE CFGR0 begins (y = 376) so that it does
// not cover that frame's caption.
void BuildLegend(Form1& f) {
  Control* frame = &f.Frame8;
  MakeFrame(f.Frame8, "LEGEND", 304, 136, 153, 240);

  constexpr int kBody = 23;  // legend battery body height
  for (int r = 0; r < 8; ++r) {
    const CellStatusLook& row = *CellStatusOf(kLegendOrder[static_cast<size_t>(r)]);
    const int level = LegendLevelOf(row.charge);
    const int top = 14 + 28 * r;
    const int bodyTop = top + 3;
    const int bodyBottom = bodyTop + kBody;
    MakeShape(f.Shape9[r], frame, ShapeType::Rectangle, row.body, Black, 5, bodyTop, 17, kBody);
    MakeShape(f.Shape10[r], frame, ShapeType::Rectangle, row.colour, Black, 5, bodyBottom - level,
              17, level);
    MakeShape(f.Shape11[r], frame, ShapeType::Rectangle, Grey, Black, 10, top, 7, 3);

    Control& sample = f.Label10[r];
    MakeLabel(sample, frame, row.sample, 28, top, 80, 13);
    sample.back = Black;
    sample.fore = row.sampleColour;
    MakeLabel(f.Label11[r], frame, row.explanation, 28, top + 13, 122, 13);
  }
}

// ------------------------------------------------------ SELF TEST START A/D
void BuildSelfTest(Form1& f) {
  Control* frame = &f.Frame9;
  MakeFrame(f.Frame9, "SELF TEST START A/D", 544, 376, 212, 97);
  struct Button {
    int index;
    const char* caption;
    const char* tooltip;
    int left, top, width;
  };
  const Button buttons[] = {
      {0, "CELL VOLT", "0x1E STCVAD SELF TEST ALL", 4, 15, 66},
      {1, "OPEN WIRE", "0x2E STOWAD SELF TEST ALL", 72, 15, 68},
      {2, "ALL TEMP ", "0x3E STTMPAD SELF TEST ALL", 142, 15, 64},
      {5, "CELL DCC", "0x6E STCVDC SELF TEST ALL", 4, 35, 66},
      {6, "OPEN DCC", "0x7E STOWDC SELF TEST ALL", 72, 35, 68},
      {3, "READCELL HEX VIEW", "READ ONLY BRD#1 CELLS FOR SELFTEST IN HEX.", 4, 55, 136},
      {4, "READTEMP HEX VIEW", "READ ONLY BRD#1 TEMPS FOR SELFTEST IN HEX.", 4, 75, 136},
  };
  for (const Button& b : buttons) {
    MakeButton(f.Command5[b.index], frame, b.caption, b.tooltip, b.left, b.top, b.width, 18);
  }
  MakeOption(f.Option2[0], frame, "0x555", 1, 145, 36, 60, 16);
  MakeOption(f.Option2[1], frame, "0xAAA", 0, 145, 56, 60, 16);
}

// ------------------------------------------------------------ board column
void BuildBoardColumn(Form1& f) {
  // Tab frame behind the board buttons; start-up sizes it to the stack.
  MakeShape(f.Shape15, nullptr, ShapeType::Rectangle, DarkRed, DarkRed, 0, 532, 50, 41);

  const char* hex = "0123456789ABCDEF";
  for (int i = 0; i < 10; ++i) {
    const int n = i + 1;
    std::string caption = n < 10 ? "BRD# " + std::to_string(n) + "    0x" : "BRD#10   0x";
    caption += '8';
    caption += hex[1 + i];
    Control& button = f.Command4[i];
    MakeButton(button, nullptr, caption, "", 0, 536 - 40 * i, 50, 41);
    button.font = Arial(8.25, true);
    button.multiLine = true;
  }

  // Vertical title: one character per line in a 15-pixel column.
  MakeLabel(f.Label1, nullptr, "B O A R D # 1", 6, 0, 15, 177);
  f.Label1.font = Arial(14.25, true);
  f.Label1.fore = DarkRed;
  f.Label1.multiLine = true;
  MakeLabel(f.Label21, nullptr, "1", 0, 114, 48, 48);
  f.Label21.font = Arial(27.75, true);
  f.Label21.fore = PaleGrey;
  f.Label21.back = DarkRed;
  f.Label21.align = Align::Center;

  // 7.5 pt keeps the caption on three lines in its 73 × 41 box.
  MakeLabel(f.Label14, nullptr, "SET/ DISPLAY BOARD # 1 AT HEX ADDRESS", 52, 392, 73, 41);
  f.Label14.font = Arial(7.5);
  f.Label14.align = Align::Center;
  f.Label14.multiLine = true;
  MakeLabel(f.Label16, nullptr, "0x8", 52, 439, 39, 25);
  f.Label16.font = Arial(14.25, true);

  Control& address = f.Combo2;
  Place(address, nullptr, 88, 436, 40, 30);
  address.font = Arial(14.25, true);
  address.back = WindowBackground;
  address.fore = Black;
  // No list index, only the edit text "1": the first board selection that
  // shows an address is a change of list index and runs the address handler.
  for (int k = 0; k < 16; ++k) address.list.emplace_back(1, hex[k]);
  address.text = "1";

  MakeLabel(f.Label7, nullptr, "NUMBER OF BOARDS IN SYSTEM", 52, 468, 65, 41);
  f.Label7.align = Align::Center;
  f.Label7.multiLine = true;

  // No list index yet: the start-up default's choice of entry 0 is a change
  // and runs the board-count handler.
  Control& count = f.Combo1;
  Place(count, nullptr, 56, 512, 49, 27);
  count.font = Arial(12, true);
  count.back = WindowBackground;
  count.fore = Black;
  for (int n = 1; n <= 10; ++n) count.list.push_back(std::to_string(n));
  count.text = "1";

  MakeLabel(f.Label_IDstring, nullptr, "Label14", 64, 556, 57, 17);
  f.Label_IDstring.font = Arial(7.5, false);  // the nine identity characters fit the label
  MakeLabel(f.Label_version, nullptr, "EB2250 ZQM4417-2 GUI  Version 25  12-08-2026", 120, 556, 217,
            17);
  f.Label_version.font = Arial(6.75);
  f.Label_version.align = Align::Center;

  // Logo in the free strip right of the configuration frame, above the PEC frame.
  Place(f.Picture1, nullptr, 652, 4, 128, 48);
  f.Picture1.picture = "logo";

  MakeLine(f.Line1, nullptr, 0, 576, 894, 576);
}

// ---------------------------------------------------------- stack overview
// One column per board, 24 pixels apart from x = 512; twelve cell rows 14
// pixels high, cell 1 at the bottom (y = 330), cell 12 at the top (y = 176).
void BuildStackOverview(Form1& f) {
  MakeLabel(f.Label12, nullptr,
            "BOARDS   1       2      3      4      5      6      7      8      9     10", 464, 144,
            290, 14);
  // Each address (two digits and four spaces make one 24-pixel column) sits
  // centred on its lamp. Only one space parts "ADDRESS" from the first
  // address, so the lamps are two pixels narrower on each side than the
  // grid cells below them and the row is a pixel smaller than the default:
  // the word then ends clear of the first lamp.
  MakeLabel(f.Label15, nullptr, "ADDRESS 81    82    83    84    85    86    87    88    89    8A",
            464, 160, 290, 14);
  f.Label15.font = Arial(7.5);
  for (int b = 0; b < 10; ++b) {
    MakeShape(f.Shape12[b], nullptr, ShapeType::Oval, White, PaleGrey, 514 + 24 * b, 160, 16, 14);
    for (int c = 0; c < 12; ++c) {
      MakeShape(f.Shape1[CellSquare(b, c)], nullptr, ShapeType::Rectangle, White, PaleGrey,
                512 + 24 * b, 330 - 14 * c, 20, 14);
    }
  }
  // Row heads: each word wraps onto its own 14-pixel line beside its grid row.
  MakeLabel(f.Label9[0], nullptr,
            "CELL12 CELL11 CELL10 CELL 9  CELL 8  CELL 7  CELL 6  CELL 5  CELL 4  CELL 3  CELL 2"
            "  CELL 1",
            464, 176, 44, 168);
  f.Label9[0].multiLine = true;
  MakeLabel(f.Label9[1], nullptr,
            "PEC C12 C11  C10   C 9    C 8    C 7    C 6    C 5    C 4    C 3    C 2    C 1", 752,
            162, 24, 182);
  f.Label9[1].multiLine = true;

  // Marker over the selected board's column (board 1 at start), in the gap
  // between the configuration frames and the board-number row.
  Place(f.Image1, nullptr, 504, 137, 36, 7);
  f.Image1.picture = "marker";

  Control& status = f.Label_AUTOstatus;
  MakeLabel(status, nullptr, "DISPLAY ONLY VALID DATA TRANSFERS!", 464, 346, 305, 41);
  status.font = Arial(11.25, true);
  status.fore = DarkGreen;
  status.multiLine = true;
}

// ---------------------------------------------------------- command column
// The Command1 and Command3 buttons.
void BuildCommandButtons(Form1& f) {
  struct Button {
    int index;
    const char* caption;
    const char* tooltip;
    int left, top, width, height;
    bool visible;
  };
  const Button buttons[] = {
      {0, "POLL ADC", "0x40 PLADC", 788, 72, 97, 17, true},
      {1, "POLL INT", "0x50 PLINT", 788, 104, 97, 17, true},
      {3, "START OPENWIRE", "0x20 STOWAD", 788, 136, 97, 17, true},
      {5, "WRITE CONFIG", "0x01 WRCFG", 796, 168, 81, 17, true},
      {6, "READ CONFIG", "0x02 RDCFG", 788, 200, 97, 17, true},
      {2, "STARTCELLVOLT", "0x10 STCVAD", 788, 232, 97, 17, true},
      {7, "READCELLVOLT", "0x04 RDCV", 788, 264, 97, 17, true},
      {4, "START TEMP", "0x30 STTMPAD", 788, 296, 97, 17, true},
      {9, "READ TEMP", "0x08 RDTMP", 788, 328, 97, 17, true},
      {8, "READ FLAG", "0x06 RDFLG", 788, 360, 97, 17, true},
      {11, "START D-LOG", "START/ PAUSE DATA LOGGING", 772, 512, 113, 25, false},
      {14, "LOW CURRENT STBY",
       "UB774B'S SPI LINES ARE FORCED HIGH  TO SHOW ZQM4417-1'S LOW CURRENT STANDBY.", 764, 514,
       121, 18, true},
      {10, " START CONTINUOUS   READ CELLS",
       "CONTINUOUS  READ = 1) STCVAD and RDCV. 2) STTMPAD and  RDTMP. 3) RDFLG.", 764, 536, 121, 30,
       true},
      {13, "VIEW", "VIEW DATA TEXT FILE", 764, 528, 57, 41, false},
      {12, "STOP", "STOP DATA LOGGING!", 828, 528, 57, 41, false},
  };
  for (const Button& b : buttons) {
    Control& button = f.Command1[b.index];
    MakeButton(button, nullptr, b.caption, b.tooltip, b.left, b.top, b.width, b.height);
    button.visible = b.visible;
  }
  // The two captions wider than their buttons in the default font (WRITE
  // CONFIG in its narrowed, highlighted form) are set a pixel smaller.
  f.Command1[3].font = Arial(7.5);
  f.Command1[5].font = Arial(7.5);
  f.Command1[10].multiLine = true;  // two-line caption

  MakeButton(f.Command3[0], nullptr, "STARTCELL hold DCC", "0x60 STCVDC", 764, 408, 121, 17);
  MakeButton(f.Command3[1], nullptr, "STARTOPEN hold DCC", "0x70 STOWDC", 764, 440, 121, 17);
}

// The broadcast boxes above the command buttons, with their board labels.
void BuildBroadcastBoxes(Form1& f) {
  // Board label right of a broadcast box; shown only while that command is
  // addressed, so hidden while its box is ticked.
  auto boardLabel = [](Control& label, int top, bool visible) {
    MakeLabel(label, nullptr, "BRD#1", 852, top, 40, 14);
    label.font = Arial(8.25, true);
    label.fore = DarkRed;
    label.align = Align::Right;
    label.visible = visible;
  };
  // Broadcast box k sits right above Command1(k), k = 0 … 5.
  for (int k = 0; k < 6; ++k) {
    const int top = f.Command1[k].top - 14;
    MakeCheck(f.Check5[k], nullptr, "BROADCAST", 1, 788, top, 113, 14);
    boardLabel(f.Label19[k], top, false);
  }
  for (int k = 0; k < 2; ++k) {
    const int top = f.Command3[k].top - 14;
    MakeCheck(f.Check8[k], nullptr, "B'CAST", 0, 788, top, 57, 14);
    boardLabel(f.Label20[k + 1], top, true);
  }

  // "BOARD# 1 ONLY" above the four read buttons, which are always addressed.
  const int readButtons[] = {6, 7, 9, 8};
  for (int k = 0; k < 4; ++k) {
    Control& label = f.Label18[k];
    MakeLabel(label, nullptr, "BOARD# 1 ONLY", 788, f.Command1[readButtons[k]].top - 14, 97, 14);
    label.align = Align::Center;
  }
}

void BuildCommandColumn(Form1& f) {
  // Highlight frames: WRITE CONFIG starts out highlighted (the configuration
  // on screen has not been written); the read-button frames appear when a
  // read is due. Each encloses its button's narrowed form (796, 81 wide).
  auto highlight = [](Control& shape, int buttonTop, bool visible) {
    MakeShape(shape, nullptr, ShapeType::Rectangle, LightYellow, LightYellow, 788, buttonTop - 1,
              97, 19);
    shape.visible = visible;
  };
  highlight(f.Shape14, 168, true);
  highlight(f.Shape16[0], 200, false);
  highlight(f.Shape16[1], 264, false);
  highlight(f.Shape16[2], 328, false);

  // Continuous-read lamp and discharge-permitted lamp.
  MakeShape(f.Shape3, nullptr, ShapeType::Rectangle, Red, Black, 764, 460, 121, 33);
  f.Shape3.borderWidth = 3;
  MakeShape(f.Shape13, nullptr, ShapeType::Circle, White, Black, 760, 375, 17, 17);

  BuildCommandButtons(f);
  BuildBroadcastBoxes(f);

  // Heading of the hold-discharge buttons, right of its lamp.
  MakeLabel(f.Label20[0], nullptr, "DCC PERMITTED CMD", 779, 378, 113, 14);
  f.Label20[0].font = Arial(7.5);

  MakeCheck(f.Check_AUTO, nullptr, "PEC Match Only", 0, 772, 494, 113, 17);
  f.Check_AUTO.tooltip = "Auto Retry Command on Detection of CRC8 (PEC) Error";
}

}  // namespace

void Form1::BuildControls() {
  ui.caption = "EB2250 ZQM4417-2 MULTICELL ADDRESSABLE BATTERY MONITOR GUI";
  ui.clientWidth = 894;
  ui.clientHeight = 572;
  ui.back = FormBackground;

  BuildCellPanels(*this);
  BuildVoltageLimits(*this);
  BuildIoMode(*this);
  BuildConfigRegisters(*this);
  BuildTemps(*this);
  BuildFlagRegisters(*this);
  BuildPacketErrorCode(*this);
  BuildLegend(*this);
  BuildSelfTest(*this);
  BuildBoardColumn(*this);
  BuildStackOverview(*this);
  BuildCommandColumn(*this);

  Timer1.interval = 100;
  Timer1.enabled = false;
}

}  // namespace eb
