// Datalog recording on the scripted stack: setup, start/pause/resume, the
// samples the measurement cycle collects, the ring, and the VIEW / STOP /
// closing exports.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "support/datalog_support.h"
#include "support/form_fixture.h"
#include "window/datalog_sheet.h"

namespace eb {
namespace {

using datalog::MemorySheet;
using test::FakeStack;
using test::LocalTime;

const auto kSetupTime = LocalTime(2026, 12, 8, 15, 15, 42);

class DatalogFixture : public test::FormFixture {
 protected:
  test::ScratchDir dir;

  void SetUp() override {
    test::FormFixture::SetUp();
    platform.now = kSetupTime;
    platform.appDir = dir.path();
  }
  // Sets up a datalog of `samples` in the scratch directory; fails the test
  // when the setup refuses.
  void SetUpDatalog(int samples, const std::string& name = "run") {
    ASSERT_EQ(form.SetupDatalog(samples, dir / name), "");
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) form.Timer1_Timer();
  }
  // The fields 0 … 20 of one board of one slot.
  std::vector<std::string> Fields(int slot, int board) const {
    std::vector<std::string> v;
    const Form1& f = form;
    for (int k = 0; k <= 20; ++k) v.push_back(f.DataCell(slot, k, board));
    return v;
  }
  bool DatalogButtonsShown() const {
    return !form.Command1[10].visible && form.Command1[11].visible && form.Command1[12].visible &&
           form.Command1[13].visible && form.Command1[14].visible;
  }
  bool NormalButtonsShown() const {
    return form.Command1[10].visible && !form.Command1[11].visible && !form.Command1[12].visible &&
           !form.Command1[13].visible && form.Command1[14].visible;
  }
};

// ------------------------------------------------------------------ setup

class DatalogSetup : public DatalogFixture {};

TEST_F(DatalogSetup, RefusesSampleCountsOutsideTheRingAndPathsItCannotWrite) {
  std::ofstream(dir / "plain-file") << "x";
  for (const char* folder : {"folder.xlsx", "folder", "next.xlsx"})
    std::filesystem::create_directory(dir / folder);
  const std::vector<std::tuple<int, std::string, std::string>> cases{
      {0, dir / "run.xlsx", "1 to 1000"},
      {-3, dir / "run.xlsx", "1 to 1000"},
      {1001, dir / "run.xlsx", "1 to 1000"},
      {30000, dir / "run.xlsx", "1 to 1000"},
      {25, "", "full path"},
      {25, "relative/run.xlsx", "full path"},
      {25, dir / "missing/run.xlsx", "does not exist"},
      {25, dir / "plain-file/run.xlsx", "is not a folder"},
      {25, dir.path() + "/", "names a folder"},
      {25, dir / "folder.xlsx", "names a folder"},
      {25, dir / "folder", "names a folder"},
      {25, dir / "next", "is a folder"},  // next.xlsx is one
  };
  for (const auto& [samples, file, reason] : cases) {
    std::string why = form.SetupDatalog(samples, file);
    EXPECT_NE(why.find(reason), std::string::npos) << samples << " " << file << ": " << why;
  }
  EXPECT_EQ(form.DATACOLLECTflag, 0);
  EXPECT_EQ(form.SETpoint, 0);
  EXPECT_EQ(form.NewFile, "");
  EXPECT_TRUE(NormalButtonsShown());
}

TEST_F(DatalogSetup, SetsTheRingFileAndStampAndShowsTheDatalogButtons) {
  form.DataCell(3, 5, 0) = "old sample";
  form.DATApoint = 9;
  form.CYCLEflag = 1;
  form.VIEWpoints = 40;
  form.DLASTstamp = "12-07-2026_01_00_00 PM";
  SetUpDatalog(25, "run");
  EXPECT_EQ(form.NewFile, dir / "run.xlsx");
  EXPECT_EQ(form.SETpoint, 25);
  EXPECT_EQ(form.SAMPLEpoints, 25);
  EXPECT_FLOAT_EQ(form.SAMPLEtime, 20.0f);
  EXPECT_EQ(form.DSETUPstamp, "03:15:42 PM @ 12-08-2026");
  EXPECT_EQ(form.DATApoint, 1);
  EXPECT_EQ(form.CYCLEflag, 0);
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_EQ(static_cast<const Form1&>(form).DataCell(3, 5, 0), "");
  // The view report starts again with the empty ring.
  EXPECT_EQ(form.VIEWpoints, 0);
  EXPECT_EQ(form.DLASTstamp, "");
  EXPECT_EQ(form.Command1[13].tooltip, "VIEW 0 SAMPLES FOR 0.000 SECONDS.");
  EXPECT_TRUE(DatalogButtonsShown());
  EXPECT_TRUE(form.Command1[11].enabled);

  // A name already ending in .xlsx (any case) is kept; others get it.
  SetUpDatalog(1000, "RUN2.XLSX");
  EXPECT_EQ(form.NewFile, dir / "RUN2.XLSX");
  EXPECT_FLOAT_EQ(form.SAMPLEtime, 800.0f);
  SetUpDatalog(1, "run3.xls");
  EXPECT_EQ(form.NewFile, dir / "run3.xlsx");
  EXPECT_EQ(Form1::DatalogFileName("/d/R.XLS"), "/d/R.xlsx");
}

TEST_F(DatalogSetup, RefusedWhileRecordingAllowedWhilePaused) {
  SetUpDatalog(25, "first");
  form.Command1_click(11);
  ASSERT_EQ(form.OnOff, 1);
  std::string why = form.SetupDatalog(50, dir / "second");
  EXPECT_NE(why.find("recording"), std::string::npos) << why;
  EXPECT_EQ(form.NewFile, dir / "first.xlsx");
  EXPECT_EQ(form.SETpoint, 25);
  form.Command1_click(11);  // pause
  ASSERT_EQ(form.OnOff, 0);
  SetUpDatalog(50, "second");
  EXPECT_EQ(form.NewFile, dir / "second.xlsx");
  EXPECT_EQ(form.SETpoint, 50);
}

TEST_F(DatalogSetup, ContinuousReadingStopsSoTheDatalogWaitsForStart) {
  form.Command1_click(10);
  ASSERT_EQ(form.OnOff, 1);
  SetUpDatalog(25);
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_EQ(form.Shape3.fill, colors::Red);
  EXPECT_TRUE(form.Command1[7].enabled);
  EXPECT_TRUE(DatalogButtonsShown());
  // No sample is taken until START D-LOG.
  Ticks(8);
  EXPECT_EQ(form.DATApoint, 1);
}

// ---------------------------------------------------------- start / pause

class DatalogRecording : public DatalogFixture {
 protected:
  // Board 0 (address 80): thresholds 0x71 / 0xAB, cells 1 … 3 at 3.600,
  // 4.200, 0.000 V and the rest at 3.000 V, cell 1 over and cell 2 under
  // voltage, temperatures 1.500, 3.000 and 0.300 V.
  void ScriptBoardZero() {
    test::FakeBoard& b = stack.boards["80"];
    b.cfg = {0xE1, 0x00, 0x00, 0x00, 0x71, 0xAB};
    for (int c = 1; c <= 12; ++c) FakeStack::SetCell(b, c, 2000);
    FakeStack::SetCell(b, 1, 2400);
    FakeStack::SetCell(b, 2, 2800);
    FakeStack::SetCell(b, 3, 0);
    b.flg = {0x06, 0x00, 0x00};
    b.tmp = {0xE8, 0x03, 0x7D, 0xC8, 0x00};
  }
};

TEST_F(DatalogRecording, StartPauseAndResume) {
  SetUpDatalog(25);
  form.Command1_click(11);  // START D-LOG
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.Command1[10].caption, "STOP  CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Green);
  // The start reads the configuration, then runs the READ CONFIG action.
  EXPECT_EQ(Count("MSxT80T02"), 2);
  for (int i : {2, 3, 4, 6, 7, 8, 9}) EXPECT_FALSE(form.Command1[i].enabled) << i;
  for (int i = 2; i <= 4; ++i) EXPECT_FALSE(form.Check5[i].enabled) << i;
  EXPECT_EQ(form.Check5[2].value(), 1);
  EXPECT_EQ(form.Check5[4].value(), 1);
  for (int i = 1; i <= 3; ++i) EXPECT_FALSE(form.Label18[i].enabled) << i;
  for (int i = 0; i <= 1; ++i)
    EXPECT_FALSE(form.Command3[i].enabled || form.Check8[i].enabled) << i;
  for (const auto& c : form.Command5) EXPECT_FALSE(c.enabled);
  EXPECT_EQ(form.BRDread, 0);
  EXPECT_EQ(form.MEASUREflag, 0);
  EXPECT_TRUE(DatalogButtonsShown());

  // One pass puts readings into the stack's tables.
  SetBoards(3);
  ScriptBoardZero();
  stack.boards["81"].tmp = {0xE8, 0x03, 0x7D, 0xC8, 0x00};
  FakeStack::SetCell(stack.boards["81"], 12, 2000);
  Ticks(8);
  ASSERT_FLOAT_EQ(form.CELLvolt[1], 3.6f);
  ASSERT_FLOAT_EQ(form.CELLvolt[24], 3.0f);
  ASSERT_FLOAT_EQ(form.CELLvolt[124], 1.5f);

  form.Command1_click(11);  // pause
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.Command1[10].caption, "START CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Red);
  EXPECT_EQ(form.CELLSTATUSclearflag, 1);
  EXPECT_EQ(form.BRDread, form.BRDnumber);
  ExpectReadingControlsEnabled();
  // Every cell and temperature reading of the stack is zeroed.
  for (int i = 1; i <= 36; ++i) EXPECT_EQ(form.CELLvolt[static_cast<size_t>(i)], 0.0f) << i;
  for (int i = 121; i <= 129; ++i) EXPECT_EQ(form.CELLvolt[static_cast<size_t>(i)], 0.0f) << i;
  EXPECT_TRUE(DatalogButtonsShown());
  // Paused: the ticks collect nothing.
  const I16 point = form.DATApoint;
  Ticks(8);
  EXPECT_EQ(form.DATApoint, point);

  form.Command1_click(11);  // resume
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_EQ(form.Shape3.fill, colors::Green);
  EXPECT_FALSE(form.Command1[7].enabled);
  Ticks(4);
  EXPECT_EQ(form.DATApoint, point + 1);
}

TEST_F(DatalogRecording, EachPassOfTheCycleCollectsOneSample) {
  SetBoards(3);
  ScriptBoardZero();
  FakeStack::SetCell(stack.boards["81"], 12, 2400);
  SetUpDatalog(25);
  form.Command1_click(11);
  stack.bridge.writes.clear();

  // Board 0: configuration and cells with the report, temperatures, flags,
  // then the sample.
  std::vector<std::vector<std::string>> reads;
  for (int t = 0; t < 4; ++t) {
    stack.bridge.writes.clear();
    form.Timer1_Timer();
    std::vector<std::string> tick;
    for (const auto& w : Writes()) {
      if (w.rfind("MSxT8", 0) == 0) tick.push_back(w.substr(4, 5));
    }
    reads.push_back(tick);
  }
  EXPECT_EQ(reads,
            (std::vector<std::vector<std::string>>{{"80T02", "80T04"}, {"80T08"}, {"80T06"}, {}}));
  EXPECT_EQ(form.DATApoint, 2);
  EXPECT_EQ(form.BRDread, 1);

  std::vector<std::string> board0{"03:15:42 PM @ 12-08-2026",
                                  "E1, 00, 00, 00, 71, AB.",
                                  "06, 00, 00",
                                  "2.712V ",
                                  "4.104V ",
                                  "3.600",
                                  "4.200",
                                  "0.000"};
  board0.resize(17, "3.000");  // cells 4 ... 12
  board0.insert(board0.end(),
                {"OV, UV, OK, OK, OK, OK, OK, OK, OK, OK, OK, OK", " 1.500", " 3.000", " 0.300"});
  EXPECT_EQ(Fields(1, 0), board0);
  // Board 1 has not been read yet in this datalog: its cells are 0.000 and
  // its cells have no status.
  std::vector<std::string> board1 = Fields(1, 1);
  EXPECT_EQ(board1[0], "03:15:42 PM @ 12-08-2026");
  EXPECT_EQ(board1[16], "0.000");
  EXPECT_EQ(board1[17], "NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR, NR");
  EXPECT_EQ(board1[18], " 0.000");
  EXPECT_EQ(Fields(1, 2).size(), 21u);
  EXPECT_EQ(Fields(1, 3), std::vector<std::string>(21));  // above the stack: empty

  // The next pass reads board 1, so its sample shows board 1's cell 12.
  platform.now = kSetupTime + std::chrono::seconds(1);
  Ticks(4);
  EXPECT_EQ(form.DATApoint, 3);
  EXPECT_EQ(form.DataCell(2, 16, 1), "3.600");
  EXPECT_EQ(form.DataCell(2, 0, 0), "03:15:43 PM @ 12-08-2026");
  EXPECT_EQ(form.DataCell(2, 5, 0), "3.600");   // board 0 keeps its newest values
  EXPECT_EQ(form.DataCell(1, 16, 1), "0.000");  // the earlier sample is unchanged
  // The report of the second pass counted the first sample.
  EXPECT_EQ(form.VIEWpoints, 1);
  EXPECT_EQ(form.Command1[13].tooltip, "VIEW 1 SAMPLES FOR 0.800 SECONDS.");
  EXPECT_EQ(form.DCURRENTstamp, "03:15:43 PM @ 12-08-2026");
  EXPECT_EQ(form.DLASTstamp, "12-08-2026_03_15_43 PM");
}

TEST_F(DatalogRecording, RingWrapsAndTheViewListsTheNewestSamplesOldestFirst) {
  SetUpDatalog(3);
  form.Command1_click(11);
  for (int pass = 1; pass <= 5; ++pass) {
    platform.now = kSetupTime + std::chrono::seconds(pass);
    Ticks(4);
    if (pass == 3) {
      EXPECT_EQ(form.DATApoint, 1);
      EXPECT_EQ(form.CYCLEflag, 1);
    }
  }
  EXPECT_EQ(form.DATApoint, 3);
  EXPECT_EQ(form.CYCLEflag, 1);
  EXPECT_EQ(form.Command1[13].tooltip, "VIEW 3 SAMPLES FOR 2.400 SECONDS.");

  form.Command1_click(13);  // VIEW
  EXPECT_EQ(form.COUNTERstop, 3);
  ASSERT_TRUE(platform.messages.empty()) << platform.messages[0];
  EXPECT_EQ(platform.opened, (std::vector<std::string>{dir / "run.xlsx"}));
  EXPECT_TRUE(test::LooksLikeXlsx(dir / "run.xlsx"));
  // VIEW does not end the recording: its journal stays beside the workbook.
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"eb2250_datalog.journal", "run.xlsx"}));
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
  EXPECT_EQ(form.Label_AUTOstatus.fore, colors::DarkRed);
  // Recording goes on with the ring as it was.
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_EQ(form.DATApoint, 3);
  EXPECT_EQ(form.DataCell(1, 0, 0), "03:15:46 PM @ 12-08-2026");

  // What the file holds: passes 3, 4, 5.
  MemorySheet sheet;
  datalog::BuildDatalogSheet(form, sheet, form.NewFile);
  EXPECT_EQ(test::Shown(sheet, "A1"), dir / "run.xlsx");
  EXPECT_EQ(test::Shown(sheet, "A4"), "SECONDS = 2.400");
  EXPECT_EQ(test::Shown(sheet, "A8"), "SAMPLES = 3");
  EXPECT_EQ(test::Shown(sheet, "B12"), "03:15:45 PM @ 12-08-2026");
  EXPECT_EQ(test::Shown(sheet, "B13"), "03:15:46 PM @ 12-08-2026");
  EXPECT_EQ(test::Shown(sheet, "B14"), "03:15:47 PM @ 12-08-2026");
  EXPECT_EQ(sheet.Integer(14, 1), 3);
  EXPECT_EQ(sheet.LastRow(), 14);
}

TEST_F(DatalogRecording, ViewBeforeAnySampleWritesTheHeaderOnly) {
  SetUpDatalog(25);
  form.Command1_click(13);
  EXPECT_EQ(form.COUNTERstop, 1);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_TRUE(test::LooksLikeXlsx(dir / "run.xlsx"));
  EXPECT_EQ(platform.opened, (std::vector<std::string>{dir / "run.xlsx"}));
  MemorySheet sheet;
  datalog::BuildDatalogSheet(form, sheet, form.NewFile);
  EXPECT_EQ(sheet.LastRow(), 11);
  EXPECT_EQ(test::Shown(sheet, "A3"), "DATALOG SETUP MADE   = 03:15:42 PM @ 12-08-2026");
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.OnOff, 0);
}

TEST_F(DatalogRecording, StopWritesTheLastDatalogAndReturnsToContinuousReading) {
  SetUpDatalog(25);
  form.Command1_click(11);
  Ticks(8);  // two samples; the second pass reports at 03:15:42 PM
  ASSERT_EQ(form.DATApoint, 3);
  platform.now = kSetupTime + std::chrono::minutes(5);  // the stop itself comes later

  form.Command1_click(12);  // STOP
  ASSERT_TRUE(platform.messages.empty()) << platform.messages[0];
  const std::string last = dir / "12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx";
  EXPECT_EQ(form.LastDATAlog, last);
  EXPECT_TRUE(test::LooksLikeXlsx(last));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx"}));
  EXPECT_TRUE(platform.opened.empty());
  // The ring is emptied, the datalog is over, continuous reading runs.
  EXPECT_EQ(static_cast<const Form1&>(form).DataCell(1, 0, 0), "");
  EXPECT_EQ(static_cast<const Form1&>(form).DataCell(2, 5, 0), "");
  EXPECT_EQ(form.DATApoint, 1);
  EXPECT_EQ(form.CYCLEflag, 0);
  EXPECT_EQ(form.VIEWCAPTUREflag, 0);
  EXPECT_EQ(form.DATACOLLECTflag, 0);
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_TRUE(NormalButtonsShown());
  EXPECT_EQ(form.Command1[10].caption, "STOP  CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Green);
  EXPECT_TRUE(form.Command1[6].enabled);
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
  // The cycle is the continuous one again: three ticks per board, no sample.
  stack.bridge.writes.clear();
  Ticks(3);
  EXPECT_EQ(Count("MSxT80T04"), 1);
  EXPECT_EQ(Count("MSxT80T02"), 0);
  EXPECT_EQ(form.DATApoint, 1);
}

TEST_F(DatalogRecording, AStopWithoutNewSamplesNeverReplacesAnEarlierLastDatalog) {
  SetUpDatalog(25);
  form.Command1_click(11);
  Ticks(4);
  form.Command1_click(12);
  ASSERT_TRUE(platform.messages.empty());
  // A new datalog stopped at once, in the same second: the file is named
  // after the stop and does not take the first one's place.
  SetUpDatalog(25, "second");
  platform.now = kSetupTime;
  form.Command1_click(12);
  ASSERT_TRUE(platform.messages.empty());
  EXPECT_EQ(form.LastDATAlog, dir / "12-08-2026_03_15_42 PM_LAST_DATALOG_2.xlsx");
  EXPECT_EQ(dir.Entries(),
            (std::vector<std::string>{"12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx",
                                      "12-08-2026_03_15_42 PM_LAST_DATALOG_2.xlsx"}));
}

TEST_F(DatalogRecording, AFailedExportReportsTheFileAndKeepsEverything) {
  std::ofstream(dir / "file-not-dir") << "x";
  SetUpDatalog(25);
  form.Command1_click(11);
  Ticks(8);
  ASSERT_EQ(form.DATApoint, 3);
  const std::vector<std::string> sample = Fields(2, 0);

  // VIEW into a path whose folder is a plain file.
  const std::string bad = dir / "file-not-dir/out.xlsx";
  form.NewFile = bad;
  form.Command1_click(13);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0], "Cannot write the datalog to " + bad +
                                      ": Not a directory. The recorded samples are kept.");
  EXPECT_TRUE(platform.opened.empty());
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
  EXPECT_EQ(form.Label_AUTOstatus.fore, colors::DarkRed);

  // STOP into an application directory that is a plain file.
  platform.appDir = dir / "file-not-dir";
  form.Command1_click(12);
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[1], "Cannot write the datalog to " + form.LastDATAlog +
                                      ": Not a directory. The recorded samples are kept.");
  EXPECT_EQ(form.LastDATAlog, dir / "file-not-dir/12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx");
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
  // Still recording, with the samples where they were.
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_EQ(form.DATApoint, 3);
  EXPECT_EQ(Fields(2, 0), sample);
  EXPECT_TRUE(DatalogButtonsShown());
  // Nothing saved: the journal of the recording stays.
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"eb2250_datalog.journal", "file-not-dir"}));
  Ticks(4);
  EXPECT_EQ(form.DATApoint, 4);
}

TEST_F(DatalogRecording, ClosingSavesRecordedSamplesOnly) {
  // No datalog, or a datalog without samples: nothing is written.
  form.SaveDatalogOnUnload();
  SetUpDatalog(2);
  form.SaveDatalogOnUnload();
  EXPECT_TRUE(dir.Entries().empty());

  form.Command1_click(11);
  Ticks(8);  // two samples: the ring of two has wrapped, DATApoint is 1 again
  ASSERT_EQ(form.DATApoint, 1);
  ASSERT_EQ(form.CYCLEflag, 1);
  form.SaveDatalogOnUnload();
  EXPECT_EQ(form.COUNTERstop, 1);
  EXPECT_EQ(form.LastDATAlog, dir / "12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx");
  EXPECT_TRUE(test::LooksLikeXlsx(form.LastDATAlog));
  // The operator is told where the samples went.
  EXPECT_EQ(platform.messages, (std::vector<std::string>{"The datalog's samples were saved to " +
                                                         form.LastDATAlog + "."}));
}

TEST_F(DatalogRecording, ClosingAfterAFailedWriteSavesInAFallbackFolderAndSaysWhere) {
  SetUpDatalog(2);
  form.Command1_click(11);
  Ticks(4);
  // The datalog folder is gone; home (a scratch folder here) takes the file.
  const std::string home = dir / "home";
  std::filesystem::create_directory(home);
  test::ScopedEnv homeEnv("HOME", home);
  test::ScopedEnv documents("XDG_DOCUMENTS_DIR", nullptr);
  test::ScopedEnv tmp("TMPDIR", nullptr);
  platform.appDir = dir / "no-such-folder";
  form.SaveDatalogOnUnload();
  EXPECT_EQ(form.LastDATAlog, home + "/12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx");
  EXPECT_TRUE(test::LooksLikeXlsx(form.LastDATAlog));
  ASSERT_EQ(platform.messages.size(), 1u);
  const std::string& said = platform.messages[0];
  EXPECT_NE(said.find("Cannot write the datalog to " + dir / "no-such-folder"), std::string::npos)
      << said;
  EXPECT_NE(said.find("saved to " + form.LastDATAlog + " instead."), std::string::npos) << said;
}

TEST_F(DatalogRecording, LosingTheBridgeWhileRecordingKeepsTheSamples) {
  SetUpDatalog(10);
  form.Command1_click(11);
  Ticks(8);  // two samples of the one-board stack
  ASSERT_EQ(form.DATApoint, 3);
  stack.bridge.openOk = false;  // unplugged: the next tick closes the window
  form.Timer1_Timer();
  EXPECT_TRUE(form.Unloaded);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"12-08-2026_03_15_42 PM_LAST_DATALOG.xlsx"}));
  EXPECT_TRUE(test::LooksLikeXlsx(form.LastDATAlog));
}

// ------------------------------------------------- samples and the report

class DatalogCollect : public DatalogFixture {};

TEST_F(DatalogCollect, FieldTextsOfASampleIncludingUnreadableValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  form.CARDSTACK = 1;
  form.DATApoint = 7;
  form.CFGR0rd[1] = "E0";
  form.CFGR1rd[1] = "0F";
  form.CFGR2rd[1] = "??";
  form.CFGR3rd[1] = "00";
  form.CFGR4rd[1] = "AB";
  form.CFGR5rd[1] = "CD";
  form.FLGR0rd[1] = "10";
  form.FLGR1rd[1] = "20";
  form.FLGR2rd[1] = "30";
  form.VUVread[1] = "-.---V ";
  form.VOVread[1] = "4.200V ";
  for (int c = 1; c <= 12; ++c)
    form.CELLvolt[static_cast<size_t>(12 + c)] = 1.0f + 0.25f * static_cast<float>(c);
  form.CELLvolt[14] = nan;
  for (int c = 0; c <= 11; ++c)
    form.CELLstatus[static_cast<size_t>(12 + c)] = static_cast<I16>(c % 8);
  form.CELLvolt[124] = 0.0015f;
  form.CELLvolt[125] = nan;
  form.CELLvolt[126] = 2.5f;

  form.COLLECT_DATA_xls();
  EXPECT_EQ(form.DATApoint, 8);
  std::vector<std::string> want{"03:15:42 PM @ 12-08-2026",
                                "E0, 0F, ??, 00, AB, CD.",
                                "10, 20, 30",
                                "-.---V ",
                                "4.200V ",
                                "1.250",
                                "-.---"};
  for (const char* v :
       {"1.750", "2.000", "2.250", "2.500", "2.750", "3.000", "3.250", "3.500", "3.750", "4.000"})
    want.push_back(v);
  want.insert(want.end(),
              {"NR, OK, DC, UV, OV, MI, MD, TS, NR, OK, DC, UV", " 0.002", " -.---", " 2.500"});
  EXPECT_EQ(Fields(7, 1), want);
  EXPECT_EQ(Fields(7, 2), std::vector<std::string>(21));  // above the stack
  EXPECT_EQ(Fields(8, 1), std::vector<std::string>(21));
}

TEST_F(DatalogCollect, ClearEmptiesEveryFieldOfTheRing) {
  // Slots up to SETpoint and boards past CARDSTACK too: a stack that grows
  // after the setup must not export an earlier datalog's readings.
  form.SETpoint = 3;
  form.CARDSTACK = 1;
  for (int s = 0; s <= 3; ++s) {
    form.DataCell(s, 0, 0) = "t";
    form.DataCell(s, 30, 9) = "x";
  }
  form.DATApoint = 3;
  form.CLEAR_DATAlog();
  const Form1& f = form;
  for (int s = 0; s <= 3; ++s) {
    EXPECT_EQ(f.DataCell(s, 0, 0), "") << s;
    EXPECT_EQ(f.DataCell(s, 30, 9), "") << s;
  }
  EXPECT_EQ(form.DATApoint, 1);
}

TEST_F(DatalogCollect, ReportCountsTheRingAndStampsTheMoment) {
  form.DATApoint = 26;
  form.CYCLEflag = 0;
  form.REPORT_DLOG_current();
  EXPECT_EQ(form.VIEWpoints, 25);
  EXPECT_FLOAT_EQ(form.VIEWtime, 20.0f);
  EXPECT_EQ(form.Command1[13].tooltip, "VIEW 25 SAMPLES FOR 20.000 SECONDS.");
  EXPECT_EQ(form.DCURRENTstamp, "03:15:42 PM @ 12-08-2026");
  EXPECT_EQ(form.DLASTstamp, "12-08-2026_03_15_42 PM");

  // A wrapped ring holds the whole datalog.
  form.CYCLEflag = 1;
  form.SAMPLEpoints = 1000;
  form.SAMPLEtime = 800.0f;
  form.DATApoint = 4;
  platform.now = LocalTime(2027, 1, 2, 0, 5, 9);
  form.REPORT_DLOG_current();
  EXPECT_EQ(form.VIEWpoints, 1000);
  EXPECT_EQ(form.Command1[13].tooltip, "VIEW 1000 SAMPLES FOR 800.000 SECONDS.");
  EXPECT_EQ(form.DCURRENTstamp, "12:05:09 AM @ 01-02-2027");
  EXPECT_EQ(form.DLASTstamp, "01-02-2027_12_05_09 AM");
  platform.now = LocalTime(2027, 1, 2, 12, 0, 0);
  form.REPORT_DLOG_current();
  EXPECT_EQ(form.DCURRENTstamp, "12:00:00 PM @ 01-02-2027");
}

}  // namespace
}  // namespace eb
