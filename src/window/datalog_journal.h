// Turning the journal of a recording that never ended (crash, kill, power
// cut) into a workbook: the samples and sheet layout a STOP at the moment
// of the last durable sample would have written, named like a last datalog
// with "_RECOVERED" ("…_RECOVERED_DATALOG.xlsx", and the CSV beside it when
// the datalog was set up with one).
#pragma once

#include <chrono>
#include <string>

namespace eb::datalog {

struct Recovery {
  bool found = false;    // an unfinished journal was there
  bool inUse = false;    // it belongs to a running program: left alone
  std::string workbook;  // the recovered workbook ("" when none was written)
  std::string csv;       // the CSV beside it, when one was written
  int samples = 0;
  std::size_t droppedBytes = 0;  // a damaged or cut-short last record
  std::string error;             // why nothing could be recovered
};

// Recovers the journal in `folder`, if there is one nobody is writing. The
// journal is removed once its samples are saved; when they cannot be, it
// stays for the next start.
Recovery RecoverJournal(const std::string& folder, std::chrono::system_clock::time_point now);

// What to tell the operator ("" when there was nothing to recover).
std::string RecoveryMessage(const Recovery& r);

}  // namespace eb::datalog
