// Cell voltages of the selected board, the status code of every cell of the
// stack, the stack grid colours and the battery drawings of the cell panels.
#include "protocol/hex.h"
#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

// Fill colour of a status code; nullopt for a code outside 0 … 7.
std::optional<Rgb> StatusColour(int status) {
  switch (status) {
    case 0: return colors::White;
    case 1: return colors::Green;
    case 2: return colors::LightBlue;
    case 3: return colors::Yellow;
    case 4: return colors::Red;
    case 5: return colors::PaleGrey;
    case 6: return colors::Grey;
    case 7: return colors::Orange;
    default: return std::nullopt;
  }
}

// Level bar of the battery drawing: top and height (bottom stays at 57).
struct Level {
  int top;
  int height;
};
Level StatusLevel(int status) {
  switch (status) {
    case 2:
    case 3:
    case 6: return {48, 9};
    case 4: return {32, 25};
    case 5:
    case 7: return {24, 33};
    default: return {40, 17};
  }
}

const std::string kBlankVolts = " 0.000V  ";

}  // namespace

void Form1::Single_12CELL_Display() {
  for (int k = 12; k >= 1; --k) {
    Text1[k - 1].text = VoltText(CELLvolt[static_cast<size_t>(12 * BRDnumber + k)]) + "V  ";
  }
  for (int c = 0; c <= 11; ++c) {
    Text1[c].back = colors::Black;
    Text1[c].fore = colors::White;
    if (!Check6[c].enabled) Text1[c].back = colors::Grey;
  }
}

void Form1::CLEAR_LOCAL_CELLS() {
  for (int c = 11; c >= 0; --c) Text1[c].text = kBlankVolts;
  for (int c = 0; c <= 11; ++c) {
    Text1[c].back = colors::Black;
    Text1[c].fore = colors::White;
  }
}

void Form1::CLEAR_LOCAL_TEMPS() {
  for (int i = 2; i >= 0; --i) Text6[i].text = kBlankVolts;
  for (int i = 0; i <= 2; ++i) {
    Shape6[i].fill = colors::WindowBackground;
    Shape7[i].fill = colors::WindowBackground;
    Shape8[i].fill = colors::WindowBackground;
    Text6[i].back = colors::Black;
    Text6[i].fore = colors::White;
  }
}

void Form1::CLEAR_LOCAL_FLAGS() {
  for (int k = 0; k <= 2; ++k) Text7[k].text = "";
}

void Form1::CLEAR_LOCAL_READINGS() {
  CLEAR_LOCAL_CELLS();
  CLEAR_LOCAL_TEMPS();
  CLEAR_LOCAL_FLAGS();
}

void Form1::CLEAR_CELLstatus() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int c = 0; c <= 11; ++c) CELLstatus[static_cast<size_t>(12 * b + c)] = 0;
  }
  CELLSTATUSclearflag = 0;
}

void Form1::CLEAR_CELLstatus_EB2250() {
  for (int c = 0; c <= 11; ++c) CELLstatus[static_cast<size_t>(12 * BRDnumber + c)] = 0;
  CELLSTATUSclearflag = 0;
}

void Form1::SET_CELLstatus_RevC_EB2250() {
  const int b = ReadBoard();
  auto i = static_cast<size_t>(b);
  const BoardTexts* rd[] = {&FLGR0rd, &FLGR1rd, &FLGR2rd};
  // Flags that did not come from the chip (its last flag reply was all
  // 0xFF, cut short, all zeros from a board whose cells gave no reading
  // either, or the read gave up) say nothing about its cells: the board has
  // no reading, as when its configuration is not valid.
  const bool believable = RDCFGvalid[i] == 1 && RDFLGanswer[i] != kNoAnswer;
  for (int j = 0; j <= 2; ++j) {
    // An unreadable flag byte gives no believable flags: its cells show
    // "no reading" instead of normal.
    std::optional<int> byte = HexTextValue((*rd[j])[i]);
    int p = 0;
    for (int k = 0; k <= 3; ++k) {
      I16& status = CELLstatus[static_cast<size_t>(12 * b + 4 * j + k)];
      if (believable) {
        if (status == 0 || status == 1 || status == 3 || status == 4) {
          if (status == 3 || status == 4) status = 0;
          if (!byte) {
            status = 0;
          } else {
            if ((*byte >> p) & 1) status = 3;
            if ((*byte >> (p + 1)) & 1) status = 4;
            if (status != 3 && status != 4) status = 1;
          }
        }
        p += 2;
      } else {
        status = 0;
      }
    }
  }
}

void Form1::PaintCellPanel(int c, int status) {
  std::optional<Rgb> colour = StatusColour(status);
  if (!colour) return;
  Level level = StatusLevel(status);
  Shape2[c].top = level.top;
  Shape2[c].height = level.height;
  Shape2[c].fill = *colour;
  Shape4[c].fill = status == 0 ? colors::White : colors::PaleGrey;
}

void Form1::DISPLAY_CELLstatus() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int c = 0; c <= 11; ++c) {
      std::optional<Rgb> colour = StatusColour(CELLstatus[static_cast<size_t>(12 * b + c)]);
      if (colour) Shape1[12 * b + c].fill = *colour;
    }
  }
  for (int c = 0; c <= 11; ++c)
    PaintCellPanel(c, CELLstatus[static_cast<size_t>(12 * BRDnumber + c)]);
}

void Form1::DISPLAY_CELLstatus_EB2250() {
  const int b = ReadBoard();
  for (int c = 0; c <= 11; ++c) {
    std::optional<Rgb> colour = StatusColour(CELLstatus[static_cast<size_t>(12 * b + c)]);
    if (colour) Shape1[12 * b + c].fill = *colour;
  }
  for (int c = 0; c <= 11; ++c)
    PaintCellPanel(c, CELLstatus[static_cast<size_t>(12 * BRDnumber + c)]);
}

}  // namespace eb
