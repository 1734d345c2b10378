// Self tests: self-test conversions on every board, and the hex view of the
// selected board's converter codes compared with 0x555 or 0xAAA.
#include "window/form1.h"

namespace eb {

namespace {

// Expected display text of a self-test code for the current choice, or
// nothing when the choice is neither test.
const char* ExpectedCode(const std::string& nibble) {
  if (nibble == "E") return "555";
  if (nibble == "F") return "AAA";
  return nullptr;
}

}  // namespace

void Form1::Option2_Click(int index) {
  const char* n = index == 0 ? "E" : "F";
  SELFTEST_Lnib = n;
  Command5[0].tooltip = std::string("0x1") + n + " STCVAD SELF TEST ALL";
  Command5[5].tooltip = std::string("0x6") + n + " STCVDC SELF TEST ALL";
  Command5[1].tooltip = std::string("0x2") + n + " STOWAD SELF TEST ALL";
  Command5[6].tooltip = std::string("0x7") + n + " STOWDC SELF TEST ALL";
  Command5[2].tooltip = std::string("0x3") + n + " STTMPAD SELF TEST ALL";
}

void Form1::Command5_Click(int index) {
  static const char* const kDigit[7] = {"1", "2", "3", "", "", "6", "7"};
  switch (index) {
    case 0:
    case 1:
    case 5:
    case 6:
      SendCommand(std::string("MSxS") + kDigit[index] + SELFTEST_Lnib + "X");
      CLEAR_RDCVflag();
      SELFTEST_CLEAR_LOCAL_CELLS();
      CLEAR_CELLstatus();
      CLEAR_PEC_DISPLAYS();
      DISPLAY_CELLstatus_EB2250();
      if (index == 0 || index == 1)
        DISARM_DCC_PERMITTED();
      else
        ARM_DCC_PERMITTED();
      SELFTESTflag = 1;
      break;
    case 2:
      SendCommand(std::string("MSxS") + kDigit[index] + SELFTEST_Lnib + "X");
      SELFTESTTMPflag = 1;
      SELFTEST_CLEAR_LOCAL_TEMPS();
      CLEAR_PEC_DISPLAYS();
      break;
    case 3:
      SingleShotRead(&Form1::RDCV_ADDRESSABLE_RevC,
                     {&Form1::SET_MCI_DCC_RevC_EB2250, &Form1::DISPLAY_CELLstatus_EB2250});
      SELFTEST_12CELL_Display();
      SELFTESTflag = 1;
      COMPARE_SELFTEST_CELL();
      break;
    case 4:
      SELFTESTTMPflag = 1;
      SingleShotRead(&Form1::RDTMP_ADDRESSABLE_RevC, {&Form1::SET_REV_THSD});
      SELFTEST_RDTMP_Display();
      COMPARE_SELFTEST_TEMP();
      break;
    default: break;
  }
}

void Form1::SELFTEST_12CELL_Display() {
  for (int k = 1; k <= 12; ++k) {
    Text1[k - 1].text = "0x" + CELLhex[CellVoltIndex(BRDnumber, k)] + " ";
  }
  for (int c = 0; c <= 11; ++c) {
    Text1[c].back = colors::White;
    Text1[c].fore = colors::Black;
  }
}

void Form1::SELFTEST_RDTMP_Display() {
  const int b = BRDnumber;
  Text6[0].text = " 0x" + CELLhex[TempIndex(b, 3)] + " ";
  Text6[1].text = " 0x" + CELLhex[TempIndex(b, 1)] + " ";
  Text6[2].text = " 0x" + CELLhex[TempIndex(b, 2)] + " ";
  for (int i = 0; i <= 2; ++i) {
    Text6[i].back = colors::White;
    Text6[i].fore = colors::Black;
  }
  DISPLAY_THERMOSTAT();
}

void Form1::COMPARE_SELFTEST_CELL() {
  const char* code = ExpectedCode(SELFTEST_Lnib);
  if (code == nullptr) return;
  const std::string expected = std::string("0x") + code + " ";
  for (int i = 0; i <= 11; ++i)
    Text1[i].back = Text1[i].text == expected ? colors::White : colors::Red;
}

void Form1::COMPARE_SELFTEST_TEMP() {
  const char* code = ExpectedCode(SELFTEST_Lnib);
  if (code == nullptr) return;
  const std::string expected = std::string(" 0x") + code + " ";
  for (int i = 0; i <= 2; ++i)
    Text6[i].back = Text6[i].text == expected ? colors::White : colors::Red;
}

void Form1::SELFTEST_CLEAR_LOCAL_CELLS() {
  for (int c = 0; c <= 11; ++c) {
    Text1[c].text = "0x000 ";
    Text1[c].back = colors::White;
    Text1[c].fore = colors::Black;
  }
}

void Form1::SELFTEST_CLEAR_LOCAL_TEMPS() {
  for (int i = 0; i <= 2; ++i) {
    Text6[i].text = " 0x000 ";
    Shape6[i].fill = colors::WindowBackground;
    Shape7[i].fill = colors::WindowBackground;
    Shape8[i].fill = colors::WindowBackground;
    Text6[i].back = colors::White;
    Text6[i].fore = colors::Black;
  }
}

}  // namespace eb
