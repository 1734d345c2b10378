// A recording: every board sample of the measurement cycle in one SQLite
// database file, with no length limit but the disk. The schema (version 1)
// is in the README; readers and other programs rely on its names.
//
// The file is in WAL mode with synchronous=FULL. The samples of one pass of
// the cycle over the stack (one sample of each board) are one transaction,
// committed when the stack's last board's sample arrives, so that a crash, a
// kill or a power cut loses at most the pass in flight; a change of the
// stack's configuration, and the end of the recording, commit too.
//
// Provenance goes beside the samples: the program's version, the bridge, the
// start time, and the stack's configuration and the window's setup (as a
// setup file holds it) at the start and at each change.
// An existing recording is appended to (its provenance kept); any other
// existing file is refused.
//
// A write that fails (a full disk, SQLITE_FULL; an I/O error) loses that
// pass; the recording goes on trying with the next one. The first failure
// is kept for the caller to tell the operator once (TakeFailure).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "record/board_sample.h"

struct sqlite3;
struct sqlite3_stmt;

namespace eb {

constexpr int kRecordingSchema = 1;

struct RecordingStart {
  std::string program;  // the --version line
  std::string bridge;   // the connection string and the bridge's identity
  std::int64_t startedMs = 0;
  // Largest size in pages the file may grow to; 0: only the disk limits it.
  // (A smaller limit makes SQLite answer SQLITE_FULL as a full disk would.)
  std::int64_t maxPages = 0;
};

class Recording : public SampleSink {
 public:
  // Opens or creates the recording at `path`; null with `*error` saying
  // why (for the operator) when it cannot be.
  static std::unique_ptr<Recording> Open(const std::string& path, const RecordingStart& start,
                                         std::string* error);
  ~Recording() override;
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  void Sample(const BoardSample& sample) override;
  void ConfigChanged(const StackConfig& config) override;
  // Commits the pass in flight (the end of the recording does too).
  void Flush();

  const std::string& path() const { return path_; }
  std::int64_t samplesWritten() const { return written_; }
  std::int64_t samplesLost() const { return lost_; }
  bool diskFull() const { return diskFull_; }
  // The first failure to write, once: "" afterwards and while there was none.
  std::string TakeFailure();

 private:
  Recording() = default;
  bool Exec(const char* sql);
  bool Begin();
  // False when the transaction's rows were lost.
  bool Commit();
  void Failed(int code);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* config_ = nullptr;
  sqlite3_stmt* setup_ = nullptr;
  std::optional<StackConfig> stored_;  // the configuration last stored
  std::string path_;
  int lastBoard_ = 10;   // the stack's last board: its sample ends a pass
  bool open_ = false;    // a transaction is open
  bool broken_ = false;  // the open transaction's pass is being lost
  std::int64_t pending_ = 0;
  std::int64_t written_ = 0;
  std::int64_t lost_ = 0;
  bool diskFull_ = false;
  bool failureSaid_ = false;
  std::string failure_;
};

}  // namespace eb
