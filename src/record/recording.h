// Reading a recording: the SQLite file the measurement cycle writes every
// sample into (table `samples`, one row per board per pass, with the
// provenance in table `recording`). The file is opened read-only, so it may
// be read while the program that records is still writing it (WAL mode): a
// reader sees the samples committed when its query began.
//
// A file that is no SQLite database, or holds no recording, or a recording
// of a newer layout than this program reads, or one that is damaged, is
// refused with one line saying which (RecordingError::what()).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace eb::record {

// The layout of the recording this program reads and writes.
constexpr int kSchema = 1;
constexpr int kBoards = 10;
constexpr int kCells = 12;
constexpr int kTemps = 3;  // ETMP1, ETMP2, ITMP

class RecordingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr double kNoReading = std::numeric_limits<double>::quiet_NaN();

// One row of `samples`. A voltage without a believable reading (NULL in the
// file) is NaN.
struct Sample {
  std::int64_t id = 0;
  std::int64_t ms = 0;  // ms since the Unix epoch, UTC
  int board = 0;        // 1 … 10
  int address = 0;
  std::string cfgr, flgr, vuv, vov;
  std::array<double, kCells> cells{};
  std::array<double, kTemps> temps{};
  std::string status;
  std::string cfgrRead, flgrRead, cvRead, tmpRead;
};

// Which samples to read: times from … to (both included), and the boards
// listed (empty: every board).
struct Selection {
  std::int64_t from = std::numeric_limits<std::int64_t>::min();
  std::int64_t to = std::numeric_limits<std::int64_t>::max();
  std::vector<int> boards;
  bool Takes(int board) const;
  // The query's condition on ?1 (from) and ?2 (to), and on the boards.
  std::string Where() const;
};

class Recording;

// The samples of a selection in time order (by time, then board, then the
// order they were written), read one at a time.
class SampleCursor {
 public:
  SampleCursor(const Recording& recording, const Selection& selection);
  ~SampleCursor();
  SampleCursor(const SampleCursor&) = delete;
  SampleCursor& operator=(const SampleCursor&) = delete;
  // The next sample; false at the end. Throws RecordingError when the file
  // cannot be read on (damaged, gone).
  bool Next(Sample* sample);

 private:
  const Recording& recording_;
  sqlite3_stmt* statement_ = nullptr;
};

class Recording {
 public:
  // Opens `path` read-only. Throws RecordingError.
  explicit Recording(const std::string& path);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  const std::string& path() const { return path_; }
  // A value of table `recording` ("" when the key is not there).
  std::string Provenance(const std::string& key) const;
  // Times of the first and last sample (both 0 when there is none), and
  // the number of samples, as committed now.
  struct Extent {
    std::int64_t first = 0, last = 0;
    std::int64_t samples = 0;
  };
  Extent Span() const;
  // The under- and over-voltage thresholds last configured for board b
  // (1 … 10), in volts; NaN where none is stored.
  std::pair<double, double> Thresholds(int board) const;
  // Samples of a selection, as committed now.
  std::int64_t Count(const Selection& selection) const;
  // The window's setups stored (the text of a setup file), oldest first:
  // one at the start of each recording and one at each change. None in a
  // recording written before setups were stored.
  struct StoredSetup {
    std::int64_t ms = 0;
    std::string text;
  };
  std::vector<StoredSetup> Setups() const;

  sqlite3* db() const { return db_; }
  // Throws RecordingError for SQLite's result `rc` (not OK / ROW / DONE).
  [[noreturn]] void Fail(int rc) const;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

// A time as the command line and the export dialog take it: ISO 8601 UTC,
// "2026-12-09T10:00:00" with optional ".mmm" and optional "Z" (a space may
// stand for the "T"), or milliseconds since the epoch. False when `text` is
// neither.
bool ParseTime(const std::string& text, std::int64_t* ms);
// ms since the epoch as ISO 8601 UTC with milliseconds: "2026-12-09T10:00:00.000Z".
std::string UtcStamp(std::int64_t ms);

// A board list "1,3,10": numbers 1 … 10 separated by commas. False when
// `text` is anything else.
bool ParseBoards(const std::string& text, std::vector<int>* boards);

}  // namespace eb::record
