#include "sim/sim_stack.h"

#include <algorithm>

#include "link/printable.h"
#include "sim/sim_text.h"

namespace eb {

using namespace simchip;

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendHex(std::string* reply, std::uint8_t byte) {
  reply->push_back(kHexDigits[byte >> 4]);
  reply->push_back(kHexDigits[byte & 0x0F]);
}

bool IsReadCommand(std::uint8_t c) {
  return c == kRDCFG || c == kRDCV || c == kRDFLG || c == kRDTMP;
}

bool IsConversionCommand(std::uint8_t c) {
  const unsigned hi = c & 0xF0u;
  return hi == kSTCVAD || hi == kSTOWAD || hi == kSTTMPAD || hi == kSTCVDC || hi == kSTOWDC;
}

double ConversionSeconds(std::uint8_t c) {
  const unsigned hi = c & 0xF0u;
  const int lo = c & 0x0F;
  const bool single = lo >= 1 && lo <= 12;
  switch (hi) {
    case kSTCVAD:
    case kSTCVDC:
      return single ? SimStack::kSingleCellConversionSeconds : SimStack::kCellConversionSeconds;
    case kSTOWAD:
    case kSTOWDC:
      return single ? 2 * SimStack::kSingleCellConversionSeconds
                    : SimStack::kOpenWireConversionSeconds;
    default:
      return (lo >= 1 && lo <= 3) ? SimStack::kSingleTempConversionSeconds
                                  : SimStack::kTempConversionSeconds;
  }
}

}  // namespace

SimStack::SimStack(const SimSettings& settings)
    : settings_(settings), random_(settings.seed), pecErrors_(settings.pecErrors) {
  for (int b = 0; b < kSimSlots; ++b)
    chips_[static_cast<std::size_t>(b)].Init(b, settings, random_);
}

bool SimStack::BeginTransaction() {
  if (unplugged_) {
    ++counters_.refusedOpens;
    return false;
  }
  ++counters_.opens;
  now_ += kTransactionSeconds;
  return true;
}

void SimStack::AccountRead(std::size_t delivered, std::size_t wanted, int readMs) {
  counters_.charactersRead += delivered;
  now_ += static_cast<double>(delivered) * kCharacterSeconds;
  if (delivered < wanted && readMs > 0) now_ += readMs / 1000.0;
}

void SimStack::Advance(double seconds) {
  if (seconds > 0) now_ += seconds;
}

void SimStack::Settle(int board) {
  chips_[static_cast<std::size_t>(board)].Evolve(now_, random_, settings_.noise);
}

void SimStack::Execute(std::string_view command, std::string* reply) {
  ++counters_.commands;
  counters_.charactersWritten += command.size();
  now_ += static_cast<double>(command.size()) * kCharacterSeconds;

  std::size_t i = 0;
  while (i < command.size()) i += Interpret(command.substr(i), reply);
}

std::size_t SimStack::Interpret(std::string_view rest, std::string* reply) {
  const char c = rest[0];
  const char next = rest.size() > 1 ? rest[1] : '\0';
  switch (c) {
    case 'I':
      if (next == 'Z') {
        ++counters_.identifies;
        reply->append(kIdentity);
        return 2;
      }
      break;
    case 'M':
      if (next == 'S') {
        parked_ = false;
        return 2;
      }
      if (next == 'I') {
        EndFrame();
        parked_ = true;
        return 2;
      }
      break;
    case 'x':
      if (parked_) {
        ++counters_.ignoredWhileParked;
      } else {
        EndFrame();
        StartFrame();
      }
      return 1;
    case 'X':
      if (parked_) {
        ++counters_.ignoredWhileParked;
      } else {
        EndFrame();
      }
      return 1;
    case 'S':
    case 'T': return InterpretByte(rest, reply);
    case 'R': AppendHex(reply, ClockUnlessParked(0xFF)); return 1;
    default: break;
  }
  ++counters_.badCharacters;
  return 1;
}

std::size_t SimStack::InterpretByte(std::string_view rest, std::string* reply) {
  const bool complete = rest.size() > 2;
  const int h = complete ? HexValue(rest[1]) : -1;
  const int l = complete ? HexValue(rest[2]) : -1;
  if (h < 0 || l < 0) {
    ++counters_.badCharacters;
    return 1;
  }
  const std::uint8_t miso = ClockUnlessParked(static_cast<std::uint8_t>(h * 16 + l));
  if (rest[0] == 'T') AppendHex(reply, miso);
  return 3;
}

std::uint8_t SimStack::ClockUnlessParked(std::uint8_t mosi) {
  if (parked_) {
    ++counters_.ignoredWhileParked;
    return 0xFF;
  }
  return Clock(mosi);
}

void SimStack::StartFrame() {
  csLow_ = true;
  frameBytes_ = 0;
  target_ = -1;
  haveCommand_ = false;
  command_ = 0;
  dataBytes_ = 0;
  outLength_ = 0;
  outPos_ = 0;
  stuckLow_ = false;
  pollValue_ = -1;
}

std::uint8_t SimStack::Clock(std::uint8_t mosi) {
  if (!csLow_) return 0xFF;  // no chip listens with chip select high
  std::uint8_t miso = 0xFF;
  if (outPos_ < outLength_) {
    miso = out_[static_cast<std::size_t>(outPos_++)];
  } else if (stuckLow_) {
    miso = 0x00;
  } else if (pollValue_ >= 0) {
    miso = static_cast<std::uint8_t>(pollValue_);
  }

  const int index = frameBytes_++;
  if (index == 0) {
    if (mosi >= 0x80 && mosi <= 0x8F) {
      target_ = mosi & 0x0F;
    } else {
      target_ = -1;
      command_ = mosi;
      OnCommandByte();
    }
  } else if (index == 1 && target_ >= 0) {
    command_ = mosi;
    OnCommandByte();
  } else if (haveCommand_ && command_ == kWRCFG && dataBytes_ < 6) {
    data_[static_cast<std::size_t>(dataBytes_++)] = mosi;
  }
  return miso;
}

void SimStack::OnCommandByte() {
  haveCommand_ = true;
  if (IsReadCommand(command_)) {
    // Reads are addressed; a read sent to every chip finds nobody driving.
    if (target_ < 0) return;
    const SimChip& chip = chips_[static_cast<std::size_t>(target_)];
    if (!chip.present) return;
    outLength_ = chip.Readout(command_, out_.data());
    outPos_ = 0;
    stuckLow_ = chip.zeros;
    ++counters_.registerReads;
    if (!chip.zeros && random_.Chance(pecErrors_)) {
      const auto flip = static_cast<std::uint8_t>(1 + random_.Next() % 255);
      out_[static_cast<std::size_t>(outLength_ - 1)] ^= flip;
      ++counters_.pecErrorsInjected;
    }
  } else if (command_ == kPLINT) {
    bool pending = false;
    for (const SimChip& chip : chips_) {
      if (!chip.present || (target_ >= 0 && chip.Slot() != target_)) continue;
      pending = pending || chip.InterruptPending();
    }
    pollValue_ = pending ? 0x00 : 0xFF;
  } else if (command_ == kPLADC) {
    pollValue_ = 0xFF;  // conversions are finished by the time anyone polls
  }
}

void SimStack::EndFrame() {
  if (!csLow_) return;
  csLow_ = false;
  ++counters_.frames;
  if (haveCommand_) {
    if (command_ == kWRCFG) {
      if (dataBytes_ >= 6) {
        for (SimChip& chip : chips_) {
          if (!chip.present || (target_ >= 0 && chip.Slot() != target_)) continue;
          Settle(chip.Slot());
          chip.WriteConfig(data_.data());
          ++counters_.configWrites;
        }
      }
    } else if (IsConversionCommand(command_)) {
      Convert(target_, command_);
    }
  }
  frameBytes_ = 0;
  target_ = -1;
  haveCommand_ = false;
  dataBytes_ = 0;
  outLength_ = 0;
  outPos_ = 0;
  stuckLow_ = false;
  pollValue_ = -1;
}

void SimStack::Convert(int target, std::uint8_t command) {
  bool any = false;
  for (SimChip& chip : chips_) {
    if (!chip.present || (target >= 0 && chip.Slot() != target)) continue;
    Settle(chip.Slot());
    if (chip.Convert(command, random_, settings_.noise)) {
      ++counters_.conversions;
      any = true;
    }
  }
  if (any) now_ += ConversionSeconds(command);
}

namespace {

bool ParseBoard(const std::string& text, int* board) {
  return simtext::ParseIntIn(text, 0, kSimSlots - 1, board);
}

bool ParseFlag(const std::string& text, bool* on) {
  if (text == "0" || text == "1") {
    *on = text == "1";
    return true;
  }
  return false;
}

}  // namespace

const SimStack::Command SimStack::kCommands[] = {
    {"cell", "usage: sim cell BOARD CELL VOLTS (board 0 .. 15, cell 1 .. 12)",
     "pin the cell's reading at VOLTS", &SimStack::PinReading},
    {"temp", "usage: sim temp BOARD INPUT VOLTS (board 0 .. 15, input 1 ETMP1, 2 ETMP2, 3 ITMP)",
     "pin the temperature input's reading at VOLTS", &SimStack::PinReading},
    {"missing", "usage: sim missing BOARD 0|1 (board 0 .. 15)",
     "1 removes the chip, 0 powers a fresh one up", &SimStack::SetChipFlag},
    {"zeros", "usage: sim zeros BOARD 0|1 (board 0 .. 15)",
     "the chip answers every read byte with 0x00", &SimStack::SetChipFlag},
    {"thsd", "usage: sim thsd BOARD 0|1 (board 0 .. 15)", "the chip's thermal shutdown bit",
     &SimStack::SetChipFlag},
    {"open", "usage: sim open BOARD CELL 0|1 (board 0 .. 15, cell 1 .. 12)",
     "an open wire on the cell", &SimStack::SetOpenWire},
    {"pec-errors", "usage: sim pec-errors RATE (0 .. 1)",
     "probability of a wrong PEC on a register read", &SimStack::SetPecErrors},
    {"unplug", "usage: sim unplug", "the bridge stops answering", &SimStack::SetPlugged},
    {"replug", "usage: sim replug", "the bridge starts answering again", &SimStack::SetPlugged},
};

std::span<const SimStack::Command> SimStack::Commands() { return kCommands; }

std::string SimStack::CommandNames(const char* lastSeparator) {
  std::string names;
  const std::size_t n = std::size(kCommands);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) names += i + 1 == n ? lastSeparator : ", ";
    names += kCommands[i].name;
  }
  return names;
}

// cell B C VOLTS, temp B K VOLTS
std::string SimStack::PinReading(const Command& command, const std::vector<std::string>& words) {
  const std::string what = command.name;
  const bool cell = what == "cell";
  const std::string usage = command.usage;
  if (words.size() != 4) return "sim " + what + ": " + usage;
  int board = 0;
  int index = 0;
  double volts = 0;
  if (!ParseBoard(words[1], &board))
    return "sim " + what + ": bad board '" + Excerpt(words[1]) + "'; " + usage;
  if (!simtext::ParseIntIn(words[2], 1, cell ? kSimCells : 3, &index)) {
    return "sim " + what + ": bad " + (cell ? "cell" : "input") + " '" + Excerpt(words[2]) + "'; " +
           usage;
  }
  if (!simtext::ParseDouble(words[3], &volts) || volts < 0 || volts > 10) {
    return "sim " + what + ": bad voltage '" + Excerpt(words[3]) + "' (0 .. 10 V); " + usage;
  }
  Settle(board);
  if (cell) {
    chips_[static_cast<std::size_t>(board)].PinCell(index, volts);
  } else {
    chips_[static_cast<std::size_t>(board)].PinTemp(index, volts);
  }
  return "";
}

// missing B 0|1, zeros B 0|1, thsd B 0|1
std::string SimStack::SetChipFlag(const Command& command, const std::vector<std::string>& words) {
  const std::string what = command.name;
  const std::string usage = command.usage;
  int board = 0;
  bool on = false;
  if (words.size() != 3) return "sim " + what + ": " + usage;
  if (!ParseBoard(words[1], &board))
    return "sim " + what + ": bad board '" + Excerpt(words[1]) + "'; " + usage;
  if (!ParseFlag(words[2], &on))
    return "sim " + what + ": expected 0 or 1, got '" + Excerpt(words[2]) + "'";
  SimChip& chip = chips_[static_cast<std::size_t>(board)];
  Settle(board);
  if (what == "missing") {
    if (on) {
      chip.present = false;
    } else if (!chip.present) {
      chip.present = true;  // a freshly powered chip
      chip.PowerUp();
    }
  } else if (what == "zeros") {
    chip.zeros = on;
  } else {
    chip.thsd = on;
  }
  return "";
}

// open B C 0|1
std::string SimStack::SetOpenWire(const Command& command, const std::vector<std::string>& words) {
  const std::string usage = command.usage;
  int board = 0;
  int cell = 0;
  bool on = false;
  if (words.size() != 4) return "sim open: " + usage;
  if (!ParseBoard(words[1], &board))
    return "sim open: bad board '" + Excerpt(words[1]) + "'; " + usage;
  if (!simtext::ParseIntIn(words[2], 1, kSimCells, &cell)) {
    return "sim open: bad cell '" + Excerpt(words[2]) + "'; " + usage;
  }
  if (!ParseFlag(words[3], &on))
    return "sim open: expected 0 or 1, got '" + Excerpt(words[3]) + "'";
  SimChip& chip = chips_[static_cast<std::size_t>(board)];
  const auto bit = static_cast<std::uint16_t>(1u << (cell - 1));
  chip.openWires =
      static_cast<std::uint16_t>(on ? (chip.openWires | bit) : (chip.openWires & ~bit));
  return "";
}

// pec-errors RATE
std::string SimStack::SetPecErrors(const Command& command, const std::vector<std::string>& words) {
  double rate = 0;
  if (words.size() != 2) return std::string("sim pec-errors: ") + command.usage;
  if (!simtext::ParseDouble(words[1], &rate) || rate < 0 || rate > 1) {
    return "sim pec-errors: bad rate '" + Excerpt(words[1]) + "' (a probability 0 .. 1)";
  }
  pecErrors_ = rate;
  return "";
}

// unplug, replug
std::string SimStack::SetPlugged(const Command& command, const std::vector<std::string>& words) {
  const std::string what = command.name;
  if (words.size() != 1) return "sim " + what + ": takes no arguments";
  unplugged_ = what == "unplug";
  return "";
}

std::string SimStack::ApplyCommand(const std::vector<std::string>& words) {
  if (words.empty()) return "sim: missing command (" + CommandNames(", ") + ")";
  for (const Command& command : kCommands) {
    if (words[0] == command.name) return (this->*command.handler)(command, words);
  }
  return "sim: unknown command '" + Excerpt(words[0]) + "' (expected " + CommandNames(" or ") + ")";
}

}  // namespace eb
