// Operator scripts and the windows beside the main one: "window trend" and
// the hooks around each tick a script runs; "record" lines.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/fake_stack.h"
#include "window/form1.h"
#include "wiring/script_runner.h"

namespace eb {
namespace {

struct WindowRun {
  int status = -1;
  std::string out, err;
  std::vector<std::string> events;  // hooks called, in order
};

WindowRun RunScript(const std::string& script, bool hooks, const std::string& record = "") {
  test::FakeStack stack;
  stack.boards["80"] = {};
  std::ostringstream out, err;
  ScriptRunner runner(out, err);
  if (!record.empty()) runner.RecordFromStart(record);
  WindowRun r;
  Form1 form(stack.bridge, runner);
  if (hooks) {
    runner.beforeTick = [&] {
      r.events.push_back("before " + std::to_string(form.Timer1.enabled));
    };
    runner.afterTick = [&] { r.events.push_back("after"); };
    runner.openWindow = [&](const std::string& name) { r.events.push_back("open " + name); };
  }
  std::istringstream in(script);
  r.status = runner.Run(form, in, "w.script", nullptr);
  r.out = out.str();
  r.err = err.str();
  return r;
}

TEST(ScriptWindow, TrendOpensThroughTheHookOrIsAcceptedWithoutOne) {
  WindowRun r = RunScript("tick 2\nwindow trend\ntick 1\n", true);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.events, (std::vector<std::string>{"before 1", "after", "before 1", "after",
                                                "open trend", "before 1", "after"}));
  // Without windows (a script run on its own) the line is accepted.
  r = RunScript("window trend\n", false);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(r.events.empty());
}

TEST(ScriptWindow, UnknownOrMissingWindowNamesAreMalformedLines) {
  for (const char* line : {"window\n", "window graph\n", "window trend now\n"}) {
    WindowRun r = RunScript(line, true);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.out.find("SCRIPT ERROR w.script:1: window:"), std::string::npos) << r.out;
    EXPECT_TRUE(r.events.empty()) << line;
  }
}

// Rows of the recording's samples table (-1 when it cannot be read).
long long RecordedSamples(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_stmt* st = nullptr;
  long long n = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT count(*) FROM samples", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

TEST(ScriptWindow, RecordLinesStartAndStopARecording) {
  const std::string db = ::testing::TempDir() + "script_record.db";
  unlink(db.c_str());
  // One board, three ticks a pass: four passes recorded, then none.
  WindowRun r = RunScript("record \"" + db +
                              "\"\nclick Command1 10\ntick 13\nclick Command1 10\ntick 1\n"
                              "record stop\nclick Command1 10\ntick 9\n",
                          false);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(RecordedSamples(db), 4);
  // --record: from the start on, appended to the recording there.
  r = RunScript("click Command1 10\ntick 6\n", false, db);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(RecordedSamples(db), 6);
  // A file that is no recording is refused the way the window refuses it.
  r = RunScript("record \"" + ::testing::TempDir() + "\"\n", false);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("MSGBOX: Cannot record to"), std::string::npos) << r.out;
  for (const char* line : {"record\n", "record \"a.db\" now\n"}) {
    r = RunScript(line, false);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.out.find("SCRIPT ERROR w.script:1: record:"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace eb
