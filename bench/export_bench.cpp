// The largest datalog export: 1000 samples of a ten-board stack, wrapped,
// written as a workbook. Reports the time per export and the peak memory the
// export adds to the program (resident set high-water mark above the
// resident set before the export).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sheet/journal.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"

namespace {

class NoPlatform : public eb::Platform {
 public:
  void MsgBox(const std::string&) override {}
  void Unload() override {}
  std::chrono::system_clock::time_point Now() override { return {}; }
  void ShellOpen(const std::string&) override {}
  std::string AppDirectory() override { return "/tmp"; }
};

class NoBridge : public eb::Bridge {
 public:
  bool Open(int) override { return false; }
  void SetTimeouts(int, int) override {}
  std::size_t Write(std::string_view) override { return 0; }
  std::size_t Read(char*, std::size_t) override { return 0; }
  void Close() override {}
  std::string_view Describe() const override { return "none"; }
};

// Kilobytes of a line "Name:  N kB" of /proc/self/status.
long StatusKb(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string key;
  long kb = -1;
  while (in >> key) {
    if (key == name) {
      in >> kb;
      return kb;
    }
    in.ignore(1 << 20, '\n');
  }
  return kb;
}

// Resets the resident-set high-water mark to the current resident set.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_ExportFullDatalog(benchmark::State& state) {
  NoBridge bridge;
  NoPlatform platform;
  auto form = std::make_unique<eb::Form1>(bridge, platform);
  form->CARDSTACK = 9;
  form->SETpoint = 1000;
  form->CYCLEflag = 1;
  form->COUNTERstop = 437;
  for (int s = 1; s <= 1000; ++s) {
    for (int b = 0; b <= 9; ++b) {
      form->DataCell(s, 0, b) = "09:13:20 AM @ 12-08-2026";
      form->DataCell(s, 1, b) = "E1, 00, 00, 00, 71, AB.";
      form->DataCell(s, 2, b) = "00, 00, 00";
      form->DataCell(s, 3, b) = "2.712V ";
      form->DataCell(s, 4, b) = "4.200V ";
      for (int k = 5; k <= 16; ++k) form->DataCell(s, k, b) = "3.6" + std::to_string(k % 10) + "0";
      form->DataCell(s, 17, b) = "OK, OK, OK, OK, OK, OK, OK, OK, OK, OK, OK, OK";
      for (int k = 18; k <= 20; ++k) form->DataCell(s, k, b) = " 1.234";
    }
  }
  char dir[] = "/tmp/eb-export-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no scratch directory");
    return;
  }
  const std::string path = std::string(dir) + "/full.xlsx";
  long worstExtraKb = 0;
  for (auto _ : state) {
    ResetPeak();
    const long before = StatusKb("VmRSS:");
    eb::datalog::ExportDatalog(*form, path);
    worstExtraKb = std::max(worstExtraKb, StatusKb("VmHWM:") - before);
  }
  state.counters["extra_MB"] = static_cast<double>(worstExtraKb) / 1024.0;
  std::remove(path.c_str());
  rmdir(dir);
}
BENCHMARK(BM_ExportFullDatalog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One sample of a ten-board datalog appended to the recording journal and
// made durable (write and fdatasync), as each collected sample is.
void BM_JournalAppendTenBoards(benchmark::State& state) {
  char dir[] = "/tmp/eb-journal-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    state.SkipWithError("no scratch directory");
    return;
  }
  eb::datalog::JournalWriter journal;
  if (!journal.Start(dir, {"1000", "1000", "800", "/tmp/run.xlsx", "stamp", "0"})) {
    state.SkipWithError(journal.error().c_str());
    return;
  }
  std::vector<std::string> sample{
      "437",   "9",  "1796000000000", "09:13:20 AM @ 12-08-2026", "12-08-2026_09_13_20 AM",
      "349.6", "437"};
  for (int b = 0; b <= 9; ++b) {
    sample.push_back("09:13:20 AM @ 12-08-2026");
    sample.push_back("E1, 00, 00, 00, 71, AB.");
    sample.push_back("00, 00, 00");
    sample.push_back("2.712V ");
    sample.push_back("4.200V ");
    for (int k = 5; k <= 16; ++k) sample.push_back("3.610");
    sample.push_back("OK, OK, OK, OK, OK, OK, OK, OK, OK, OK, OK, OK");
    for (int k = 18; k <= 20; ++k) sample.push_back(" 1.234");
  }
  for (auto _ : state) {
    if (!journal.Append(sample)) state.SkipWithError(journal.error().c_str());
  }
  journal.Finish();
  rmdir(dir);
}
BENCHMARK(BM_JournalAppendTenBoards)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
