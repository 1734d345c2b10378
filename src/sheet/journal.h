// The recording journal: while a datalog records, every sample is appended
// to a file in the datalog folder and made durable (write, then fdatasync)
// before the next one is taken, so a crash, a kill or a power cut loses at
// most the sample being written. The next start turns an unfinished journal
// into a recovered workbook.
//
// One line per record, fields separated by tabs (tabs, line breaks and
// backslashes in a field escaped), ended by the CRC-32 of the line: a record
// cut short by the crash, or damaged later, fails its check and is skipped;
// the records around it are read on. The first record is the setup; each
// later one a sample.
//
// The folder is shared with other programs and people, so the journal is
// opened as untrusted: never through a symbolic link, never anything but a
// regular file (an open that could block, a FIFO, is refused at once), and
// read in bounded pieces whatever its size.
//
// The journal is kept within a small multiple of what recovery needs: once
// it holds twice the samples the ring keeps (`keep`), the writer rewrites it
// with the setup and the last `keep` samples only, into a new file that is
// made durable and locked first and then renamed over the journal, so that
// at every moment the journal's name leads to a whole journal, locked by
// its writer. The rewritten setup record carries, as a seventh field, how
// many earlier sample records were left out.
//
// One folder holds one journal, and a program holds an exclusive lock on the
// journal file for as long as the journal is its own (until STOP or the end
// of the program, even after a write failed): a second program on the same
// folder cannot take it, and a journal whose lock is held belongs to a
// running program and is not recovered.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace eb::datalog {

constexpr const char* kJournalName = "eb2250_datalog.journal";

// The longest record line taken as a record. The program's longest, a
// ten-board sample, is a few kilobytes; a longer line is damage.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

// The journal file of a folder, opened and locked; the lock is held while
// the object lives.
class JournalLock {
 public:
  enum class Result {
    kTaken,    // opened and locked
    kMissing,  // there is no journal
    kInUse,    // another program holds its lock
    kRefused,  // it cannot or may not be opened; error() says why
  };
  JournalLock() = default;
  ~JournalLock() { Release(); }
  JournalLock(const JournalLock&) = delete;
  JournalLock& operator=(const JournalLock&) = delete;
  // Opens and locks the folder's journal without waiting. `create`: a new
  // journal, for writing (refused when one is there already); otherwise the
  // one there, for reading.
  Result Take(const std::string& folder, bool create);
  void Release();
  // Takes over `fd`, open and locked on the file that now has the journal's
  // name, in place of the one held.
  void Replace(int fd);
  bool Held() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // True while the journal's name still leads to the locked file.
  bool StillNamed() const;
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

class JournalWriter {
 public:
  JournalWriter() = default;
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Starts a new journal with the setup record: the writer's own earlier
  // journal is replaced; any other file of that name is left alone and the
  // start refused. Returns false with error() saying why. `keep`: the
  // samples recovery needs (the ring's slots); 0 keeps every record.
  bool Start(const std::string& folder, const std::vector<std::string>& setup, int keep = 0);
  // Appends a sample record and waits until it is on the disk. Returns
  // false with error() saying why; the journal then takes no more records
  // but stays locked: its durable samples are recovered only if this
  // program ends without saving them.
  bool Append(const std::vector<std::string>& sample);
  // The samples were saved: removes the journal (or, when it cannot be
  // removed, empties it, which marks it finished) and releases the lock.
  void Finish();
  // Sample records in the journal file now.
  std::size_t records() const { return inFile_; }
  // True while records are written.
  bool Active() const { return lock_.Held() && !failed_; }
  // True while the writer holds a journal of its own, written or failed.
  bool Holds() const { return lock_.Held(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return lock_.path(); }

 private:
  bool WriteRecord(char kind, const std::vector<std::string>& fields, const std::string& before);
  bool Fail(const std::string& why);
  void Compact();

  std::vector<std::string> setup_;
  std::vector<std::string> kept_;  // the last `keep_` sample lines, a ring from next_
  std::size_t next_ = 0;
  std::size_t keep_ = 0;
  std::size_t inFile_ = 0;       // sample records in the file
  unsigned long long left_ = 0;  // sample records left out by compaction

  JournalLock lock_;  // holds the journal's descriptor
  std::string folder_;
  std::string error_;
  bool failed_ = false;
};

// What reading a journal found besides its records.
struct JournalScan {
  std::string error;         // why the file is no journal at all ("" otherwise)
  std::size_t records = 0;   // records whose check held
  std::size_t damaged = 0;   // whole lines that failed their check or were too long
  std::size_t cutBytes = 0;  // a last record cut short (the one being written)
};

// Reads journal bytes fed in pieces of any size, in memory bounded by
// kMaxRecordBytes, and hands on each record whose check holds: its kind
// and fields, still escaped and tab-separated, without the check.
class JournalReader {
 public:
  using OnRecord = std::function<void(std::string_view record)>;
  explicit JournalReader(OnRecord onRecord) : onRecord_(std::move(onRecord)) {}
  void Feed(const char* data, std::size_t size);
  // `size` zero bytes (a hole of a sparse file), without reading them.
  void FeedZeros(std::size_t size);
  JournalScan End();

 private:
  void Line();
  OnRecord onRecord_;
  JournalScan scan_;
  std::string line_;
  bool magicRead_ = false;
  bool overlong_ = false;  // the line in progress passed kMaxRecordBytes
};

// Streams the regular file open on `fd` (from its start to its size when
// the call began) through a JournalReader; holes of a sparse file are not
// read. A read error ends the scan with `error` set.
JournalScan ScanJournal(int fd, const JournalReader::OnRecord& onRecord);

// One record line (without its line break) for `fields` of a record kind
// ('H' setup, 'S' sample), and its fields back (false when damaged).
std::string JournalLine(char kind, const std::vector<std::string>& fields);
bool ParseJournalLine(const std::string& line, char* kind, std::vector<std::string>* fields);
// The fields of a record handed on by the reader (kind first, then tab and
// field after field). False when a field is wrongly escaped or there are
// more than `maxFields`.
bool SplitJournalRecord(std::string_view record, char* kind, std::vector<std::string>* fields,
                        std::size_t maxFields);

}  // namespace eb::datalog
