// Cell voltages of the selected board, the status code of every cell of the
// stack, the stack grid colours and the battery drawings of the cell panels.
#include "protocol/hex.h"
#include "protocol/registers.h"
#include "window/cell_status.h"
#include "window/form1.h"

namespace eb {

namespace {

const std::string kBlankVolts = " 0.000V  ";

// A cell's status after a believable flag read: its flag byte's bit p says
// under-voltage, bit p + 1 over-voltage, neither good; an unreadable byte
// gives "no reading". Statuses other than these four stay as they are.
I16 FlaggedStatus(I16 status, std::optional<int> byte, int p) {
  if (status != kCellNoReading && status != kCellGood && status != kCellUnderVoltage &&
      status != kCellOverVoltage) {
    return status;
  }
  if (status == kCellUnderVoltage || status == kCellOverVoltage) status = kCellNoReading;
  if (!byte) return kCellNoReading;
  if ((*byte >> p) & 1) status = kCellUnderVoltage;
  if ((*byte >> (p + 1)) & 1) status = kCellOverVoltage;
  if (status != kCellUnderVoltage && status != kCellOverVoltage) status = kCellGood;
  return status;
}

}  // namespace

void Form1::Single_12CELL_Display() {
  for (int k = 12; k >= 1; --k) {
    Text1[k - 1].text = VoltText(CELLvolt[CellVoltIndex(BRDnumber, k)]) + "V  ";
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
    for (int c = 0; c <= 11; ++c) CELLstatus[CellStatusIndex(b, c)] = kCellNoReading;
  }
  CELLSTATUSclearflag = 0;
}

void Form1::CLEAR_CELLstatus_EB2250() {
  for (int c = 0; c <= 11; ++c) CELLstatus[CellStatusIndex(BRDnumber, c)] = kCellNoReading;
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
    for (int k = 0; k <= 3; ++k) {
      I16& status = CELLstatus[CellStatusIndex(b, 4 * j + k)];
      if (believable)
        status = FlaggedStatus(status, byte, 2 * k);
      else
        status = kCellNoReading;
    }
  }
}

void Form1::PaintCellPanel(int c, int status) {
  const CellStatusLook* look = CellStatusOf(status);
  if (!look) return;
  const PanelLevel level = PanelLevelOf(look->charge);
  Shape2[c].top = level.top;
  Shape2[c].height = level.height;
  Shape2[c].fill = look->colour;
  Shape4[c].fill = look->body;
}

void Form1::DISPLAY_CELLstatus() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int c = 0; c <= 11; ++c) {
      const CellStatusLook* look = CellStatusOf(CELLstatus[CellStatusIndex(b, c)]);
      if (look) Shape1[CellSquare(b, c)].fill = look->colour;
    }
  }
  for (int c = 0; c <= 11; ++c) PaintCellPanel(c, CELLstatus[CellStatusIndex(BRDnumber, c)]);
}

void Form1::DISPLAY_CELLstatus_EB2250() {
  const int b = ReadBoard();
  for (int c = 0; c <= 11; ++c) {
    const CellStatusLook* look = CellStatusOf(CELLstatus[CellStatusIndex(b, c)]);
    if (look) Shape1[CellSquare(b, c)].fill = look->colour;
  }
  for (int c = 0; c <= 11; ++c) PaintCellPanel(c, CELLstatus[CellStatusIndex(BRDnumber, c)]);
}

}  // namespace eb
