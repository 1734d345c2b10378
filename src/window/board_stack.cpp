// Board stack and selection: how many boards, which one is selected, and the
// selected board's address.
#include "protocol/hex.h"
#include "window/form1.h"

namespace eb {

namespace {

// "BRD# 1    0x" … "BRD# 9    0x", "BRD#10   0x".
std::string BoardButtonPrefix(int n) {
  return n < 10 ? "BRD# " + std::to_string(n) + "    0x" : "BRD#" + std::to_string(n) + "   0x";
}

// " 1" … " 9", "10": the board number as most captions show it.
std::string PaddedNumber(int n) { return n < 10 ? " " + std::to_string(n) : std::to_string(n); }

}  // namespace

void Form1::Command4_Click(int index) {
  const int n = index + 1;
  const std::string num = PaddedNumber(n);
  const std::string brd = "BRD#" + std::to_string(n);
  Label21.caption = std::to_string(n);
  Label13[0].caption = "CUSTOM  BOARD #" + num;
  Option3[0].caption = "CUSTOM BRD#" + num;
  Label14.caption = n < 10 ? "SET/ DISPLAY BOARD #" + num + " AT HEX ADDRESS"
                           : "SET/ DISPLAY BOARD#" + num + " AT HEX ADDRESS";
  for (int i = 0; i <= 3; ++i) Label18[i].caption = "BOARD#" + num + " ONLY";
  for (int i = 0; i <= 5; ++i) Label19[i].caption = brd;
  Label20[1].caption = brd;
  Label20[2].caption = brd;
  Command5[3].tooltip = "READ ONLY " + brd + " CELLS FOR SELFTEST IN HEX.";
  Command5[4].tooltip = "READ ONLY " + brd + " TEMPS FOR SELFTEST IN HEX.";

  BRDnumber = static_cast<I16>(index);
  Image1.left = 504 + 24 * BRDnumber;

  START_SHRINK_TAB_EB2250();
  SELECT_Cmd4_BLINK_RDCV_EB2250();
  SELECT_Cmd4_BLINK_RDTMP_EB2250();
  SELECT_Cmd4_BLINK_RDCFG_EB2250();

  if (SELFTESTflag != 0) {
    SELFTEST_12CELL_Display();
    COMPARE_SELFTEST_CELL();
  } else {
    Single_12CELL_Display();
  }
  auto b = static_cast<size_t>(BRDnumber);
  if (RDCVmark[b] == 1 && RDCVvalid[b] == 0) CLEAR_LOCAL_CELLS();

  for (int k = 0; k <= 5; ++k) Check5_Click(k);
  // The two hold-discharge boxes are re-applied the same way, so what they
  // show is always the new board's choice: a box left ticked from the
  // previous board would otherwise say "broadcast" while the command goes
  // addressed.
  Check8_Click(0);
  Check8_Click(1);

  if (SINGLEcellADDRmode == 1) {
    DISARM_SINGLEcell();
    ARM_SINGLEcell_ADDR();
  } else if (SINGLEcellADDRmode == 2) {
    ARM_SINGLEcell();
  }

  DISPLAY_HWset_EB2250();
  DISPLAY_CDC_EB2250();
  UPDATE_Check0();
  UPDATE_Check1();
  UPDATE_Check2();
  UPDATE_Check3();
  DISPLAY_VUV_VOV_EB2250();

  UPDATE_RDFLG_Display();

  if (SELFTESTTMPflag != 0) {
    SELFTEST_RDTMP_Display();
    COMPARE_SELFTEST_TEMP();
  } else {
    UPDATE_RDTMP_Display();
  }
  b = static_cast<size_t>(BRDnumber);
  if (RDTMPvalid[b] == 0 && RDTMPmark[b] == 1) CLEAR_LOCAL_TEMPS();

  UPDATE_PEC_Display();
  Compare_CFGR();
  REFRESH_CFGR_FRAME4_EB2250();
  DISPLAY_RDCFG();
  DISPLAY_CELLstatus_EB2250();

  UPDATE_Combo1();
}

void Form1::UPDATE_Combo1() {
  const std::string& address = BRDaddress[static_cast<size_t>(BRDnumber)];
  if (address.size() != 2 || address[0] != '8') return;
  int digit = HexDigitValue(address[1]);
  // Only upper-case digits form the addresses "80" … "8F".
  if (digit < 0 || (address[1] >= 'a' && address[1] <= 'f')) return;
  Combo2.setListIndex(digit);
}

void Form1::Combo2_Click() {
  int k = Combo2.listIndex();
  if (k < 0) return;
  BRDaddress[static_cast<size_t>(BRDnumber)] = std::string("8") + HexDigit(k);
  UPDATE_Command4_Caption();
  Combo1_Click();
}

void Form1::UPDATE_Command4_Caption() {
  for (int i = 0; i <= 9; ++i) {
    Command4[i].caption = BoardButtonPrefix(i + 1) + BRDaddress[static_cast<size_t>(i)];
  }
}

void Form1::Combo1_Click() {
  if (Combo1.listIndex() < 0) return;
  CARDSTACK = static_cast<I16>(Combo1.listIndex());
  const int count = CARDSTACK + 1;

  std::string heading = "BOARD#   1";
  for (int n = 2; n <= std::min(count, 9); ++n) heading += "      " + std::to_string(n);
  if (count == 10) heading += "     10";
  Label12.caption = heading;

  std::string addresses = "ADDRESS " + BRDaddress[0];
  for (int b = 1; b <= CARDSTACK; ++b) addresses += "    " + BRDaddress[static_cast<size_t>(b)];
  Label15.caption = addresses;

  Label9[1].left = 536 + 24 * CARDSTACK;

  for (int j = 0; j <= 9; ++j) {
    bool inStack = j <= CARDSTACK;
    Command4[j].visible = inStack;
    for (int c = 0; c <= 11; ++c) Shape1[CellSquare(j, c)].visible = inStack;
    Shape12[j].visible = inStack;
  }

  SET_BLINK_TAB_HT_EB2250();

  if (CARDSTACK < BRDnumber) Command4_Click(CARDSTACK);

  SET_GLOBAL_CFGR_EB2250();
  UPDATE_GLOBAL_CFGR_EB2250();

  if (SINGLEcellADDRmode == 1) {
    DISARM_SINGLEcell();
    ARM_SINGLEcell_ADDR();
  } else if (SINGLEcellADDRmode == 2) {
    ARM_SINGLEcell();
  }

  SET_Combo1_RDmode_3();

  // The stack-wide configuration read needs the PEC table, which start-up
  // builds after the first board-count change; that first time it is skipped
  // (start-up reads the selected board's configuration itself afterwards).
  if (PECtable[1] != 0) ReadStackConfigurations();

  RESET_Combo1_RDmode_1();
}

void Form1::ReadStackConfigurations() {
  const int remembered = BRDnumber;
  for (int j = 0; j <= CARDSTACK; ++j) {
    BRDnumber = static_cast<I16>(j);
    Command1_click(6);
  }
  BRDnumber = static_cast<I16>(remembered);
  Command1_click(6);
}

void Form1::SET_Combo1_RDmode_3() {
  if (RDCFGmode == 1) RDCFGmode = 3;
  if (RDCVmode == 1) RDCVmode = 3;
  if (RDTMPmode == 1) RDTMPmode = 3;
}

void Form1::RESET_Combo1_RDmode_1() {
  if (RDCFGmode == 3) RDCFGmode = 1;
  if (RDCVmode == 3) RDCVmode = 1;
  if (RDTMPmode == 3) RDTMPmode = 1;
}

void Form1::BLACK_FONT_BRDnumber() {
  for (int i = 0; i <= 5; ++i) {
    Label19[i].fore = colors::Black;
    Label19[i].font.bold = false;
  }
  for (int i = 1; i <= 2; ++i) {
    Label20[i].fore = colors::Black;
    Label20[i].font.bold = false;
  }
  Label13[0].fore = colors::Black;
  Label13[0].font.bold = false;
  Option3[0].fore = colors::Black;
  Option3[0].font.bold = false;
}

}  // namespace eb
