// Turning the journal of a recording that never ended (crash, kill, power
// cut) into a workbook: the samples and sheet layout a STOP at the moment
// of the last durable sample would have written, named like a last datalog
// with "_RECOVERED" ("…_RECOVERED_DATALOG.xlsx", and the CSV beside it when
// the datalog was set up with one), always in the journal's folder.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace eb::datalog {

struct Recovery {
  bool found = false;            // an unfinished journal was there
  bool inUse = false;            // it belongs to a running program: left alone
  std::string journal;           // its path
  std::string workbook;          // the recovered workbook ("" when none was written)
  std::string csv;               // the CSV beside it, when one was written
  int samples = 0;               // samples saved (the ring's, at most its slots)
  std::size_t recorded = 0;      // sample records the journal held
  std::size_t damaged = 0;       // damaged records skipped
  std::size_t droppedBytes = 0;  // a last record cut short
  std::string notRead;           // why the journal was not even opened (left as it is)
  std::string error;             // why nothing could be recovered
  std::string movedTo;           // where an unreadable journal was moved aside
};

// Recovers the journal in `folder`, if there is one nobody is writing. The
// journal is removed once its samples are saved; when they cannot be, it
// stays for the next start; when it holds nothing that can be recovered it
// is moved aside (never removed).
Recovery RecoverJournal(const std::string& folder, std::chrono::system_clock::time_point now);

// What to tell the operator ("" when there was nothing to recover).
std::string RecoveryMessage(const Recovery& r);

}  // namespace eb::datalog
