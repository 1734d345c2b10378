// The recording journal of the datalog: what each record holds, writing it
// while recording, and rebuilding the ring from it after a crash.
//
// Setup record:  slots, samples, sample time, workbook, setup stamp, CSV flag.
// Sample record: slot, last board, time (ms since the epoch), the view
//                report (current stamp, file stamp, view time, view points),
//                then fields 0 … 20 of boards 0 … last board.
#include "window/datalog_journal.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "sheet/journal.h"
#include "sheet/stamps.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"

namespace eb {

namespace {

constexpr int kSetupFields = 6;
constexpr int kSampleHead = 7;  // fields before the cells
constexpr int kCellFields = 21;

std::string FloatText(float v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

template <typename T>
std::optional<T> Number(const std::string& text) {
  T v{};
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace

void Form1::JournalStart() {
  const std::vector<std::string> setup{std::to_string(SETpoint),
                                       std::to_string(SAMPLEpoints),
                                       FloatText(SAMPLEtime),
                                       NewFile,
                                       DSETUPstamp,
                                       std::to_string(CSVflag)};
  if (!journal_.Start(platform.AppDirectory(), setup)) {
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
    for (int k = 0; k < kCellFields; ++k) r.push_back(DataCell(slot, k, b));
  }
  if (!journal_.Append(r)) {
    MsgBox("The recovery journal of this datalog could not be written (" + journal_.error() +
           "). Recording goes on, but until STOP its samples are kept in memory only.");
  }
}

void Form1::JournalEnd() { journal_.Finish(); }

namespace datalog {

namespace {

// The ring rebuilt from the records, as the window held it.
struct Ring {
  std::vector<std::string> cells;  // [slot][field][board]
  std::vector<std::chrono::system_clock::time_point> times;
  std::string& Cell(int slot, int field, int board) {
    return cells[(static_cast<size_t>(slot) * kCellFields + static_cast<size_t>(field)) * 10 +
                 static_cast<size_t>(board)];
  }
};

}  // namespace

Recovery RecoverJournal(const std::string& folder, std::chrono::system_clock::time_point now) {
  Recovery r;
  const std::string path = folder + "/" + kJournalName;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return r;
  r.found = true;
  JournalLock lock;
  if (!lock.Take(folder, false)) {
    r.inUse = true;
    r.error = lock.error();
    return r;
  }
  const JournalContents c = ReadJournal(path);
  r.droppedBytes = c.dropped;
  const auto setpoint = c.setup.size() == kSetupFields ? Number<int>(c.setup[0]) : std::nullopt;
  if (!c.error.empty() || !setpoint || *setpoint < 1 || *setpoint > 1000) {
    r.error = c.error.empty() ? "its setup record is damaged" : c.error;
    return r;
  }
  if (c.samples.empty()) {
    // Set up, never sampled: nothing was lost.
    std::remove(path.c_str());
    return r;
  }
  // The lock is held until the journal is removed (the end of this call).

  Ring ring;
  ring.cells.resize(static_cast<size_t>(1001) * kCellFields * 10);
  ring.times.resize(1001);
  DatalogView view;
  view.setpoint = *setpoint;
  view.samplePoints = Number<int>(c.setup[1]).value_or(0);
  view.sampleTime = Number<float>(c.setup[2]).value_or(0);
  view.setupStamp = c.setup[4];
  const bool csv = c.setup[5] == "1";
  std::string fileStamp;
  int datapoint = 1;
  for (const auto& s : c.samples) {
    const auto slot = s.size() > kSampleHead ? Number<int>(s[0]) : std::nullopt;
    const auto last = s.size() > kSampleHead ? Number<int>(s[1]) : std::nullopt;
    const auto ms = s.size() > kSampleHead ? Number<long long>(s[2]) : std::nullopt;
    if (!slot || !last || !ms || *slot < 1 || *slot > view.setpoint || *last < 0 || *last > 9 ||
        s.size() != kSampleHead + static_cast<size_t>(kCellFields * (*last + 1))) {
      break;  // a record this program never writes: keep what came before
    }
    for (int b = 0; b <= *last; ++b) {
      for (int k = 0; k < kCellFields; ++k) {
        ring.Cell(*slot, k, b) = s[kSampleHead + static_cast<size_t>(b * kCellFields + k)];
      }
    }
    ring.times[static_cast<size_t>(*slot)] =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(*ms));
    view.cardstack = *last;
    view.currentStamp = s[3];
    fileStamp = s[4];
    view.viewTime = Number<float>(s[5]).value_or(0);
    view.viewPoints = Number<int>(s[6]).value_or(0);
    // The cycle's step after a collection: the next slot, wrapping.
    datapoint = *slot + 1;
    if (datapoint >= view.setpoint + 1) {
      datapoint = 1;
      view.cycle = 1;
    }
    ++r.samples;
  }
  view.counterStop = datapoint;
  view.cell = [&ring](int slot, int field, int board) -> const std::string& {
    return ring.Cell(slot, field, board);
  };
  view.time = [&ring](int slot) { return ring.times[static_cast<size_t>(slot)]; };

  if (fileStamp.empty()) fileStamp = FileStamp(now);
  try {
    NewDatalogFiles files;
    ExportNewDatalog(view, folder, fileStamp + "_RECOVERED_DATALOG", csv, &files);
    r.workbook = files.workbook;
    r.csv = files.csv;
  } catch (const ExportError& e) {
    r.error = e.reason;
    r.workbook.clear();
    r.csv.clear();
    return r;  // the journal stays for the next start
  }
  std::remove(path.c_str());
  return r;
}

std::string RecoveryMessage(const Recovery& r) {
  if (!r.found || r.inUse) return "";
  if (!r.workbook.empty()) {
    std::string text = "A datalog that did not end was recovered: " + std::to_string(r.samples) +
                       (r.samples == 1 ? " sample" : " samples") + " saved to " + r.workbook;
    if (!r.csv.empty()) text += " and " + r.csv;
    text += ".";
    if (r.droppedBytes > 0) text += " A damaged last record was left out.";
    return text;
  }
  if (!r.error.empty()) {
    return "A datalog that did not end could not be recovered (" + r.error +
           "); its journal is kept for the next start.";
  }
  return "";
}

}  // namespace datalog
}  // namespace eb
