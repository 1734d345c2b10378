// Datalogs in script runs: where the last datalog goes, what the end of a
// run saves, and a setup that would give up unsaved samples.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/datalog_support.h"
#include "support/scenario.h"
#include "support/xlsx_reader.h"

namespace eb {
namespace {

// A two-board simulated stack set up to record, and a few samples taken.
const char* const kRecording = R"(set Combo1 1
click Command0 1
click Command1 5
datalog 20 "DIR/run.xlsx" csv
click Command1 11
tick 24
)";

std::string In(const std::string& script, const std::string& dir) {
  std::string s = script;
  for (size_t at = s.find("DIR"); at != std::string::npos; at = s.find("DIR", at)) {
    s.replace(at, 3, dir);
  }
  return s;
}

std::vector<std::string> LastDatalogs(const test::ScratchDir& dir, const std::string& ending) {
  std::vector<std::string> found;
  for (const auto& name : dir.Entries()) {
    if (name.find("_LAST_DATALOG") != std::string::npos && name.size() > ending.size() &&
        name.substr(name.size() - ending.size()) == ending) {
      found.push_back(name);
    }
  }
  return found;
}

TEST(DatalogScripts, StopWritesToTheDatalogFolderUnderItsFullPath) {
  test::ScratchDir dir;
  // A relative folder is taken from the working directory and made absolute.
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  auto r = test::RunScenario(
      "sim:boards=2", In(kRecording, dir.path()) + "click Command1 12\n" + "state LastDATAlog\n",
      ".");
  std::filesystem::current_path(here);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto books = LastDatalogs(dir, ".xlsx");
  ASSERT_EQ(books.size(), 1u) << r.out;
  const std::string full = dir / books[0];
  EXPECT_TRUE(r.Printed("\"value\":\"" + full + "\"")) << r.out;
  EXPECT_EQ(test::WorkbookCells(full).at({1, 1}), full);  // A1: the full path
  EXPECT_EQ(LastDatalogs(dir, ".csv").size(), 1u);        // set up with "csv"
  // Nothing left to save at the end: no message about it.
  EXPECT_FALSE(r.Printed("were saved to")) << r.out;
}

TEST(DatalogScripts, TheEndOfARunSavesTheSamplesAsClosingTheWindowDoes) {
  test::ScratchDir dir;
  auto r = test::RunScenario("sim:boards=2", In(kRecording, dir.path()), dir.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto books = LastDatalogs(dir, ".xlsx");
  ASSERT_EQ(books.size(), 1u) << r.out;
  EXPECT_TRUE(r.Printed("MSGBOX: The datalog's samples were saved to " + dir / books[0] + "."))
      << r.out;
  EXPECT_GT(test::WorkbookCells(dir / books[0]).size(), 100u);
}

TEST(DatalogScripts, ANewSetupNeverDropsUnsavedSamplesSilently) {
  test::ScratchDir dir;
  const std::string again = "datalog 10 \"" + dir / "second.xlsx" + "\"\n";
  auto refused = test::RunScenario("sim:boards=2", In(kRecording, dir.path()) + again, dir.path());
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(
      refused.Printed("SCRIPT ERROR scenario:7: datalog: the datalog holds samples not "
                      "saved with STOP"))
      << refused.out;
  // Told to discard: the new setup goes ahead with an empty ring, set up on
  // one board; the stack grows to two before VIEW, and board 2 has no
  // readings (none of the first datalog's).
  auto discarded = test::RunScenario(
      "sim:boards=2",
      In(kRecording, dir.path()) + "click Command1 11\nset Combo1 0\n" + "datalog 10 \"" +
          dir / "second.xlsx" + "\" discard\n" +
          "state DATApoint\nstate SETpoint\nstate CSVflag\n" +
          "click Command1 11\ntick 4\nclick Command1 11\nset Combo1 1\nclick Command1 13\n",
      dir.path());
  EXPECT_EQ(discarded.status, 0) << discarded.out;
  EXPECT_TRUE(discarded.Printed("{\"name\":\"DATApoint\",\"value\":1}")) << discarded.out;
  EXPECT_TRUE(discarded.Printed("{\"name\":\"SETpoint\",\"value\":10}")) << discarded.out;
  EXPECT_TRUE(discarded.Printed("{\"name\":\"CSVflag\",\"value\":0}")) << discarded.out;
  const auto cells = test::WorkbookCells(dir / "second.xlsx");
  EXPECT_EQ(cells.count({12, 3 + 4}), 1u);  // the one sample: board 1's CV1 …
  for (int col = 23; col <= 42; ++col) EXPECT_EQ(cells.count({12, col}), 0u) << col;  // … board 2's
  // Unknown words after the file are errors.
  auto bad = test::RunScenario("sim", "datalog 10 \"" + dir / "x.xlsx" + "\" keep\n", dir.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.Printed("datalog: unexpected \"keep\" (after the file: csv, discard)"))
      << bad.out;
}

}  // namespace
}  // namespace eb
