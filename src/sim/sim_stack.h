// The simulated stack: the bridge's firmware (command-string interpreter),
// one SPI bus, and sixteen chip slots at addresses 0x80 .. 0x8F.
//
// Command strings are taken character by character:
//   "IZ"    identify: appends "ZQM4417-2 UB774B SIMULATED STACK\r\n"
//   "MS"    select the SPI bus (ends the parked state of "MI")
//   "MI"    park the SPI lines high (chip select raised, the bus is ignored
//           until the next "MS"; T and R read "FF" meanwhile)
//   "x"     lower chip select: a new frame starts (a frame still open is
//           ended first)
//   "X"     raise chip select: the chips act on the frame they received
//   "Shh"   clock byte hh out, nothing is replied
//   "Thh"   clock byte hh out, reply the byte read back as two hex characters
//   "R"     clock one byte in (0xFF out), reply it as two hex characters
// Anything else is skipped and counted (Counters().badCharacters).
//
// A frame whose first byte is 0x80..0x8F addresses that chip and the second
// byte is the command; any other first byte is a command to every chip.
// After a read command the addressed chip drives its register group and PEC
// onto the bus; every other byte reads 0xFF. Writes and conversions take
// effect when the frame ends. The poll commands (0x40, 0x50) may leave chip
// select low; reading after them gives 0xFF (conversion done) and, for the
// interrupt poll, 0x00 while an under- or over-voltage flag is set.
//
// Simulated time advances per transaction (1 ms), per character written or
// read (0.1 ms), by each conversion's duration and by the read time-out when
// a read gets fewer characters than it asked for (a line read that ends with
// its CR LF waits for nothing more). Discharge and drift run on
// this clock, so a seed and a command sequence always give the same results.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_chip.h"
#include "sim/sim_settings.h"

namespace eb {

struct SimCounters {
  std::uint64_t opens = 0;         // transactions begun (Open calls)
  std::uint64_t refusedOpens = 0;  // Open calls refused while unplugged
  std::uint64_t commands = 0;      // command strings executed
  std::uint64_t charactersWritten = 0;
  std::uint64_t charactersRead = 0;  // delivered to the reader
  std::uint64_t identifies = 0;
  std::uint64_t frames = 0;         // frames ended (chip select raised)
  std::uint64_t registerReads = 0;  // read commands a chip answered
  std::uint64_t conversions = 0;    // conversion commands carried out (per chip)
  std::uint64_t configWrites = 0;   // configurations stored (per chip)
  std::uint64_t pecErrorsInjected = 0;
  std::uint64_t badCharacters = 0;
  std::uint64_t ignoredWhileParked = 0;
};

class SimStack {
 public:
  static constexpr std::string_view kIdentity = "ZQM4417-2 UB774B SIMULATED STACK\r\n";
  static constexpr double kTransactionSeconds = 0.001;
  static constexpr double kCharacterSeconds = 0.0001;
  static constexpr double kCellConversionSeconds = 0.013;
  static constexpr double kSingleCellConversionSeconds = 0.002;
  static constexpr double kOpenWireConversionSeconds = 0.026;
  static constexpr double kTempConversionSeconds = 0.004;
  static constexpr double kSingleTempConversionSeconds = 0.0015;

  explicit SimStack(const SimSettings& settings = SimSettings{});

  // --- bridge side ----------------------------------------------------------
  // A transaction begins; false while unplugged (nothing answers).
  bool BeginTransaction();
  // Interprets one command string, appending reply characters to *reply.
  void Execute(std::string_view command, std::string* reply);
  // A read delivered `delivered` of `wanted` characters with read time-out
  // `readMs`: advances the clock accordingly.
  void AccountRead(std::size_t delivered, std::size_t wanted, int readMs);

  // --- run-time changes -----------------------------------------------------
  // Words after "sim" in an operator script; the commands, their usage and
  // what each does are the rows of kCommands (sim_stack.cpp). Returns "" on
  // success, otherwise what is wrong in one line (the words it quotes are
  // short printable excerpts).
  std::string ApplyCommand(const std::vector<std::string>& words);

  // One "sim" command of an operator script: its word, its usage line (the
  // error messages quote it), what it does (the script usage lists it), and
  // the handler that checks the words and applies it.
  struct Command {
    const char* name;
    const char* usage;
    const char* help;
    std::string (SimStack::*handler)(const Command& command, const std::vector<std::string>& words);
  };
  // The rows of the "sim" commands, in the order of the usage text.
  static std::span<const Command> Commands();

  // --- inspection and tests ---------------------------------------------------
  SimChip& Chip(int board) { return chips_[static_cast<std::size_t>(board)]; }
  const SimChip& Chip(int board) const { return chips_[static_cast<std::size_t>(board)]; }
  // Brings a chip's analogue side up to the current simulated time.
  void Settle(int board);
  const SimSettings& Settings() const { return settings_; }
  const SimCounters& Counters() const { return counters_; }
  bool Parked() const { return parked_; }
  bool ChipSelectLow() const { return csLow_; }
  bool Unplugged() const { return unplugged_; }
  double PecErrorRate() const { return pecErrors_; }
  double Now() const { return now_; }
  void Advance(double seconds);
  std::string Describe() const { return DescribeSimSettings(settings_); }

 private:
  // One command at the front of rest (S/T hh: InterpretByte); returns the
  // characters it took.
  std::size_t Interpret(std::string_view rest, std::string* reply);
  std::size_t InterpretByte(std::string_view rest, std::string* reply);
  // The byte clocked out for mosi, or 0xFF (counted) while parked.
  std::uint8_t ClockUnlessParked(std::uint8_t mosi);
  std::uint8_t Clock(std::uint8_t mosi);
  void StartFrame();
  void EndFrame();
  void OnCommandByte();
  void Convert(int target, std::uint8_t command);

  static const Command kCommands[9];
  // The command names, separated by ", " and the last by `lastSeparator`.
  static std::string CommandNames(const char* lastSeparator);
  std::string PinReading(const Command& command, const std::vector<std::string>& words);
  std::string SetChipFlag(const Command& command, const std::vector<std::string>& words);
  std::string SetOpenWire(const Command& command, const std::vector<std::string>& words);
  std::string SetPecErrors(const Command& command, const std::vector<std::string>& words);
  std::string SetPlugged(const Command& command, const std::vector<std::string>& words);

  SimSettings settings_;
  SimRandom random_;
  std::array<SimChip, kSimSlots> chips_{};
  double pecErrors_ = 0;
  double now_ = 0;
  bool unplugged_ = false;
  bool parked_ = false;
  bool csLow_ = false;

  // The frame being received.
  int frameBytes_ = 0;
  int target_ = -1;  // addressed slot, -1 for a command to every chip
  bool haveCommand_ = false;
  std::uint8_t command_ = 0;
  std::array<std::uint8_t, 6> data_{};
  int dataBytes_ = 0;
  // What the bus returns on the following clocks.
  std::array<std::uint8_t, kSimMaxReadout> out_{};
  int outLength_ = 0;
  int outPos_ = 0;
  bool stuckLow_ = false;  // an all-zeros chip keeps driving 0x00
  int pollValue_ = -1;     // after a poll command: what the bus reads

  SimCounters counters_;
};

}  // namespace eb
