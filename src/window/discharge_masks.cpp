// Cell discharge and interrupt-mask marks, the discharge-permitted lamp,
// single-cell and single-temperature conversions, and the coupling of the
// four cell-conversion broadcast choices.
#include "protocol/hex.h"
#include "window/cell_status.h"
#include "window/form1.h"

namespace eb {

namespace {

int WrittenValue(const std::string& text) { return HexTextValue(text).value_or(0); }

// Marks of one board from the configuration last written to it.
void SetMarks(Form1& f, int b) {
  auto i = static_cast<size_t>(b);
  int x = WrittenValue(f.CFGR1wr[i]);
  for (int k = 0; k <= 7; ++k) f.DCCmark[i][static_cast<size_t>(k)] = ((x >> k) & 1) ? -1 : 0;
  int y = WrittenValue(f.CFGR2wr[i]);
  for (int j = 0; j <= 3; ++j) f.DCCmark[i][static_cast<size_t>(8 + j)] = ((y >> j) & 1) ? -1 : 0;
  for (int k = 0; k <= 3; ++k) f.MCImark[i][static_cast<size_t>(k)] = ((y >> (k + 4)) & 1) ? -1 : 0;
  int z = WrittenValue(f.CFGR3wr[i]);
  for (int l = 0; l <= 7; ++l) f.MCImark[i][static_cast<size_t>(4 + l)] = ((z >> l) & 1) ? -1 : 0;
}

// Status of every cell of one board from its marks and read-valid flags.
void SetMarkStatuses(Form1& f, int b) {
  auto i = static_cast<size_t>(b);
  for (int c = 0; c <= 11; ++c) {
    I16& status = f.CELLstatus[CellStatusIndex(b, c)];
    bool dcc = f.DCCmark[i][static_cast<size_t>(c)] == -1;
    bool mci = f.MCImark[i][static_cast<size_t>(c)] == -1;
    status = kCellNoReading;
    if (dcc && mci) {
      status = kCellMaskedDischarge;
    } else if (dcc) {
      status = kCellDischarge;
    } else if (mci) {
      status = kCellMasked;
    }
    if (f.RDCFGvalid[i] == 1) {
      if (status == kCellNoReading && f.RDCVvalid[i] == 1) status = kCellGood;
    } else {
      status = kCellNoReading;
    }
  }
}

// DCC and Mask boxes of cell panel c.
Control& DccBox(Form1& f, int c) { return c <= 7 ? f.Check1[c] : f.Check2[c - 8]; }
Control& MaskBox(Form1& f, int c) { return c <= 3 ? f.Check2[c + 4] : f.Check3[c - 4]; }

void PanelLook(Form1& f, int c, bool normal) {
  Rgb ink = normal ? colors::Black : colors::Grey;
  f.Frame1[c].fore = ink;
  f.Text1[c].back = normal ? colors::Black : colors::Grey;
  f.Check6[c].fore = ink;
  f.Check6[c].enabled = normal;
  f.Line7[c].border = ink;
  f.Line9[c].border = ink;
  f.Line10[c].border = ink;
  for (Control* s : {&f.Shape2[c], &f.Shape4[c], &f.Shape5[c]}) {
    s->border = ink;
    s->fillShown = normal;
  }
  DccBox(f, c).fore = ink;
  MaskBox(f, c).fore = ink;
}

void ChannelLook(Form1& f, int i, bool normal) {
  Rgb ink = normal ? colors::Black : colors::Grey;
  f.Frame5.fore = ink;
  f.Text6[i].back = normal ? colors::Black : colors::Grey;
  f.Check7[i].fore = ink;
  f.Check7[i].enabled = normal;
  for (Control* s : {&f.Shape6[i], &f.Shape7[i], &f.Shape8[i]}) {
    s->border = ink;
    s->fillShown = normal;
  }
}

}  // namespace

void Form1::SET_MCI_DCC_RevC() {
  for (int b = 0; b <= CARDSTACK; ++b) SetMarks(*this, b);
  for (int b = 0; b <= CARDSTACK; ++b) SetMarkStatuses(*this, b);
}

void Form1::SET_MCI_DCC_RevC_EB2250() {
  SetMarks(*this, BRDnumber);
  SetMarkStatuses(*this, BRDnumber);
}

void Form1::ARM_DCC_PERMITTED() { Shape13.fill = colors::LightBlue; }

void Form1::DISARM_DCC_PERMITTED() { Shape13.fill = colors::White; }

void Form1::Check6_Click(int index) {
  bool ticked = Check6[index].value() == 1;
  if (ticked && BCASTflag_STCVAD[static_cast<size_t>(BRDnumber)] == 1) {
    ARM_SINGLEcell();
    SINGLEcellADDRmode = 2;
  } else if (ticked) {
    ARM_SINGLEcell_ADDR();
    SINGLEcellADDRmode = 1;
  } else {
    DISARM_SINGLEcell();
    SINGLEcellADDRmode = 0;
  }
}

void Form1::ARM_SINGLEcell() {
  for (int c = 0; c <= 11; ++c) {
    bool ticked = Check6[c].value() == 1;
    PanelLook(*this, c, ticked);
    for (int b = 0; b <= CARDSTACK; ++b) Shape1[CellSquare(b, c)].fillShown = ticked;
    if (ticked) SINGLECELL_Lnib = std::string(1, HexDigit(c + 1));
  }
}

void Form1::ARM_SINGLEcell_ADDR() {
  for (int c = 0; c <= 11; ++c) {
    bool ticked = Check6[c].value() == 1;
    PanelLook(*this, c, ticked);
    if (ticked) {
      for (int b = 0; b <= CARDSTACK; ++b) Shape1[CellSquare(b, c)].fillShown = true;
      SINGLECELL_Lnib = std::string(1, HexDigit(c + 1));
    } else {
      Shape1[CellSquare(BRDnumber, c)].fillShown = false;
    }
  }
}

void Form1::DISARM_SINGLEcell() {
  for (int c = 0; c <= 11; ++c) {
    if (!Check6[c].enabled) {
      PanelLook(*this, c, true);
      // Every board: greying set on a larger stack must not outlive it.
      for (int b = 0; b <= 9; ++b) Shape1[CellSquare(b, c)].fillShown = true;
    }
  }
  SINGLECELL_Lnib = "0";
}

void Form1::ARM_GLOBAL_CELL_BROADCAST() {
  Check5[2].setValue(1);
  Check5[3].setValue(1);
  Check8[0].setValue(1);
  Check8[1].setValue(1);
  if (SINGLEcellADDRmode == 1) {
    SINGLEcellADDRmode = 2;
    ARM_SINGLEcell();
  }
}

void Form1::DISARM_GLOBAL_CELL_BROADCAST() {
  Check5[2].setValue(0);
  Check5[3].setValue(0);
  Check8[0].setValue(0);
  Check8[1].setValue(0);
  if (SINGLEcellADDRmode == 2) {
    SINGLEcellADDRmode = 1;
    DISARM_SINGLEcell();
    ARM_SINGLEcell_ADDR();
  }
}

void Form1::Check7_Click(int index) {
  if (Check7[index].value() == 1) {
    ARM_SINGLEtemp();
  } else {
    DISARM_SINGLEtemp();
  }
}

void Form1::ARM_SINGLEtemp() {
  static const char* const kNibble[3] = {"3", "1", "2"};
  for (int i = 0; i <= 2; ++i) {
    bool ticked = Check7[i].value() == 1;
    ChannelLook(*this, i, ticked);
    if (ticked) SINGLETEMP_Lnib = kNibble[i];
  }
}

void Form1::DISARM_SINGLEtemp() {
  for (int i = 0; i <= 2; ++i) {
    if (!Check7[i].enabled) {
      ChannelLook(*this, i, true);
      SINGLETEMP_Lnib = "0";
    }
  }
}

}  // namespace eb
