// Setup files: what an operator set up, saved and loaded on a fresh window
// through its controls, comes back exactly and writes nothing until WRITE
// CONFIG; a bad file is refused with its line and changes nothing.
#include "window/setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "support/datalog_support.h"
#include "support/form_fixture.h"
#include "support/scenario.h"

namespace eb {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int WriteCount(const test::ScenarioResult& r) {
  int n = 0;
  for (const std::string& c : r.Commands()) n += c.find("T01S") != std::string::npos ? 1 : 0;
  return n;
}

TEST(SetupFiles, SavedSetupLoadsOnAFreshWindowExactlyAndWritesOnlyOnWriteConfig) {
  struct Case {
    const char* what;
    const char* steps;
    const char* firstRead;  // a read of the board-count cascade the load must run
  };
  const Case cases[] = {
      {"global, four boards, one board changed after",
       "set Combo1 3\nclick Command0 1\ntype Text2 1 \"4.2\\r\"\ntype Text2 0 \"3.4\\r\"\n"
       "click Check1 2\nclick Check3 2\nclick Check0 4\nclick Command4 2\n"
       "click Check0 3\nclick Check2 6\nclick Check5 0\nclick Check5 2\n",
       "MSxT83T02"},
      {"per board, own address, 10 cells, broadcast temperature start",
       "set Combo1 2\nclick Option3 0\nclick Command4 1\nset Combo2 5\nclick Command0 1\n"
       "click Command0 1\ntype Text2 1 \"4.1\\r\"\ntype Text2 0 \"2.5\\r\"\nclick Check1 7\n"
       "click Check0 7\nclick Command4 2\nclick Command0 1\ntype Text2 1 \"4.3\\r\"\n"
       "click Check5 4\n"
       "click Check2 3\nclick Check0 3\nclick Command4 1\n",
       "MSxT85T02"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScratchDir dir;
    const std::string a = dir / "a.ini", b = dir / "b.ini";
    auto made =
        test::RunScenario("sim:boards=10", std::string(c.steps) + "save-setup \"" + a + "\"\n");
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const std::string saved = ReadFile(a);
    auto loaded = test::RunScenario("sim:boards=10", "load-setup \"" + a + "\"\nsave-setup \"" + b +
                                                         "\"\nexpect-no-msgbox\n"
                                                         "click Command1 5\n");
    ASSERT_EQ(loaded.status, 0) << loaded.out << loaded.err;
    EXPECT_EQ(ReadFile(b), saved);
    EXPECT_GT(loaded.Count(c.firstRead), 0) << "the board-count cascade did not run";
    // The one configuration write is WRITE CONFIG's, of the loaded values.
    EXPECT_EQ(WriteCount(loaded), 1);
    EXPECT_EQ(WriteCount(made), 0);
  }
}

// Every control and every state variable, as the script runner prints them.
std::string Snapshot(const Form1& f) {
  std::string s;
  for (const Control* c : f.ui.controls()) s += ScriptRunner::ControlJson(*c) + "\n";
  for (const std::string& name : f.StateNames()) {
    for (int i = -1; i <= 150; ++i) {
      std::optional<std::string> v =
          f.StateJson(name, i < 0 ? std::nullopt : std::optional<int>(i), std::nullopt);
      if (v) s += name + std::to_string(i) + "=" + *v + "\n";
    }
  }
  return s;
}

class BadSetup : public test::FormFixture {};

TEST_F(BadSetup, IsRefusedWithItsLineAndChangesNothing) {
  SetBoards(2);
  const std::string good = SetupText(form);
  // Each case replaces the first match of `from` in the saved text.
  struct Case {
    const char* from;
    const char* to;
    const char* error;  // what the message says after the file's name
  };
  const Case cases[] = {
      {"version = 1", "version = 2", ":5: setup version 2 is newer than this program reads (1)"},
      {"version = 1\n", "version = 1\ncolour = red\n", ":6: unknown key colour in [setup]"},
      {"boards = 2", "boards = 11", ":6: boards: expected a whole number 1 … 10"},
      {"boards = 2", "boards 2", ":6: expected KEY = VALUE"},
      {"selected = 1", "selected = 3", ":7: selected: board 3 is not in the stack of 2"},
      {"under-voltage = 0.000", "under-voltage = 6.144", ":22: under-voltage: expected volts"},
      {"under-voltage = 0.000", "under-voltage = 3.401",
       ":22: under-voltage: 3.401 V is no whole number of 0.024 V steps (3.384 or 3.408)"},
      {"discharge = none", "discharge = 3, 13", ":24: discharge: expected none or cell numbers"},
      {"mask = none", "mask = 2, 2", ":25: mask: cell 2 is named twice"},
      {"address = 80", "address = 90", ":15: address: expected 80 … 8F"},
      {"cells = 12", "cells = 12\ncells = 10", ":21: cells given twice (first at line 20)"},
      {"mask = none\n", "", ":14: [board 1] has no key mask"},
      {"duty-cycle = 0\n", "duty-cycle = 3\n", ":34: duty-cycle: with scope = global"},
      {"[board 2]", "[board 3]", ":6: no [board 2] section (boards = 2)"},
      {"boards = 2", "boards = 1", ":27: [board 2] is beyond the stack (boards = 1)"},
      {"over-voltage = 0.000", "over-voltage = 0.024", ":36: over-voltage: with scope = global"},
      {"under-voltage = 0.000\nover-voltage = 0.000", "under-voltage = 0.048\nover-voltage = 0.024",
       ":22: under-voltage: 0.048 is not below over-voltage 0.024"},
      {"[board 2]", "[boards 2]", ":27: unknown section [boards 2]"},
      {"# eb2250", "scope = global\n# eb2250", ":1: key before the first section"},
  };
  const std::string before = Snapshot(form);
  test::ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    std::string text = good;
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen(c.from), c.to);
    const std::string file = dir / "bad.ini";
    std::ofstream(file) << text;
    const std::string error = LoadSetupFile(form, file);
    EXPECT_EQ(error.rfind(file + c.error, 0), 0U) << error;
    EXPECT_EQ(Snapshot(form), before);
  }
  // No file to load, a FIFO (which must not hang), continuous reading.
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_NE(LoadSetupFile(form, dir / "fifo").find("not a regular file"), std::string::npos);
  EXPECT_NE(LoadSetupFile(form, dir / "none.ini").find("No such file"), std::string::npos);
  form.OnOff = 1;
  std::ofstream(dir / "good.ini") << good;
  EXPECT_NE(LoadSetupFile(form, dir / "good.ini").find("read continuously"), std::string::npos);
  form.OnOff = 0;
  EXPECT_EQ(Snapshot(form), before);
  EXPECT_TRUE(Writes().empty());
}

}  // namespace
}  // namespace eb
