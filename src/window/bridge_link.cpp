// Bridge link: one self-contained transaction per command, identification,
// and the line states around polling and low-current standby.
#include <algorithm>
#include <array>
#include <cstring>

#include "window/form1.h"

namespace eb {

std::size_t Form1::Transaction(const std::string& command, int readMs, int writeMs, char* reply,
                               int n, bool toLineEnd) {
  // Statuses are never examined: a missing bridge shows only as a reply that
  // does not match (identify) or fails its PEC check (register reads). The
  // count of characters delivered is kept, so that characters which never
  // arrived are not read as a reply.
  bridge.Open(0);
  bridge.SetTimeouts(readMs, writeMs);
  bridge.Write(command);
  std::size_t got = 0;
  if (reply != nullptr && n > 0) {
    const auto want = static_cast<std::size_t>(n);
    got = std::min(toLineEnd ? bridge.ReadLine(reply, want) : bridge.Read(reply, want), want);
  }
  bridge.Close();
  return got;
}

void Form1::ReadTransaction(const std::string& command, ReplyBuffer& reply, int n) {
  reply.delivered = Transaction(command, 1000, 1000, reply.data(), n);
}

void Form1::SendCommand(const std::string& command) { Transaction(command, 1000, 1000); }

void Form1::IDENTIFY_BRIDGE() {
  std::array<char, 128> reply{};  // fresh buffer on every call
  // The identity is one line: the read ends at its CR LF, and the 200 ms
  // only bound a bridge that never finishes it.
  Transaction("IZ", 200, 50, reply.data(), 50, true);
  // The first nine characters, as a label shows them (up to a NUL).
  std::string id(reply.data(), 9);
  id.resize(std::strlen(id.c_str()));
  IDreply = id;
  Initialize = std::memcmp(reply.data(), "ZQM4417-2", 9) == 0 ? -1 : 0;
  Label_IDstring.caption = id;
}

void Form1::I2Cmode() { SendCommand("MI"); }

void Form1::RETURN_CSBI() { SendCommand("MSX"); }

void Form1::CLEAR_CFGRXwr() {
  for (int b = 0; b <= 9; ++b) {
    for (auto* wr : {&CFGR0wr, &CFGR1wr, &CFGR2wr, &CFGR3wr, &CFGR4wr, &CFGR5wr}) {
      (*wr)[static_cast<size_t>(b)].clear();
    }
  }
}

void Form1::LOW_POWER_STBY_EB2250() {
  for (int b = 0; b <= CARDSTACK; ++b) {
    auto i = static_cast<size_t>(b);
    CFGR0[i] = "E0";
    CDCreg[i] = 0;
    DISPLAY_CDC_EB2250();
    CFGR1[i] = "00";
    CFGR2[i] = "00";
    CFGR3[i] = "00";
    VUVreg[i] = 0;
    CFGR4[i] = "00";
    VOVreg[i] = 0;
    CFGR5[i] = "00";
  }
  DISPLAY_VUV_VOV_EB2250();
  Check5[5].setValue(1);
  Command1_click(5);
  ReadStackConfigurations();
  CLEAR_BLINK_RDCV_EB2250();
  CLEAR_BLINK_RDTMP_EB2250();
  CLEAR_BLINK_RDCFG_EB2250();
  WRCFGBLINKflag = 1;
  BLINK_WRCFG_EB2250();
  CLEAR_CFGRXwr();
  DISPLAY_CDC_EB2250();
  I2Cmode();
}

}  // namespace eb
