// Addressed register reads with PEC check and retry: configuration, cell
// voltages, flags and temperatures of one board. The four reads run one
// algorithm; what tells them apart is the RegisterKind of each.
#include <optional>

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

// A board that does not answer leaves the data line high: every character
// reads as F, so the received PEC is 0xFF and the calculated one is that of
// all-0xFF register bytes.
constexpr I16 kNoAnswerReceived = 0xFF;
constexpr I16 kConfigNoAnswerCalculated = 0x48;

using Procedure = Form1::Procedure;

// Which board a read addresses: always the selected one, or ReadBoard()
// (the selected one when idle, the one being cycled while reading runs).
enum class Board { Selected, Cycled };

// Rules in which the kinds of read differ; RegisterKind combines them.
enum Rule : unsigned {
  // Local comparison: received = calculated = 0x00 is shown red.
  kZeroShownRed = 1u << 0,
  // Overall comparison: an all-zero reply counts as an absent board only
  // while the board's configuration is not valid.
  kZerosOnlyWithoutConfig = 1u << 1,
  // Overall comparison: the valid flag is cleared while the board's
  // configuration is not valid.
  kValidNeedsConfig = 1u << 2,
  // Status adjustment: a matching PEC on a board whose configuration is not
  // valid gives status 0 (white lamp).
  kStatusNeedsConfig = 1u << 3,
  // Reply of all zeros: what a chip with no flag set answers, so it counts
  // as no answer only while the board's cells gave no reading either.
  kZerosAreClearFlags = 1u << 4,
};

// One kind of register read: its command, where its reply and results go,
// and the rules in which the four reads differ.
struct RegisterKind {
  struct Command {
    const char* tail;   // after "MSxT" and the board address
    int registerBytes;  // the reply length follows from it
    Board board;
    ReplyBuffer Form1::*reply;
  } command;
  struct Retry {
    Procedure restartConversion;  // before the next attempt; nullptr: none
    const char* giveUpWhat;       // named in the give-up message
  } retry;
  struct Presence {
    BoardFlags Form1::*valid;  // nullptr: the read keeps no valid flag
    // Calculated PEC that, with a received 0xFF, means no answer; empty
    // when a received 0xFF means no answer whatever was calculated.
    std::optional<I16> noAnswerCalculated;
    unsigned rules;  // Rule bits
  } presence;
  struct Images {
    Procedure cut;        // reply into the register image and received PEC
    Procedure calculate;  // calculated PEC of the image
  } images;
  struct Pecs {
    BoardFlags Form1::*received;
    BoardFlags Form1::*calculated;
    I16 Form1::*accepted;       // -1 accepted, 0 rejected for a retry
    BoardFlags Form1::*answer;  // how the last read ended (ReadAnswer)
  } pecs;
  struct Local {
    const char* caption;  // Label8(1)
    I16 pecFlag;          // PECflag
  } local;
  void (*decode)(Form1& f, int board);  // on acceptance
};

// Fill of a board's PEC lamp for its PECstatus.
Rgb LampColour(int status) {
  switch (status) {
    case kLampPecMatch: return colors::Green;
    case kLampPecError: return colors::Red;
    case kLampShutdown: return colors::Orange;
    default: return colors::White;
  }
}

// Register bytes of board x as two hex digits each, "??" for an unreadable one.
template <int N>
void ShowRegisterBytes(const RegisterImage<N>& image, const PerBoard<std::uint32_t>& bad, int x,
                       const std::array<BoardTexts*, N>& texts) {
  auto i = static_cast<size_t>(x);
  for (int k = 0; k < N; ++k) {
    bool unreadable = (bad[i] >> k) & 1u;
    auto byte = image[static_cast<size_t>(k)][i];
    (*texts[static_cast<size_t>(k)])[i] = unreadable ? std::string("??") : ByteHex(byte);
  }
}

// Packed readings 0 … count-1 of board x into CELLhex and CELLvolt from
// index `first` on: the hex text from the reply, the volts from the image.
// The image is padded with zero bytes to whole reading pairs.
template <int N>
void StoreReadings(Form1& f, const RegisterImage<N>& image, const PerBoard<std::uint32_t>& bad,
                   const ReplyBuffer& reply, int x, size_t first, int count) {
  auto i = static_cast<size_t>(x);
  std::array<std::uint8_t, 3 * ((N + 2) / 3)> bytes{};
  for (int k = 0; k < N; ++k) bytes[static_cast<size_t>(k)] = image[static_cast<size_t>(k)][i];
  for (int n = 0; n < count; ++n) {
    const size_t at = first + static_cast<size_t>(n);
    f.CELLhex[at] = PackedReadingText(reply.data(), n, reply.delivered);
    f.CELLvolt[at] = CountToVolts(PackedReading(bytes.data(), bad[i], n));
  }
}

// ------------------------------------------------------------ configuration

void DecodeConfig(Form1& f, int x) {
  auto i = static_cast<size_t>(x);
  ShowRegisterBytes<kCfgBytes>(
      f.CFGRbyte, f.CFGRbad, x,
      {&f.CFGR0rd, &f.CFGR1rd, &f.CFGR2rd, &f.CFGR3rd, &f.CFGR4rd, &f.CFGR5rd});
  // A chip whose 10-cell bit and duty cycle are all 0 counts as not
  // present; so does an unreadable CFGR0.
  bool noAnswer =
      f.PECchip_RDCFG[i] == kNoAnswerReceived && f.PECcalc_RDCFG[i] == kConfigNoAnswerCalculated;
  bool cfgr0Readable = (f.CFGRbad[i] & 1u) == 0;
  if (cfgr0Readable && (f.CFGRbyte[0][i] & 0x0F) != 0 && !noAnswer) {
    f.RDCFGvalid[i] = 1;
  } else {
    f.RDCFGvalid[i] = 0;
    f.RDTMPvalid[i] = 0;
  }
  f.RDCFGflag = 1;
  f.DISPLAY_RDCFG();
  f.READ_VUV_VOV();
}

constexpr RegisterKind kConfigRead{
    .command = {"T02RRRRRRRX", kCfgBytes, Board::Selected, &Form1::RDCFGreply},
    .retry = {nullptr, "READ CONFIG"},
    .presence = {&Form1::RDCFGvalid, kConfigNoAnswerCalculated, kZeroShownRed},
    .images = {&Form1::PEC_Create_CFGRbyte_array_ADDR_RevC, &Form1::PEC_GUI_RDCFG_Calc_ADDR_RevC},
    .pecs = {&Form1::PECchip_RDCFG, &Form1::PECcalc_RDCFG, &Form1::PEC_RDCFG, &Form1::RDCFGanswer},
    .local = {"Command = 02 RDCFG", 1},
    .decode = DecodeConfig};

// ------------------------------------------------------------ cell voltages

void DecodeCells(Form1& f, int x) {
  StoreReadings<kCvBytes>(f, f.CVRbyte, f.CVRbad, f.RDCVreply, x, CellVoltIndex(x, 1), 12);
  f.Single_12CELL_Display();
}

constexpr RegisterKind kCellRead{
    .command = {"T04RRRRRRRRRRRRRRRRRRRX", kCvBytes, Board::Cycled, &Form1::RDCVreply},
    .retry = {&Form1::STCVAD_BROADCAST_RevC, "READ CELL VOLTAGE"},
    .presence = {&Form1::RDCVvalid, 0xB2, kStatusNeedsConfig},
    .images = {&Form1::PEC_Create_CVRbyte_array_ADDR_RevC, &Form1::PEC_GUI_RDCV_Calc_ADDR_RevC},
    .pecs = {&Form1::PECchip_RDCV, &Form1::PECcalc_RDCV, &Form1::PEC_RDCV, &Form1::RDCVanswer},
    .local = {"Command = 04 RDCV", 2},
    .decode = DecodeCells};

// ------------------------------------------------------------ flags

void DecodeFlags(Form1& f, int x) {
  ShowRegisterBytes<kFlgBytes>(f.FLGRbyte, f.FLGRbad, x, {&f.FLGR0rd, &f.FLGR1rd, &f.FLGR2rd});
  f.UPDATE_RDFLG_Display();
}

constexpr RegisterKind kFlagRead{
    .command = {"T06RRRRX", kFlgBytes, Board::Cycled, &Form1::RDFLGreply},
    .retry = {nullptr, "READ FLAG"},
    .presence = {nullptr, 0x0F, kZerosOnlyWithoutConfig | kStatusNeedsConfig | kZerosAreClearFlags},
    .images = {&Form1::PEC_Create_FLGRbyte_array_ADDR_RevC, &Form1::PEC_GUI_RDFLG_Calc_ADDR_RevC},
    .pecs = {&Form1::PECchip_RDFLG, &Form1::PECcalc_RDFLG, &Form1::PEC_RDFLG, &Form1::RDFLGanswer},
    .local = {"Command = 06 RDFLG", 3},
    .decode = DecodeFlags};

// ------------------------------------------------------------ temperatures

void DecodeTemps(Form1& f, int x) {
  auto i = static_cast<size_t>(x);
  // ETMP1, ETMP2 are packed reading 0 and 1, ITMP is packed reading 2.
  StoreReadings<kTmpBytes>(f, f.TMPRbyte, f.TMPRbad, f.RDTMPreply, x, TempIndex(x, 1), 3);
  // The status bits are believed only from a reply whose PEC matched.
  if (f.PECchip_RDTMP[i] == f.PECcalc_RDTMP[i]) {
    f.THSDbit[i] = static_cast<I16>(ThermalShutdownBit(f.TMPRbyte[4][i]));
    f.REVcode[i] = static_cast<I16>(RevisionCode(f.TMPRbyte[4][i]));
  }
  f.UPDATE_RDTMP_Display();
}

constexpr RegisterKind kTempRead{
    .command = {"T08RRRRRRX", kTmpBytes, Board::Cycled, &Form1::RDTMPreply},
    .retry = {&Form1::STTMPAD_BROADCAST_RevC, "READ TEMP"},
    .presence = {&Form1::RDTMPvalid, std::nullopt, kValidNeedsConfig | kStatusNeedsConfig},
    .images = {&Form1::PEC_Create_TMPRbyte_array_ADDR_RevC, &Form1::PEC_GUI_RDTMP_Calc_ADDR_RevC},
    .pecs = {&Form1::PECchip_RDTMP, &Form1::PECcalc_RDTMP, &Form1::PEC_RDTMP, &Form1::RDTMPanswer},
    .local = {"Command = 08 RDTMP", 4},
    .decode = DecodeTemps};

// ------------------------------------------------------------ the algorithm

int BoardOf(const Form1& f, const RegisterKind& kind) {
  return kind.command.board == Board::Selected ? f.BRDnumber : f.ReadBoard();
}

bool Has(const RegisterKind& kind, Rule rule) { return (kind.presence.rules & rule) != 0; }

void SetValid(Form1& f, const RegisterKind& kind, size_t i, I16 value) {
  if (kind.presence.valid != nullptr) (f.*kind.presence.valid)[i] = value;
}

bool NoAnswer(const RegisterKind& kind, I16 received, I16 calculated) {
  const std::optional<I16>& expected = kind.presence.noAnswerCalculated;
  return received == kNoAnswerReceived && (!expected || calculated == *expected);
}

// True when every register byte and the PEC of the reply just read arrived
// as the hex digit `digit` ("FF…" when no chip drives the bus, "00…" when a
// chip answers all zeros). The PEC pair alone cannot tell: a real reply
// whose PEC happens to be 0x00 (one in 256) would count as an absent board.
bool WholeReplyIs(const Form1& f, const RegisterKind& kind, char digit) {
  const ReplyBuffer& reply = f.*kind.command.reply;
  const auto length = static_cast<std::size_t>(ReplyLength(kind.command.registerBytes));
  if (reply.delivered < length) return false;
  for (std::size_t k = 4; k < length; ++k) {
    char c = reply.text[k];
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (c != digit) return false;
  }
  return true;
}

// How an accepted reply of board x counts: a reply that is not whole, or
// whose every character is F (no chip drives the bus) or 0 (a chip answering
// zeros), is no answer, whatever its PEC comparison said.
ReadAnswer AnswerOf(const Form1& f, const RegisterKind& kind, int x) {
  auto i = static_cast<size_t>(x);
  const auto length = static_cast<std::size_t>(ReplyLength(kind.command.registerBytes));
  const bool zeros =
      WholeReplyIs(f, kind, '0') && (!Has(kind, kZerosAreClearFlags) || f.RDCVvalid[i] == 0);
  if ((f.*kind.command.reply).delivered < length || WholeReplyIs(f, kind, 'F') || zeros)
    return kNoAnswer;
  return (f.*kind.pecs.received)[i] == (f.*kind.pecs.calculated)[i] ? kPecMatched : kPecFailed;
}

// The local comparison: the two PECs of the selected board in Text8 and the
// command in Label8(1).
void CompareLocal(Form1& f, const RegisterKind& kind) {
  auto b = static_cast<size_t>(f.BRDnumber);
  const I16 chip = (f.*kind.pecs.received)[b], calc = (f.*kind.pecs.calculated)[b];
  I16& accepted = f.*kind.pecs.accepted;
  std::string received = PecHex(chip);
  std::string calculated = PecHex(calc);
  f.Label8[1].caption = "";
  f.Label8[1].caption = kind.local.caption;
  if (chip == calc) {
    // A configuration of all zeros (no duty cycle: no chip) shows red.
    const bool red = Has(kind, kZeroShownRed) && chip == 0 && WholeReplyIs(f, kind, '0');
    f.Text8.back = red ? colors::Red : colors::WindowBackground;
    f.Text8.text = "0x" + received + " == " + "0x" + calculated;
  } else {
    if (f.SINGLESHOTflag == 1) f.AUTORESTARTflag = 0;
    if (f.AUTORESTARTflag == 1) {
      accepted = 0;
    } else if (f.AUTORESTARTflag == 0) {
      accepted = -1;
      f.Text8.back = colors::Red;
      f.Text8.text = "0x" + received + " != " + "0x" + calculated;
    }
  }
  f.PECflag = kind.local.pecFlag;
}

// The overall comparison of the board read: a match lights green, a
// mismatch is accepted (red) or rejected for a retry according to the retry
// mode; a board that does not answer, or answers all zeros, is accepted as
// absent; then the status adjustment and the lamp colour.
void CompareOverall(Form1& f, const RegisterKind& kind) {
  const int x = BoardOf(f, kind);
  auto i = static_cast<size_t>(x);
  const I16 chip = (f.*kind.pecs.received)[i], calc = (f.*kind.pecs.calculated)[i];
  I16& accepted = f.*kind.pecs.accepted;

  if (chip == calc) {
    f.PECstatus[i] = kLampPecMatch;
  } else if (f.AUTORESTARTflag == 0) {
    accepted = -1;
    f.PECstatus[i] = kLampPecError;
  } else if (f.AUTORESTARTflag == 1) {
    accepted = 0;
  }

  const bool zeros = chip == 0x00 && calc == 0x00 && WholeReplyIs(f, kind, '0');
  if (NoAnswer(kind, chip, calc) && WholeReplyIs(f, kind, 'F')) {
    SetValid(f, kind, i, 0);
    accepted = -1;
    f.PECstatus[i] = kLampPecError;
  } else if (zeros && (!Has(kind, kZerosOnlyWithoutConfig) || f.RDCFGvalid[i] == 0)) {
    SetValid(f, kind, i, 0);
    accepted = -1;
    f.PECstatus[i] = kLampNoReading;
  } else {
    SetValid(f, kind, i, 1);
  }
  if (Has(kind, kValidNeedsConfig) && f.RDCFGvalid[i] == 0) SetValid(f, kind, i, 0);

  if (Has(kind, kStatusNeedsConfig) && chip == calc && f.RDCFGvalid[i] == 0)
    f.PECstatus[i] = kLampNoReading;
  if (f.THSDset[i] == 1) f.PECstatus[i] = kLampShutdown;
  f.Shape12[x].fill = LampColour(f.PECstatus[i]);
}

}  // namespace

void Form1::PEC_GUI_vs_4417_RDCFG_local_restart() { CompareLocal(*this, kConfigRead); }
void Form1::PEC_GUI_vs_4417_RDCV_local_restart() { CompareLocal(*this, kCellRead); }
void Form1::PEC_GUI_vs_4417_RDFLG_local_restart() { CompareLocal(*this, kFlagRead); }
void Form1::PEC_GUI_vs_4417_RDTMP_local_restart() { CompareLocal(*this, kTempRead); }

void Form1::PEC_GUI_vs_4417_RDCFG_overall_EB2250() { CompareOverall(*this, kConfigRead); }
void Form1::PEC_GUI_vs_4417_RDCV_overall_EB2250() { CompareOverall(*this, kCellRead); }
void Form1::PEC_GUI_vs_4417_RDFLG_overall_EB2250() { CompareOverall(*this, kFlagRead); }
void Form1::PEC_GUI_vs_4417_RDTMP_overall_EB2250() { CompareOverall(*this, kTempRead); }

namespace {

// Up to ten attempts: transaction, cut, calculated PEC, the local comparison
// when the board read is the selected one, the overall comparison, and on
// acceptance the decoding. A rejected attempt starts the conversion again
// (where the kind has one) before the next; after the last the read gives up
// and stops the reading that runs; a give-up while nothing runs starts none.
void RegisterRead(Form1& f, const RegisterKind& kind) {
  const int x = BoardOf(f, kind);
  I16& accepted = f.*kind.pecs.accepted;
  for (int n = 0; n < kAttempts; ++n) {
    accepted = -1;
    f.ReadTransaction("MSxT" + f.BRDaddress[static_cast<size_t>(x)] + kind.command.tail,
                      f.*kind.command.reply, ReplyLength(kind.command.registerBytes));
    (f.*kind.images.cut)();
    (f.*kind.images.calculate)();
    if (x == f.BRDnumber) CompareLocal(f, kind);
    if (accepted == -1) {
      CompareOverall(f, kind);
      if (accepted == -1) {
        (f.*kind.pecs.answer)[static_cast<size_t>(x)] = AnswerOf(f, kind, x);
        kind.decode(f, x);
        return;
      }
    }
    if (kind.retry.restartConversion != nullptr) (f.*kind.retry.restartConversion)();
  }
  f.MsgBox(std::string("Excessive ") + kind.retry.giveUpWhat + " Communication Errors! " +
           kGiveUpTail);
  (f.*kind.pecs.answer)[static_cast<size_t>(x)] = kNoAnswer;
  f.MEASURESKIPflag = 1;
  if (f.OnOff == 1) f.Command1_click(10);
}

}  // namespace

void Form1::RDCFG_ADDRESSABLE_RevC() { RegisterRead(*this, kConfigRead); }
void Form1::RDCV_ADDRESSABLE_RevC() { RegisterRead(*this, kCellRead); }
void Form1::RDFLG_ADDRESSABLE_RevC() { RegisterRead(*this, kFlagRead); }
void Form1::RDTMP_ADDRESSABLE_RevC() { RegisterRead(*this, kTempRead); }

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
