// One board's reading at the end of a pass of the measurement cycle over
// it, as plain data: what a recording stores and a publisher sends. The
// window produces it (window/sample_tap.h); sinks take it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace eb {

constexpr int kSampleCells = 12;
constexpr int kSampleTemps = 3;

// How the last read of one kind from the board ended.
enum class ReadOutcome : std::uint8_t {
  kUnread,    // no read of that kind since start-up
  kMatch,     // accepted, its PEC matched
  kMismatch,  // accepted although its PEC did not match
  kNone,      // no usable answer, or a read that gave up
};

// "unread", "match", "mismatch", "none".
const char* OutcomeWord(ReadOutcome outcome);
// The outcome a word names; kUnread for any other text.
ReadOutcome OutcomeOfWord(const std::string& word);

struct BoardSample {
  std::int64_t ms = 0;  // time of the tick that finished the pass, ms since the epoch (UTC)
  int board = 1;        // 1 … 10, as the window numbers its boards
  int address = 0;      // 0 … 15
  // The board's configuration read back, its flag registers and its
  // thresholds, as the datalog writes them ("E1, 00, 00, 00, 00, 00.",
  // "00, 00, 00", " 2.112", …).
  std::string cfgr, flgr, vuv, vov;
  // Volts; NaN where there is no believable reading (the trend's gaps).
  std::array<double, kSampleCells> cells{};
  std::array<double, kSampleTemps> temps{};      // ETMP1, ETMP2, ITMP
  std::array<std::string, kSampleCells> status;  // two-letter codes, "GD", "OV", …
  ReadOutcome cfgrRead = ReadOutcome::kUnread, flgrRead = ReadOutcome::kUnread,
              cvRead = ReadOutcome::kUnread, tmpRead = ReadOutcome::kUnread;

  // The twelve codes as the datalog writes them: "GD, GD, OV, …".
  std::string StatusText() const;
};

// One board of the stack's configuration: what is to be written to it.
struct BoardConfig {
  int board = 1;     // 1 … 10
  int address = 0;   // 0 … 15
  std::string cfgr;  // the six bytes to be written, "E1, 00, 00, 00, 00, 00"
  double vuv = NAN;  // thresholds in volts; NaN for 0, which the chip does not compare
  double vov = NAN;
  bool operator==(const BoardConfig& o) const;
};

struct StackConfig {
  std::int64_t ms = 0;  // when it was taken
  std::vector<BoardConfig> boards;
  // The window's setup as a setup file holds it (window/setup.h): beyond the
  // boards' configurations also the scope, the selected board and the
  // broadcast choices of the start and poll commands.
  std::string setup;
  // Same boards, same settings, same setup (the time is not compared). The
  // setup counts: a change of the scope or of a broadcast choice changes
  // what the stack is told although no board's configuration changes, and
  // a sink is to hear of it.
  bool SameAs(const StackConfig& o) const { return boards == o.boards && setup == o.setup; }
};

// Takes the samples of the measurement cycle as they are made.
class SampleSink {
 public:
  virtual ~SampleSink() = default;
  // One board's sample, after each completed pass over that board.
  virtual void Sample(const BoardSample& sample) = 0;
  // The stack's configuration: when the sink is attached and at each change.
  virtual void ConfigChanged(const StackConfig& config) = 0;
};

}  // namespace eb
