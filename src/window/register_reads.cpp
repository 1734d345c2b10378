// Addressed register reads with PEC check and retry: configuration, cell
// voltages, flags and temperatures of one board.
#include "protocol/hex.h"
#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

constexpr int kAttempts = 10;

const char* const kGiveUpTail =
    "Please configure jumper settings for address pins A0 to A3 correctly. "
    "Then check all power cell connections and "
    "SPI ribbon connections between boards.";

Rgb LampColour(int status) {
  switch (status) {
    case 1: return colors::Green;
    case 2: return colors::Red;
    case 3: return colors::Orange;
    default: return colors::White;
  }
}

// The local comparison shared by the four reads: the two PECs of the
// selected board in Text8 and the command in Label8(1).
void LocalCompare(Form1& f, I16 chip, I16 calc, const char* caption, I16& accept, I16 pecflag,
                  bool zeroShownRed) {
  std::string received = PecHex(chip);
  std::string calculated = PecHex(calc);
  f.Label8[1].caption = "";
  f.Label8[1].caption = caption;
  if (chip == calc) {
    f.Text8.back = (zeroShownRed && chip == 0) ? colors::Red : colors::WindowBackground;
    f.Text8.text = "0x" + received + " == " + "0x" + calculated;
  } else {
    if (f.SINGLESHOTflag == 1) f.AUTORESTARTflag = 0;
    if (f.AUTORESTARTflag == 1) {
      accept = 0;
    } else if (f.AUTORESTARTflag == 0) {
      accept = -1;
      f.Text8.back = colors::Red;
      f.Text8.text = "0x" + received + " != " + "0x" + calculated;
    }
  }
  f.PECflag = pecflag;
}

// First step of every overall comparison: a match lights green, a mismatch
// is accepted (red) or rejected for a retry according to the retry mode.
void MatchStep(Form1& f, int x, I16 chip, I16 calc, I16& accept) {
  auto i = static_cast<size_t>(x);
  if (chip == calc) {
    f.PECstatus[i] = 1;
  } else if (f.AUTORESTARTflag == 0) {
    accept = -1;
    f.PECstatus[i] = 2;
  } else if (f.AUTORESTARTflag == 1) {
    accept = 0;
  }
}

// Status adjustment and lamp colour at the end of an overall comparison.
void AdjustAndPaint(Form1& f, int x, I16 chip, I16 calc, bool useConfigRule) {
  auto i = static_cast<size_t>(x);
  if (useConfigRule && chip == calc && f.RDCFGvalid[i] == 0) f.PECstatus[i] = 0;
  if (f.THSDset[i] == 1) f.PECstatus[i] = 3;
  f.Shape12[x].fill = LampColour(f.PECstatus[i]);
}

void GiveUp(Form1& f, const char* what) {
  f.MsgBox(std::string("Excessive ") + what + " Communication Errors! " + kGiveUpTail);
  f.MEASURESKIPflag = 1;
  f.Command1_click(10);
}

std::string ReadCommand(const Form1& f, int x, const char* tail) {
  return "MSxT" + f.BRDaddress[static_cast<size_t>(x)] + tail;
}

}  // namespace

// ------------------------------------------------------------ cell voltages

void Form1::RDCV_ADDRESSABLE_RevC() {
  const int x = ReadBoard();
  for (int n = 0; n < kAttempts; ++n) {
    PEC_RDCV = -1;
    ReadTransaction(ReadCommand(*this, x,
                            "T04RRRRRRRRRRRRRRRRRR"
                            "RX"), RDCVreply, ReplyLength(kCvBytes));
    PEC_Create_CVRbyte_array_ADDR_RevC();
    PEC_GUI_RDCV_Calc_ADDR_RevC();
    if (x == BRDnumber) PEC_GUI_vs_4417_RDCV_local_restart();
    if (PEC_RDCV == -1) {
      PEC_GUI_vs_4417_RDCV_overall_EB2250();
      if (PEC_RDCV == -1) {
        std::array<std::uint8_t, kCvBytes> bytes{};
        for (int k = 0; k < kCvBytes; ++k)
          bytes[static_cast<size_t>(k)] = CVRbyte[static_cast<size_t>(k)][static_cast<size_t>(x)];
        for (int c = 1; c <= 12; ++c) {
          auto at = static_cast<size_t>(12 * x + c);
          CELLhex[at] = PackedReadingText(RDCVreply.data(), c - 1, RDCVreply.delivered);
          CELLvolt[at] =
              CountToVolts(PackedReading(bytes.data(), CVRbad[static_cast<size_t>(x)], c - 1));
        }
        Single_12CELL_Display();
        return;
      }
    }
    STCVAD_BROADCAST_RevC();
  }
  GiveUp(*this, "READ CELL VOLTAGE");
}

void Form1::PEC_GUI_vs_4417_RDCV_local_restart() {
  auto b = static_cast<size_t>(BRDnumber);
  LocalCompare(*this, PECchip_RDCV[b], PECcalc_RDCV[b], "Command = 04 RDCV", PEC_RDCV, 2, false);
}

void Form1::PEC_GUI_vs_4417_RDCV_overall_EB2250() {
  const int x = ReadBoard();
  auto i = static_cast<size_t>(x);
  const I16 chip = PECchip_RDCV[i], calc = PECcalc_RDCV[i];
  MatchStep(*this, x, chip, calc, PEC_RDCV);
  if (chip == 0xFF && calc == 0xB2) {
    RDCVvalid[i] = 0;
    PEC_RDCV = -1;
    PECstatus[i] = 2;
  } else if (chip == 0x00 && calc == 0x00) {
    RDCVvalid[i] = 0;
    PEC_RDCV = -1;
    PECstatus[i] = 0;
  } else {
    RDCVvalid[i] = 1;
  }
  AdjustAndPaint(*this, x, chip, calc, true);
}

// ------------------------------------------------------------ configuration

void Form1::RDCFG_ADDRESSABLE_RevC() {
  const int x = BRDnumber;
  auto i = static_cast<size_t>(x);
  for (int n = 0; n < kAttempts; ++n) {
    PEC_RDCFG = -1;
    ReadTransaction(ReadCommand(*this, x,
                            "T02RRRRRR"
                            "RX"), RDCFGreply, ReplyLength(kCfgBytes));
    PEC_Create_CFGRbyte_array_ADDR_RevC();
    PEC_GUI_RDCFG_Calc_ADDR_RevC();
    PEC_GUI_vs_4417_RDCFG_local_restart();
    if (PEC_RDCFG == -1) {
      PEC_GUI_vs_4417_RDCFG_overall_EB2250();
      if (PEC_RDCFG == -1) {
        BoardTexts* rd[] = {&CFGR0rd, &CFGR1rd, &CFGR2rd, &CFGR3rd, &CFGR4rd, &CFGR5rd};
        for (int k = 0; k < kCfgBytes; ++k) {
          bool bad = (CFGRbad[i] >> k) & 1u;
          (*rd[k])[i] = bad ? std::string("??") : ByteHex(CFGRbyte[static_cast<size_t>(k)][i]);
        }
        // A chip whose 10-cell bit and duty cycle are all 0 counts as not
        // present; so does an unreadable CFGR0.
        bool noAnswer = PECchip_RDCFG[i] == 0xFF && PECcalc_RDCFG[i] == 0x48;
        bool cfgr0Readable = (CFGRbad[i] & 1u) == 0;
        if (cfgr0Readable && (CFGRbyte[0][i] & 0x0F) != 0 && !noAnswer) {
          RDCFGvalid[i] = 1;
        } else {
          RDCFGvalid[i] = 0;
          RDTMPvalid[i] = 0;
        }
        RDCFGflag = 1;
        DISPLAY_RDCFG();
        READ_VUV_VOV();
        return;
      }
    }
  }
  GiveUp(*this, "READ CONFIG");
}

void Form1::PEC_GUI_vs_4417_RDCFG_local_restart() {
  auto b = static_cast<size_t>(BRDnumber);
  LocalCompare(*this, PECchip_RDCFG[b], PECcalc_RDCFG[b], "Command = 02 RDCFG", PEC_RDCFG, 1, true);
}

void Form1::PEC_GUI_vs_4417_RDCFG_overall_EB2250() {
  const int x = BRDnumber;
  auto i = static_cast<size_t>(x);
  const I16 chip = PECchip_RDCFG[i], calc = PECcalc_RDCFG[i];
  MatchStep(*this, x, chip, calc, PEC_RDCFG);
  if (chip == 0xFF && calc == 0x48) {
    RDCFGvalid[i] = 0;
    PEC_RDCFG = -1;
    PECstatus[i] = 2;
  } else if (chip == 0x00 && calc == 0x00) {
    RDCFGvalid[i] = 0;
    PEC_RDCFG = -1;
    PECstatus[i] = 0;
  } else {
    RDCFGvalid[i] = 1;
  }
  AdjustAndPaint(*this, x, chip, calc, false);
}

// ------------------------------------------------------------ flags

void Form1::RDFLG_ADDRESSABLE_RevC() {
  const int x = ReadBoard();
  auto i = static_cast<size_t>(x);
  for (int n = 0; n < kAttempts; ++n) {
    PEC_RDFLG = -1;
    ReadTransaction(ReadCommand(*this, x,
                            "T06RRR"
                            "RX"), RDFLGreply, ReplyLength(kFlgBytes));
    PEC_Create_FLGRbyte_array_ADDR_RevC();
    PEC_GUI_RDFLG_Calc_ADDR_RevC();
    if (x == BRDnumber) PEC_GUI_vs_4417_RDFLG_local_restart();
    if (PEC_RDFLG == -1) {
      PEC_GUI_vs_4417_RDFLG_overall_EB2250();
      if (PEC_RDFLG == -1) {
        BoardTexts* rd[] = {&FLGR0rd, &FLGR1rd, &FLGR2rd};
        for (int k = 0; k < kFlgBytes; ++k) {
          bool bad = (FLGRbad[i] >> k) & 1u;
          (*rd[k])[i] = bad ? std::string("??") : ByteHex(FLGRbyte[static_cast<size_t>(k)][i]);
        }
        UPDATE_RDFLG_Display();
        return;
      }
    }
  }
  GiveUp(*this, "READ FLAG");
}

void Form1::PEC_GUI_vs_4417_RDFLG_local_restart() {
  auto b = static_cast<size_t>(BRDnumber);
  LocalCompare(*this, PECchip_RDFLG[b], PECcalc_RDFLG[b], "Command = 06 RDFLG", PEC_RDFLG, 3,
               false);
}

void Form1::PEC_GUI_vs_4417_RDFLG_overall_EB2250() {
  const int x = ReadBoard();
  auto i = static_cast<size_t>(x);
  const I16 chip = PECchip_RDFLG[i], calc = PECcalc_RDFLG[i];
  MatchStep(*this, x, chip, calc, PEC_RDFLG);
  if (chip == 0xFF && calc == 0x0F) {
    PEC_RDFLG = -1;
    PECstatus[i] = 2;
  } else if (chip == 0x00 && calc == 0x00 && RDCFGvalid[i] == 0) {
    PEC_RDFLG = -1;
    PECstatus[i] = 0;
  }
  AdjustAndPaint(*this, x, chip, calc, true);
}

// ------------------------------------------------------------ temperatures

void Form1::RDTMP_ADDRESSABLE_RevC() {
  const int x = ReadBoard();
  auto i = static_cast<size_t>(x);
  for (int n = 0; n < kAttempts; ++n) {
    PEC_RDTMP = -1;
    ReadTransaction(ReadCommand(*this, x,
                            "T08RRRRR"
                            "RX"), RDTMPreply, ReplyLength(kTmpBytes));
    PEC_Create_TMPRbyte_array_ADDR_RevC();
    PEC_GUI_RDTMP_Calc_ADDR_RevC();
    if (x == BRDnumber) PEC_GUI_vs_4417_RDTMP_local_restart();
    if (PEC_RDTMP == -1) {
      PEC_GUI_vs_4417_RDTMP_overall_EB2250();
      if (PEC_RDTMP == -1) {
        std::array<std::uint8_t, kTmpBytes + 1> bytes{};
        for (int k = 0; k < kTmpBytes; ++k)
          bytes[static_cast<size_t>(k)] = TMPRbyte[static_cast<size_t>(k)][i];
        // ETMP1, ETMP2 are packed reading 0 and 1, ITMP is packed reading 2.
        for (int k = 0; k < 3; ++k) {
          auto at = static_cast<size_t>(121 + 3 * x + k);
          CELLhex[at] = PackedReadingText(RDTMPreply.data(), k, RDTMPreply.delivered);
          CELLvolt[at] = CountToVolts(PackedReading(bytes.data(), TMPRbad[i], k));
        }
        if (PECchip_RDTMP[i] == PECcalc_RDTMP[i]) {
          THSDbit[i] = static_cast<I16>(ThermalShutdownBit(TMPRbyte[4][i]));
          REVcode[i] = static_cast<I16>(RevisionCode(TMPRbyte[4][i]));
        }
        UPDATE_RDTMP_Display();
        return;
      }
    }
    STTMPAD_BROADCAST_RevC();
  }
  GiveUp(*this, "READ TEMP");
}

void Form1::PEC_GUI_vs_4417_RDTMP_local_restart() {
  auto b = static_cast<size_t>(BRDnumber);
  LocalCompare(*this, PECchip_RDTMP[b], PECcalc_RDTMP[b], "Command = 08 RDTMP", PEC_RDTMP, 4,
               false);
}

void Form1::PEC_GUI_vs_4417_RDTMP_overall_EB2250() {
  const int x = ReadBoard();
  auto i = static_cast<size_t>(x);
  const I16 chip = PECchip_RDTMP[i], calc = PECcalc_RDTMP[i];
  MatchStep(*this, x, chip, calc, PEC_RDTMP);
  if (chip == 0xFF) {
    RDTMPvalid[i] = 0;
    PEC_RDTMP = -1;
    PECstatus[i] = 2;
  } else if (chip == 0x00 && calc == 0x00) {
    RDTMPvalid[i] = 0;
    PEC_RDTMP = -1;
    PECstatus[i] = 0;
  } else {
    RDTMPvalid[i] = 1;
  }
  if (RDCFGvalid[i] == 0) RDTMPvalid[i] = 0;
  AdjustAndPaint(*this, x, chip, calc, true);
}

// ------------------------------------------------------------ PEC displays

void Form1::UPDATE_PEC_Display() {
  if (PECflag == 0) CLEAR_PEC_DISPLAYS();
}

void Form1::CLEAR_PEC_DISPLAYS() {
  Label8[1].caption = "";
  Text8.text = "";
  Text8.back = colors::WindowBackground;
  for (int b = 0; b <= CARDSTACK; ++b) Shape12[b].fill = colors::WindowBackground;
}

void Form1::CLEAR_PEC_DISPLAYS_EB2250() {
  Label8[1].caption = "";
  Text8.text = "";
  Text8.back = colors::WindowBackground;
  Shape12[BRDnumber].fill = colors::WindowBackground;
}

void Form1::CLEAR_RDCVflag() {
  for (int b = 0; b <= CARDSTACK; ++b) RDCVvalid[static_cast<size_t>(b)] = 0;
}

void Form1::CLEAR_RDCFGRflag() {
  for (int b = 0; b <= CARDSTACK; ++b) RDCFGvalid[static_cast<size_t>(b)] = 0;
}

void Form1::CLEAR_RDTMPflag_EB2250() {
  if (BCASTflag_STTMPAD[static_cast<size_t>(BRDnumber)] == 1) {
    for (int b = 0; b <= CARDSTACK; ++b) RDTMPvalid[static_cast<size_t>(b)] = 0;
  } else {
    RDTMPvalid[static_cast<size_t>(BRDnumber)] = 0;
  }
}

}  // namespace eb
