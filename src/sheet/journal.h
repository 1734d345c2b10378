// The recording journal: while a datalog records, every sample is appended
// to a file in the datalog folder and made durable (write, then fdatasync)
// before the next one is taken, so a crash, a kill or a power cut loses at
// most the sample being written. The next start turns an unfinished journal
// into a recovered workbook.
//
// One line per record, fields separated by tabs (tabs, line breaks and
// backslashes in a field escaped), ended by the CRC-32 of the line: a record
// cut short or damaged by the crash fails its check and is dropped with
// everything after it. The first record is the setup; each later one a
// sample.
//
// One folder holds one journal, and a program holds an exclusive lock on the
// journal file for as long as it writes it: a second program on the same
// folder cannot take it, and a journal whose lock is held belongs to a
// running program and is not recovered.
#pragma once

#include <string>
#include <vector>

namespace eb::datalog {

constexpr const char* kJournalName = "eb2250_datalog.journal";

// The journal file of a folder, opened (created when missing) and locked;
// the lock is held while the object lives.
class JournalLock {
 public:
  JournalLock() = default;
  ~JournalLock() { Release(); }
  JournalLock(const JournalLock&) = delete;
  JournalLock& operator=(const JournalLock&) = delete;
  // Opens and locks the folder's journal without waiting. Returns false,
  // with error() saying why, when another program holds it or it cannot be
  // opened. `create`: make the file when there is none.
  bool Take(const std::string& folder, bool create);
  void Release();
  bool Held() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

class JournalWriter {
 public:
  JournalWriter() = default;
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // Takes the folder's lock and starts a new journal with the setup record
  // (an earlier journal of this program is replaced). Returns false with
  // error() saying why.
  bool Start(const std::string& folder, const std::vector<std::string>& setup);
  // Appends a sample record and waits until it is on the disk. Returns
  // false with error() saying why; the journal then stops.
  bool Append(const std::vector<std::string>& sample);
  // Removes the journal (its samples were saved) and releases the lock.
  void Finish();
  bool Active() const { return lock_.Held(); }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

 private:
  bool WriteRecord(char kind, const std::vector<std::string>& fields, const std::string& before);

  JournalLock lock_;  // holds the journal's descriptor
  std::string path_;
  std::string error_;
};

// What a journal file holds: the setup and the samples whose records are
// whole; `dropped` counts the bytes of a damaged or cut-short tail.
struct JournalContents {
  bool found = false;  // a journal file was there
  std::vector<std::string> setup;
  std::vector<std::vector<std::string>> samples;
  std::size_t dropped = 0;
  std::string error;  // why nothing could be read ("" otherwise)
};
JournalContents ReadJournal(const std::string& path);

// One record line (without its line break) for `fields` of a record kind
// ('H' setup, 'S' sample), and its fields back (false when damaged).
std::string JournalLine(char kind, const std::vector<std::string>& fields);
bool ParseJournalLine(const std::string& line, char* kind, std::vector<std::string>* fields);

}  // namespace eb::datalog
