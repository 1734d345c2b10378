// Start, poll and configuration-write commands: fire-and-forget
// transactions, broadcast or addressed to the selected board.
#include "window/form1.h"

namespace eb {

namespace {

// "MSxS" + command (broadcast) or "MSxS" + address + "S" + command.
std::string StartCommand(const Form1& f, const BoardFlags& broadcast, const std::string& command) {
  auto b = static_cast<size_t>(f.BRDnumber);
  if (broadcast[b] == 1) return "MSxS" + command;
  return "MSxS" + f.BRDaddress[b] + "S" + command;
}

}  // namespace

void Form1::STCVAD_BROADCAST_RevC() {
  SendCommand(StartCommand(*this, BCASTflag_STCVAD, "1" + SINGLECELL_Lnib + "X"));
  CLEAR_RDCVflag();
}

void Form1::STOWAD_BROADCAST() { SendCommand(StartCommand(*this, BCASTflag_STOWAD, "20X")); }

void Form1::STTMPAD_BROADCAST_RevC() {
  SendCommand(StartCommand(*this, BCASTflag_STTMPAD, "3" + SINGLETEMP_Lnib + "X"));
  CLEAR_RDTMPflag_EB2250();
}

void Form1::STCVDC_BROADCAST_RevC() {
  SendCommand(StartCommand(*this, BCASTflag_STCVDC, "6" + SINGLECELL_Lnib + "X"));
  CLEAR_RDCVflag();
}

void Form1::STOWDC_BROADCAST_RevC() {
  SendCommand(StartCommand(*this, BCASTflag_STOWDC, "7" + SINGLECELL_Lnib + "X"));
}

// Polls end without "X": the chip select stays low until the next command.
void Form1::PLADC_BROADCAST_RevC() { SendCommand(StartCommand(*this, BCASTflag_PLADC, "40")); }

void Form1::PLINT_BROADCAST_RevC() { SendCommand(StartCommand(*this, BCASTflag_PLINT, "50")); }

void Form1::WRCFG_BROADCAST() {
  auto b = static_cast<size_t>(BRDnumber);
  std::string data = "S" + CFGR0[b] + "S" + CFGR1[b] + "S" + CFGR2[b] + "S" + CFGR3[b] + "S" +
                     CFGR4[b] + "S" + CFGR5[b] + "X";
  std::string command =
      BCASTflag_WRCFG[b] == 1 ? "MSxT01" + data : "MSxT" + BRDaddress[b] + "T01" + data;
  SendCommand(command);
  for (int i = 0; i <= 5; ++i) {
    Text4[i].back = colors::WindowBackground;
    Text4[i].fore = colors::Black;
  }
  Text3.fore = colors::Black;
  Text2[0].fore = colors::Black;
  Text2[1].fore = colors::Black;
  RDCFGflag = 0;
  DISPLAY_RDCFG();
  SAVE_CFGR_WRITTEN();
}

}  // namespace eb
