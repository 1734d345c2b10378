// The datalog ring rebuilt from a journal's records, as the recording
// program held it at its last durable sample.
//
// Setup record:  slots, samples, sample time, workbook, setup stamp, CSV flag,
//                and in a compacted journal the sample records left out.
// Sample record: slot, last board, time (ms since the epoch), the view
//                report (current stamp, file stamp, view time, view points),
//                then fields 0 … n-1 of boards 0 … last board, n the
//                fields of a board's record the writing program had (21
//                in versions before field 21, how the sample's reads ended,
//                was recorded; 22 since, and one more with each new field).
//
// Samples are written slot after slot (1, 2, … slots, 1, 2, …), so the
// slot of each record tells where it stands in the recording even when
// records around it were damaged: only the records of the last turn of the
// ring are kept (at most `slots` of them), whatever the length of the
// journal. Every field is checked against what the program writes; a
// record with any other field is left out like a damaged one.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace eb::datalog {

constexpr int kJournalSetupFields = 6;
constexpr int kJournalSampleHead = 7;      // fields before the cells
constexpr int kJournalCellFields = 22;     // fields of a board's record, reads field last
constexpr int kJournalOldCellFields = 21;  // journals without field 21: the fewest there are
constexpr int kJournalMaxCellFields = 64;
constexpr int kJournalMaxSlots = 1000;
constexpr int kJournalMaxBoards = 10;

struct JournalSetup {
  int slots = 0;
  int samplePoints = 0;
  float sampleTime = 0;
  std::string setupStamp;
  bool csv = false;
  std::size_t leftOut = 0;  // earlier sample records a compaction left out
};

struct JournalSample {
  int slot = 0;
  int lastBoard = 0;
  std::chrono::system_clock::time_point time;
  std::string currentStamp;
  std::string fileStamp;  // "" unless it has the form of a file stamp
  float viewTime = 0;
  int viewPoints = 0;
  int fieldsPerBoard = kJournalCellFields;
  std::vector<std::string> cells;  // fields of board 0, then board 1, …
  // Field `field` of `board` ("" for a board above lastBoard).
  const std::string& Cell(int field, int board) const;
};

class JournalRing {
 public:
  // Sample records with `cellFields` fields per board (the program's
  // record), or fewer down to kJournalOldCellFields (earlier versions').
  explicit JournalRing(int cellFields = kJournalCellFields);
  // A record whose check held, in file order (as a JournalReader hands it on).
  void Add(std::string_view record);
  // The samples the ring held after the last record, oldest first.
  std::vector<JournalSample> Samples() const;
  // The setup, or why there is none that can be used.
  const std::optional<JournalSetup>& setup() const { return setup_; }
  std::string SetupError() const;
  // Sample records read, and records left out for fields the program never
  // writes.
  std::size_t recorded() const { return recorded_ + leftOut_; }
  std::size_t invalid() const { return invalid_; }

 private:
  struct Slot {
    std::string record;
    unsigned long long position = 0;  // 0: never filled
  };
  int cellFields_;
  std::optional<JournalSetup> setup_;
  bool any_ = false;
  std::vector<Slot> slots_;
  int lastSlot_ = 0;
  unsigned long long position_ = 0;  // of the last record in the recording
  std::size_t recorded_ = 0;
  std::size_t leftOut_ = 0;  // by compaction, before the records read
  std::size_t invalid_ = 0;
};

// True when `text` has the form of a file stamp ("12-08-2026_03_15_42 PM"):
// safe in a file name.
bool IsFileStamp(std::string_view text);

}  // namespace eb::datalog
