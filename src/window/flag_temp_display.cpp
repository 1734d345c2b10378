// Flag bytes, temperature readings, thermometers and thermal shutdown.
#include "protocol/hex.h"
#include "window/cell_status.h"
#include "window/form1.h"

namespace eb {

void Form1::UPDATE_RDFLG_Display() {
  auto b = static_cast<size_t>(BRDnumber);
  Text7[0].text = "  " + FLGR0rd[b] + "   ";
  Text7[1].text = "  " + FLGR1rd[b] + "   ";
  Text7[2].text = "  " + FLGR2rd[b] + "   ";
}

void Form1::UPDATE_RDTMP_Display() {
  const int b = BRDnumber;
  Text6[0].text = VoltText(CELLvolt[TempIndex(b, 3)]) + "V  ";
  Text6[1].text = VoltText(CELLvolt[TempIndex(b, 1)]) + "V  ";
  Text6[2].text = VoltText(CELLvolt[TempIndex(b, 2)]) + "V  ";
  for (int i = 0; i <= 2; ++i) {
    if (Check7[i].enabled) {
      Text6[i].back = colors::Black;
      Text6[i].fore = colors::White;
    } else {
      Text6[i].back = colors::Grey;
    }
  }
  DISPLAY_THERMOSTAT();
}

void Form1::DISPLAY_THERMOSTAT() {
  bool valid = RDTMPvalid[static_cast<size_t>(BRDnumber)] != 0;
  for (int i = 0; i <= 2; ++i) {
    Shape6[i].fill = valid ? colors::Red : colors::WindowBackground;
    Shape7[i].fill = valid ? colors::Red : colors::WindowBackground;
    Shape8[i].fill = valid ? colors::PaleGrey : colors::WindowBackground;
  }
}

namespace {

// Shutdown handling shared by both variants; `reread` adds the configuration
// read after a shutdown has ended.
void RevThsd(Form1& f, bool reread) {
  for (int i = 0; i <= f.CARDSTACK; ++i) {
    auto b = static_cast<size_t>(i);
    if (f.THSDbit[b] == 1) {
      for (int c = 0; c <= 11; ++c) f.CELLstatus[CellStatusIndex(i, c)] = kCellThermalShutdown;
      f.THSDset[b] = 1;
      f.DISPLAY_CELLstatus();
    }
    if (f.THSDset[b] == 1 && f.THSDbit[b] == 0) {
      for (int c = 0; c <= 11; ++c) f.CELLstatus[CellStatusIndex(i, c)] = kCellNoReading;
      f.THSDhold = 1;
      f.AUTORESTARTflag = 0;
      if (reread) f.RDCFG_ADDRESSABLE_RevC();
      f.Compare_CFGR();
      f.Check_AUTO_Click();
      f.DISPLAY_CELLstatus();
    }
  }
}

}  // namespace

void Form1::SET_REV_THSD_EB2250() { RevThsd(*this, true); }

void Form1::SET_REV_THSD() { RevThsd(*this, false); }

void Form1::CLEAR_THSDflag_THSDset() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    THSDbit[static_cast<size_t>(b)] = 0;
    THSDset[static_cast<size_t>(b)] = 0;
  }
  THSDhold = 0;
}

void Form1::CLEAR_THSDset() {
  for (int b = 0; b <= CARDSTACK; ++b) THSDset[static_cast<size_t>(b)] = 0;
  THSDhold = 0;
}

}  // namespace eb
