// The program killed (SIGKILL) at a random moment of a recording, then
// started again on the same datalog folder: the recovered workbook holds
// exactly the samples that were on the disk when it died.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

#include "protocol/hex.h"
#include "sheet/journal.h"
#include "support/datalog_support.h"
#include "support/fakes.h"
#include "support/launch.h"
#include "support/xlsx_reader.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb {
namespace {

// Runs the program with `args`; returns its pid, stderr going to `errPath`.
pid_t Launch(const std::vector<std::string>& args, const std::string& errPath) {
  return test::Launch(EB_GUI_EXE, args, "/dev/null", errPath);
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// The cell voltages the simulated stack shows, as the datalog writes them:
// [board][cell 1 … 12].
std::vector<std::vector<std::string>> KnownCells(const std::string& sim) {
  std::string error;
  auto conn = OpenConnection(sim, &error);
  test::FakePlatform platform;
  Form1 form(*conn->bridge, platform);
  form.Form_Load();
  form.Combo1.setListIndex(2);
  form.Command0_Click(1);
  form.Command1_click(5);
  form.Check5[2].setValue(1);
  form.Command1_click(2);  // a broadcast conversion
  std::vector<std::vector<std::string>> cells(3, std::vector<std::string>(13));
  for (int b = 0; b <= 2; ++b) {
    form.BRDnumber = static_cast<I16>(b);
    form.Command1_click(7);
    for (int c = 1; c <= 12; ++c)
      cells[static_cast<size_t>(b)][static_cast<size_t>(c)] =
          Fixed3(form.CELLvolt[static_cast<size_t>(12 * b + c)]);
  }
  return cells;
}

TEST(KillRecovery, AKilledRecordingIsRecoveredSampleForSample) {
  std::mt19937 random(20261208);
  for (int seed : {1, 2, 3}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::ScratchDir dir;
    const std::string sim = "sim:boards=3,seed=" + std::to_string(seed) + ",noise=0";
    const auto known = KnownCells(sim);
    std::ofstream(dir / "record.script") << "set Combo1 2\n"
                                         << "click Command0 1\n"
                                         << "click Command1 5\n"
                                         << "datalog 8 \"" << dir / "run.xlsx"
                                         << "\"\n"
                                         << "click Command1 11\n"
                                         << "tick 10000000\n";
    const std::string journal = dir / datalog::kJournalName;
    const pid_t pid =
        Launch({"--bridge", sim, "--datalog-dir", dir.path(), "--script", dir / "record.script"},
               dir / "record.err");
    // Let it record a while (the ring of 8 wraps), then kill it at a random moment.
    const size_t before = 10 + random() % 40;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (test::DurableSamples(journal) < before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    const int status = Wait(pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << test::FileBytes(dir / "record.err");
    const size_t onDisk = test::DurableSamples(journal);
    ASSERT_GE(onDisk, before);

    // Start again on the same folder: the journal becomes a workbook.
    std::ofstream(dir / "empty.script") << "# nothing\n";
    const pid_t again =
        Launch({"--bridge", sim, "--datalog-dir", dir.path(), "--script", dir / "empty.script"},
               dir / "again.err");
    ASSERT_EQ(WEXITSTATUS(Wait(again)), 0);
    const std::string said = test::FileBytes(dir / "again.err");
    std::smatch m;
    // The ring of 8 holds the last 8 of them.
    ASSERT_TRUE(std::regex_search(
        said, m,
        std::regex("A datalog that did not end was recovered: the ring's last 8 of ([0-9]+) "
                   "samples recorded, saved to (.*_RECOVERED_DATALOG\\.xlsx)\\.")))
        << said;
    EXPECT_EQ(std::stoul(m[1]), onDisk);
    const std::string workbook = m[2];
    EXPECT_FALSE(std::filesystem::exists(journal));

    // The ring of 8 wrapped: its last 8 samples, oldest first. At least 10
    // samples were taken, so every board had been read (one board a
    // sample) before the oldest of them: each cell is the stack's voltage.
    const auto cells = test::WorkbookCells(workbook);
    EXPECT_EQ(cells.at({1, 1}), workbook);
    for (int row = 12; row < 20; ++row) {
      ASSERT_EQ(cells.count({row, 1}), 1u) << "row " << row;
      EXPECT_EQ(cells.at({row, 1}), std::to_string(row - 11));
      for (int b = 0; b <= 2; ++b) {
        for (int c = 1; c <= 12; ++c) {
          const std::string v = cells.at({row, 20 * b + 3 + 4 + c - 1});
          const std::string& expect = known[static_cast<size_t>(b)][static_cast<size_t>(c)];
          EXPECT_EQ(v, expect) << "row " << row << " board " << b + 1 << " cell " << c;
        }
      }
    }
    EXPECT_EQ(cells.count({20, 1}), 0u);
  }
}

}  // namespace
}  // namespace eb
