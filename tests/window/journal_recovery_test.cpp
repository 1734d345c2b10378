// Recovery of a recording that never ended: the journal written while
// recording becomes the workbook a STOP at the moment of the last durable
// sample would have written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "sheet/journal.h"
#include "support/datalog_support.h"
#include "support/fakes.h"
#include "support/xlsx_reader.h"
#include "window/datalog_journal.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb {
namespace {

// A three-board stack recording into a ring of `slots` for `ticks` ticks.
struct Recording {
  Connection conn;
  test::FakePlatform platform;
  std::unique_ptr<Form1> form;

  Recording(const std::string& dir, int slots, int ticks, bool csv) {
    std::string error;
    auto c = OpenConnection("sim:boards=3,seed=4,noise=0.002", &error);
    EXPECT_TRUE(c.has_value()) << error;
    conn = std::move(*c);
    platform.appDir = dir;
    platform.now = test::LocalTime(2026, 12, 8, 15, 15, 42);
    form = std::make_unique<Form1>(*conn.bridge, platform);
    form->Form_Load();
    form->Combo1.setListIndex(2);
    form->Command0_Click(1);
    form->Command1_click(5);
    EXPECT_EQ(form->SetupDatalog(slots, dir + "/run.xlsx", csv), "");
    form->Command1_click(11);
    for (int t = 0; t < ticks; ++t) {
      platform.now += std::chrono::milliseconds(100);
      form->Timer1_Timer();
    }
  }
  // What a STOP now would write, in memory.
  datalog::MemorySheet StopSheet() {
    form->COUNTERstop = form->DATApoint;
    datalog::MemorySheet sheet;
    datalog::BuildDatalogSheet(*form, sheet, "A1");
    return sheet;
  }
  // The program dies: no unload, nothing saved; the journal stays.
  void Crash() { form.reset(); }
};

void ExpectSameCellsBesidesA1(const datalog::MemorySheet& stop, const std::string& workbook) {
  const auto cells = test::WorkbookCells(workbook);
  size_t compared = 0;
  for (const auto& [at, cell] : stop.Cells()) {
    if (at == std::pair{1, 1} || cell.Shown().empty()) continue;
    ++compared;
    auto it = cells.find(at);
    ASSERT_NE(it, cells.end()) << at.first << "," << at.second;
    ASSERT_EQ(it->second, cell.Shown()) << at.first << "," << at.second;
  }
  EXPECT_EQ(cells.size(), compared + 1);  // and A1, the recovered file's own path
  EXPECT_EQ(cells.at({1, 1}), workbook);
}

TEST(JournalRecovery, AWrappedRingComesBackAsStopWouldHaveWrittenIt) {
  test::ScratchDir dir;
  Recording r(dir.path(), 8, 15 * 4, true);  // 15 samples into 8 slots
  ASSERT_EQ(r.form->CYCLEflag, 1);
  const auto stop = r.StopSheet();
  r.Crash();
  EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));

  const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
  EXPECT_EQ(rec.error, "");
  EXPECT_EQ(rec.samples, 15);
  EXPECT_EQ(rec.workbook, dir.path() + "/" + "12-08-2026_03_15_47 PM_RECOVERED_DATALOG.xlsx");
  ExpectSameCellsBesidesA1(stop, rec.workbook);
  EXPECT_EQ(rec.csv, datalog::CsvBeside(rec.workbook));
  EXPECT_TRUE(std::filesystem::exists(rec.csv));
  EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  EXPECT_EQ(datalog::RecoveryMessage(rec),
            "A datalog that did not end was recovered: 15 samples saved to " + rec.workbook +
                " and " + rec.csv + ".");
  // Nothing left to recover at the next start.
  EXPECT_FALSE(datalog::RecoverJournal(dir.path(), r.platform.now).found);
}

TEST(JournalRecovery, ALastRecordCutAtAnyByteLeavesTheSamplesBeforeIt) {
  test::ScratchDir dir;
  Recording r(dir.path(), 20, 3 * 4, false);  // three samples: one pass of each board
  r.Crash();
  const std::string journal = dir / datalog::kJournalName;
  const std::string whole = test::FileBytes(journal);
  const size_t lastStart = whole.rfind('\n', whole.size() - 2) + 1;
  for (size_t keep = lastStart; keep < whole.size(); keep += 7) {
    std::ofstream(journal, std::ios::trunc | std::ios::binary) << whole.substr(0, keep);
    const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
    ASSERT_EQ(rec.error, "") << "cut at " << keep;
    EXPECT_EQ(rec.samples, 2) << "cut at " << keep;
    EXPECT_EQ(rec.droppedBytes, keep - lastStart);
    const auto cells = test::WorkbookCells(rec.workbook);
    EXPECT_EQ(cells.count({13, 1}), 1u);  // samples 1 and 2 in rows 12, 13
    EXPECT_EQ(cells.count({14, 1}), 0u);
    std::filesystem::remove(rec.workbook);
  }
}

TEST(JournalRecovery, AJournalInUseIsLeftAloneAndAFolderInUseIsSaid) {
  test::ScratchDir dir;
  Recording r(dir.path(), 10, 24, false);
  const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
  EXPECT_TRUE(rec.found);
  EXPECT_TRUE(rec.inUse);
  EXPECT_EQ(datalog::RecoveryMessage(rec), "");
  EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
  // A second window on the same folder cannot journal its own datalog:
  // it says so once and records in memory.
  Recording second(dir.path(), 10, 24, false);
  ASSERT_EQ(second.platform.messages.size(), 1u);
  EXPECT_EQ(second.platform.messages[0],
            "The recovery journal of this datalog cannot be written (the datalog folder " +
                dir.path() +
                " is in use by another eb2250-gui). Recording goes on, but until STOP its "
                "samples are kept in memory only.");
  EXPECT_EQ(second.form->DATApoint, 7);  // six samples recorded all the same
}

TEST(JournalRecovery, StopAndClosingRemoveTheJournalOnceSaved) {
  test::ScratchDir dir;
  {
    Recording r(dir.path(), 10, 24, false);
    EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
    r.form->Command1_click(13);  // VIEW: still recording
    EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
    r.form->Command1_click(12);  // STOP
    EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  }
  {
    Recording r(dir.path(), 10, 24, false);
    r.form->Form_Unload();  // closing with samples saves them
    EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  }
}

}  // namespace
}  // namespace eb
