// The recording journal of the datalog: writing its records while
// recording, and rebuilding the ring from them after a crash (the record
// layout is in sheet/journal_ring.h).
#include "window/datalog_journal.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <vector>

#include "sheet/journal.h"
#include "sheet/journal_ring.h"
#include "sheet/stamps.h"
#include "window/datalog_fields.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"

namespace eb {

// A journal record carries every field of a board's datalog record.
static_assert(datalog::kRecordFields >= datalog::kJournalOldCellFields);

namespace {

std::string FloatText(float v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

void Form1::JournalStart() {
  const std::string folder = platform.AppDirectory();
  // A journal another program left unfinished in the folder since this
  // one started is recovered first: a new journal never replaces it.
  if (!journal_.Holds()) {
    const std::string said =
        datalog::RecoveryMessage(datalog::RecoverJournal(folder, platform.Now()));
    if (!said.empty()) MsgBox(said);
  }
  const std::vector<std::string> setup{std::to_string(SETpoint),
                                       std::to_string(SAMPLEpoints),
                                       FloatText(SAMPLEtime),
                                       NewFile,
                                       DSETUPstamp,
                                       std::to_string(CSVflag)};
  // Recovery needs the ring's samples only: the journal keeps those.
  if (!journal_.Start(folder, setup, SETpoint)) {
    MsgBox("The recovery journal of this datalog cannot be written (" + journal_.error() +
           "). Recording goes on, but until STOP its samples are kept in memory only.");
  }
}

void Form1::JournalSample(int slot) {
  if (!journal_.Active()) return;
  std::vector<std::string> r{std::to_string(slot),
                             std::to_string(CARDSTACK),
                             std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                DataTime(slot).time_since_epoch())
                                                .count()),
                             DCURRENTstamp,
                             DLASTstamp,
                             FloatText(VIEWtime),
                             std::to_string(VIEWpoints)};
  for (int b = 0; b <= CARDSTACK; ++b) {
    for (int k = 0; k < datalog::kRecordFields; ++k) r.push_back(DataCell(slot, k, b));
  }
  if (!journal_.Append(r)) {
    MsgBox("The recovery journal of this datalog could not be written (" + journal_.error() +
           "). Recording goes on, but until STOP its samples are kept in memory only.");
  }
}

void Form1::JournalEnd() { journal_.Finish(); }

namespace datalog {

namespace {

// `path` + ".unreadable-<stamp>", or the first free "…_2", "…_3", …; the
// journal is renamed there without replacing anything. "" when it cannot be.
std::string MoveAside(const std::string& path, std::chrono::system_clock::time_point now) {
  const std::string base = path + ".unreadable-" + FileStamp(now);
  for (int n = 1; n < 1000; ++n) {
    const std::string to = n == 1 ? base : base + "_" + std::to_string(n);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return to;
    if (errno != EEXIST) return "";
  }
  return "";
}

// Writes the recovered datalog of the samples the ring held (none empty)
// into folder; the journal is removed once that is written and stays for
// the next start if it cannot be.
void ExportRecovered(const JournalSetup& setup, const std::vector<JournalSample>& samples,
                     const std::string& folder, Recovery& r) {
  // The samples the ring held, in recording order in slots 1 … n.
  const JournalSample& last = samples.back();
  const DatalogView view{
      .cardstack = last.lastBoard,
      .setpoint = setup.slots,
      .cycle = 0,
      .counterStop = static_cast<int>(samples.size()) + 1,
      .setupStamp = setup.setupStamp,
      .currentStamp = last.currentStamp,
      .sampleTime = setup.sampleTime,
      .viewTime = last.viewTime,
      .samplePoints = setup.samplePoints,
      .viewPoints = last.viewPoints,
      .cell = [&samples](int slot, int field, int board) -> const std::string& {
        return samples[static_cast<size_t>(slot - 1)].Cell(field, board);
      },
      .time = [&samples](int slot) { return samples[static_cast<size_t>(slot - 1)].time; }};
  r.samples = static_cast<int>(samples.size());

  // The name is built from the last sample's stamp (checked to be one), or
  // its time: never from a path found in the file.
  const std::string stamp = last.fileStamp.empty() ? FileStamp(last.time) : last.fileStamp;
  try {
    NewDatalogFiles files;
    ExportNewDatalog(view, folder, stamp + "_RECOVERED_DATALOG", setup.csv, &files);
    r.workbook = files.workbook;
    r.csv = files.csv;
  } catch (const ExportError& e) {
    r.error = e.reason;
    r.workbook.clear();
    r.csv.clear();
    return;  // the journal stays for the next start
  }
  unlink(r.journal.c_str());
}

}  // namespace

Recovery RecoverJournal(const std::string& folder, std::chrono::system_clock::time_point now) {
  Recovery r;
  r.journal = folder + "/" + kJournalName;
  JournalLock lock;
  switch (lock.Take(folder, false)) {
    case JournalLock::Result::kMissing: return r;
    case JournalLock::Result::kInUse:
      r.found = r.inUse = true;
      r.error = lock.error();
      return r;
    case JournalLock::Result::kRefused:
      r.found = true;
      r.notRead = lock.error();
      return r;
    case JournalLock::Result::kTaken: break;
  }
  // The lock is held until the journal is removed or moved (the end of
  // this call).
  struct stat st {};
  if (fstat(lock.fd(), &st) == 0 && st.st_size == 0) {
    unlink(r.journal.c_str());  // an empty file holds nothing
    return r;
  }
  JournalRing ring(kRecordFields);
  const JournalScan scan =
      ScanJournal(lock.fd(), [&ring](std::string_view record) { ring.Add(record); });
  r.found = true;
  r.recorded = ring.recorded();
  r.damaged = scan.damaged + ring.invalid();
  r.droppedBytes = scan.cutBytes;
  const std::vector<JournalSample> samples = ring.Samples();
  r.error = !scan.error.empty() ? scan.error : ring.SetupError();
  if (r.error.empty() && samples.empty()) {
    if (r.damaged == 0) {
      // Set up, never sampled: nothing was lost.
      unlink(r.journal.c_str());
      return r;
    }
    r.error = "no sample record in it is whole";
  }
  if (!r.error.empty()) {
    r.movedTo = MoveAside(r.journal, now);
    return r;
  }

  ExportRecovered(*ring.setup(), samples, folder, r);
  return r;
}

std::string RecoveryMessage(const Recovery& r) {
  if (!r.found || r.inUse) return "";
  if (!r.notRead.empty()) {
    return "The datalog journal " + r.journal + " cannot be read (" + r.notRead +
           "); it is left as it is.";
  }
  if (!r.workbook.empty()) {
    std::string text = "A datalog that did not end was recovered: ";
    if (static_cast<std::size_t>(r.samples) < r.recorded) {
      text += "the ring's last " + std::to_string(r.samples) + " of " + std::to_string(r.recorded) +
              " samples recorded, saved to " + r.workbook;
    } else {
      text += std::to_string(r.samples) + (r.samples == 1 ? " sample" : " samples") + " saved to " +
              r.workbook;
    }
    if (!r.csv.empty()) text += " and " + r.csv;
    text += ".";
    if (r.damaged > 0) {
      text += r.damaged == 1 ? " 1 damaged record was skipped."
                             : " " + std::to_string(r.damaged) + " damaged records were skipped.";
    }
    if (r.droppedBytes > 0) text += " A damaged last record was left out.";
    return text;
  }
  if (!r.error.empty()) {
    if (!r.movedTo.empty()) {
      return "A datalog that did not end could not be recovered (" + r.error +
             "); its journal was moved aside to " + r.movedTo + ".";
    }
    return "A datalog that did not end could not be recovered (" + r.error +
           "); its journal is kept for the next start.";
  }
  return "";
}

}  // namespace datalog
}  // namespace eb
