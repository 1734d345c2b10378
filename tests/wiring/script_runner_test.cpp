// Operator scripts: line parsing, JSON output, expectations and exit codes.
#include "wiring/script_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>

#include "support/fake_stack.h"
#include "support/script_run.h"
#include "window/form1.h"

namespace eb {
namespace {

using test::RunOnFake;
using test::RunResult;

// Records what "sim" lines hand to the stack and answers with a canned error.
class FakeControl : public StackControl {
 public:
  std::vector<std::vector<std::string>> applied;
  std::string answer;
  std::string Apply(const std::vector<std::string>& words) override {
    applied.push_back(words);
    return answer;
  }
};

TEST(ScriptLine, WordsQuotesEscapesAndComments) {
  std::vector<std::string> w;
  ASSERT_TRUE(SplitScriptLine("  expect Text1 0 text \" 3.600V  \"   # comment", &w));
  EXPECT_EQ(w, (std::vector<std::string>{"expect", "Text1", "0", "text", " 3.600V  "}));
  ASSERT_TRUE(SplitScriptLine("type Text2 0 \"3.6\\r\\\"x\\\\\"", &w));
  EXPECT_EQ(w.back(), "3.6\r\"x\\");
  ASSERT_TRUE(SplitScriptLine("expect Label8 1 caption \"\"", &w));
  EXPECT_EQ(w.back(), "");
  ASSERT_TRUE(SplitScriptLine("print Text8 # \"not a quote", &w));
  EXPECT_EQ(w.size(), 2u);
  ASSERT_TRUE(SplitScriptLine("expect X caption \"a # b\"", &w));
  EXPECT_EQ(w.back(), "a # b");
  EXPECT_FALSE(SplitScriptLine("type Text2 0 \"open", &w));
  ASSERT_TRUE(SplitScriptLine("   \r", &w));
  EXPECT_TRUE(w.empty());
}

TEST(ScriptJson, EachKindPrintsItsOwnProperties) {
  ControlModel m;
  Control shape{m, Kind::Shape, "Shape3"};
  Control text{m, Kind::TextBox, "Text8"};
  Control label{m, Kind::Label, "Label21"};
  ControlArray boxes{m, Kind::CheckBox, "Check5", 2};
  shape.fill = colors::Green;
  shape.fillShown = true;
  shape.borderWidth = 3;
  text.text = "0x12 == 0x12";
  text.back = colors::White;
  text.locked = true;
  label.caption = "say \"hi\"";
  boxes[1].initValue(1);
  boxes[1].font.bold = true;
  EXPECT_EQ(ScriptRunner::ControlJson(shape),
            "{\"name\":\"Shape3\",\"kind\":\"shape\",\"fill\":\"#00FF00\",\"fillShown\":true,"
            "\"border\":\"#000000\",\"borderWidth\":3,\"visible\":true,\"enabled\":true,\"left\":0,"
            "\"top\":0,\"width\":0,\"height\":0}");
  EXPECT_EQ(
      ScriptRunner::ControlJson(text),
      "{\"name\":\"Text8\",\"kind\":\"textbox\",\"text\":\"0x12 == 0x12\",\"back\":\"#FFFFFF\","
      "\"visible\":true,\"enabled\":true,\"locked\":true,\"left\":0,\"top\":0,\"width\":0,"
      "\"height\":0,\"tooltip\":\"\",\"bold\":false}");
  std::string l = ScriptRunner::ControlJson(label);
  EXPECT_NE(l.find("\"caption\":\"say \\\"hi\\\"\""), std::string::npos) << l;
  EXPECT_EQ(l.find("\"back\""), std::string::npos);  // transparent: no back colour
  std::string b = ScriptRunner::ControlJson(boxes[1]);
  EXPECT_NE(b.find("\"name\":\"Check5\",\"index\":1,\"kind\":\"checkbox\""), std::string::npos)
      << b;
  EXPECT_NE(b.find("\"value\":1"), std::string::npos);
  EXPECT_NE(b.find("\"bold\":true"), std::string::npos);
  EXPECT_EQ(b.find("\"text\""), std::string::npos);
}

TEST(ScriptRun, ExitStatusesAndMessages) {
  EXPECT_EQ(RunOnFake("expect Label21 caption \"1\"\n").status, 0);
  RunResult failed = RunOnFake("tick\nexpect OnOff value 1\ntick\n");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("EXPECT FAILED t.script:2: OnOff is 0, expected 1"), std::string::npos)
      << failed.out;
  RunResult unknown = RunOnFake("tick\n\n# c\nwiggle Command1 2\n");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("t.script:4: unknown command \"wiggle\""), std::string::npos)
      << unknown.err;
  EXPECT_EQ(RunOnFake("click Command1\n").status, 2);     // array needs an index
  EXPECT_EQ(RunOnFake("click Command1 15\n").status, 2);  // out of range
  EXPECT_EQ(RunOnFake("click Label21 3\n").status, 2);    // not an array: extra word
  EXPECT_EQ(RunOnFake("set Text1 0 1\n").status, 2);      // text boxes take no value
  EXPECT_EQ(RunOnFake("set Combo1 10\n").status, 2);      // list index out of range
  EXPECT_EQ(RunOnFake("state NoSuch\n").status, 2);
  EXPECT_EQ(RunOnFake("state CFGR0 11\n").status, 2);
  EXPECT_EQ(RunOnFake("sim cell 0 1 3.3\n").status, 2);  // not the simulator
  RunResult closed = [] {
    test::FakeStack stack;
    stack.identity = "NOBODY";
    return RunOnFake("tick\n", &stack);
  }();
  EXPECT_EQ(closed.status, 3);
  EXPECT_EQ(closed.out, "CLOSED\n");
}

TEST(ScriptRun, ValuesAControlCannotTakeAreMalformedLines) {
  struct Case {
    const char* line;
    const char* error;
  };
  const Case cases[] = {
      {"set Option1 0 5", "t.script:1: set: an option button takes 0 or 1\n"},
      {"set Option1 1 -1", "t.script:1: set: an option button takes 0 or 1\n"},
      {"set Check5 2 2", "t.script:1: set: a check box takes 0 or 1\n"},
      {"set Combo1 -1", "t.script:1: set: list index -1 out of range for Combo1\n"},
      {"tick -5", "t.script:1: tick: bad count -5 (0 or more)\n"},
  };
  for (const Case& c : cases) {
    RunResult r = RunOnFake(std::string(c.line) + "\n");
    EXPECT_EQ(r.status, 2) << c.line;
    EXPECT_EQ(r.err, c.error) << c.line;
    EXPECT_EQ(r.out, std::string("SCRIPT ERROR ") + c.error) << c.line;
  }
  // The values they do take.
  RunResult ok = RunOnFake("set Option1 1 1\nset Check5 2 1\nset Check5 2 0\ntick 0\ntick 2\n");
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
}

TEST(ScriptRun, AMalformedLineIsReportedInOneShortPrintableLine) {
  // Ten megabytes of one word: the message quotes its first 40 characters.
  RunResult huge = RunOnFake("tick\n" + std::string(10 * 1024 * 1024, 'A') + "\n");
  EXPECT_EQ(huge.status, 2);
  EXPECT_EQ(huge.err, "t.script:2: unknown command \"" + std::string(40, 'A') + "...\"\n");
  EXPECT_EQ(huge.out, "SCRIPT ERROR " + huge.err);
  // Binary garbage and escapes that would move the terminal's cursor or
  // break the line come out as \xNN.
  RunResult binary = RunOnFake(std::string("click Command1 \x01\x1B[2J\xFF\n"));
  EXPECT_EQ(binary.status, 2);
  EXPECT_EQ(binary.err, "t.script:1: click: bad index \"\\x01\\x1B[2J\\xFF\" for Command1\n");
  RunResult newline = RunOnFake("print \"Text1\\nText2\" 0\n");
  EXPECT_EQ(newline.status, 2);
  EXPECT_EQ(newline.err, "t.script:1: print: unknown control \"Text1\\x0AText2\"\n");
  RunResult nul = RunOnFake(std::string("state CELL\0volt\n", 16));
  EXPECT_EQ(nul.status, 2);
  EXPECT_EQ(nul.err, "t.script:1: state: unknown variable \"CELL\\x00volt\"\n");
  // The simulated stack's own complaints quote the same way.
  FakeControl control;
  control.answer = "sim cell: bad board '\\x1B'";
  RunResult sim = RunOnFake("sim cell \x1B 1 3\n", nullptr, &control);
  EXPECT_EQ(sim.status, 2);
  EXPECT_EQ(sim.err, "t.script:1: sim: sim cell: bad board '\\x1B'\n");
}

TEST(ScriptRun, SimLinesGoToTheStackControl) {
  FakeControl control;
  RunResult r = RunOnFake("sim cell 0 3 3.912\nsim unplug\n", nullptr, &control);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(control.applied,
            (std::vector<std::vector<std::string>>{{"cell", "0", "3", "3.912"}, {"unplug"}}));
  control.applied.clear();
  control.answer = "sim open: expected 0 or 1, got '2'";
  RunResult refused = RunOnFake("tick\nsim open 0 1 2\ntick\n", nullptr, &control);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "t.script:2: sim: sim open: expected 0 or 1, got '2'\n");
  EXPECT_EQ(control.applied.size(), 1u);
}

// A window over the fake stack's one board at 80, run by a script runner.
struct FakeWindow {
  FakeWindow() { stack.boards["80"] = {}; }
  test::FakeStack stack;
  std::ostringstream out, err;
  ScriptRunner runner{out, err};
  Form1 form{stack.bridge, runner};
};

TEST(ScriptRun, AScriptThatCannotBeReadIsNoEmptyScript) {
  // A directory opens as a stream but every read fails.
  FakeWindow w;
  std::ifstream directory(EB_TEST_DATA_DIR);
  ASSERT_TRUE(directory.is_open());
  EXPECT_EQ(w.runner.Run(w.form, directory, "t.script", nullptr), 2);
  EXPECT_EQ(w.err.str(), "t.script:1: cannot read the script\n");
}

TEST(ScriptRun, AStopFromOutsideEndsTheRunBetweenTicks) {
  // Like a trace that stops being written five transactions into the ticks.
  test::FakeStack stack;
  stack.boards["80"] = {};
  bool started = false;
  bool broken = false;
  int writes = 0;
  auto answer = stack.bridge.responder;
  stack.bridge.responder = [&](const std::string& command) {
    if (started && ++writes == 5) broken = true;
    return answer(command);
  };
  std::ostringstream out, err;
  ScriptRunner runner(out, err);
  runner.StopWhen([&] {
    started = true;
    return broken;
  });
  Form1 form(stack.bridge, runner);
  std::istringstream in("tick 100000\nprint Label21\n");
  EXPECT_EQ(runner.Run(form, in, "t.script", nullptr), 2);
  EXPECT_LT(writes, 100);  // the ticks stopped right after the failure
  EXPECT_EQ(out.str().find("Label21"), std::string::npos) << out.str();
  EXPECT_EQ(err.str(), "");  // the caller says why
}

TEST(ScriptRun, StateValuesAndTheirExpectations) {
  RunResult r = RunOnFake(
      "state BRDaddress 3\nstate CFGR0\nstate DCCmark 0 11\nstate CVRbyte 0 17\n"
      "expect CFGR0 9 value \"E0\"\nexpect DCCmark 2 3 value 0\nexpect PECtable 255 value 243\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("{\"name\":\"BRDaddress\",\"index\":3,\"value\":\"83\"}"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"name\":\"CFGR0\",\"value\":[\"E0\",\"E0\",\"E0\""), std::string::npos);
  EXPECT_NE(r.out.find("{\"name\":\"DCCmark\",\"index\":0,\"index2\":11,\"value\":0}"),
            std::string::npos);
  EXPECT_NE(r.out.find("{\"name\":\"CVRbyte\",\"index\":0,\"index2\":17,\"value\":0}"),
            std::string::npos);
}

TEST(ScriptRun, OperatorActionsGoThroughTheHandlers) {
  RunResult r = RunOnFake(R"(
click Check5 2
expect BCASTflag_STCVAD 0 value 1
expect Check8 0 value 1
click Check5 2
expect BCASTflag_STCVAD 0 value 0
set Check_AUTO 1
expect AUTORESTARTflag value 1
click Command1 10
click Command1 7
type Text2 1 "4.2\r"
expect VOVreg 0 value 175
expect CFGR5 0 value "AF"
type Text2 0 "4.5\r"
expect-msgbox "VUV must be less than VOV"
expect-no-msgbox
print Check5
)");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("IGNORED: Command1(7) is disabled"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MSGBOX: VUV must be less than VOV"), std::string::npos);
  // print of a whole array: one line per element.
  EXPECT_NE(r.out.find("\"name\":\"Check5\",\"index\":5"), std::string::npos);
}

// The usage text is the command table's, and the README lists it as it is.
TEST(ScriptRun, TheUsageIsTheCommandTableAndTheReadmeHoldsIt) {
  const std::string usage = ScriptUsageText();
  for (const ScriptCommand& row : ScriptCommands())
    EXPECT_NE(("\n" + usage).find("\n  " + std::string(row.name) + " "), std::string::npos);
  std::ifstream in(std::string(EB_SOURCE_DIR) + "/README.md");
  std::stringstream readme;
  readme << in.rdbuf();
  EXPECT_NE(readme.str().find("```\n" + usage + "```\n"), std::string::npos)
      << "the README's script commands are not ScriptUsageText():\n"
      << usage;
}

// A line run on a window that has started, as a client of a running window
// sends one: its status and output are those of the same line in a script.
TEST(ScriptRun, OneLineOnAStartedWindow) {
  FakeWindow w;
  w.form.Form_Load();
  EXPECT_EQ(w.runner.RunLine(w.form, "print Label21", "client", 1, nullptr), 0);
  EXPECT_EQ(w.out.str().rfind("{\"name\":\"Label21\"", 0), 0u) << w.out.str();
  EXPECT_EQ(w.runner.RunLine(w.form, "  # nothing", "client", 2, nullptr), 0);
  EXPECT_EQ(w.runner.RunLine(w.form, "expect OnOff value 1", "client", 3, nullptr), 1);
  EXPECT_EQ(w.runner.RunLine(w.form, "wiggle", "client", 4, nullptr), 2);
  EXPECT_EQ(w.err.str(),
            "client:3: expectation failed: OnOff\nclient:4: unknown command \"wiggle\"\n");
  std::string error;
  const std::optional<Observation> seen = Observe(w.form, {"x", "OnOff", "value", "0"}, &error);
  ASSERT_TRUE(seen) << error;
  EXPECT_TRUE(seen->Holds());
  EXPECT_FALSE(Observe(w.form, {"x", "OnOff", "caption", "0"}, &error));
  EXPECT_EQ(error, "x: a state variable has only the property \"value\"");
}

// wait-for ticks until its condition holds, or fails with what it saw once
// TIMEOUT seconds of ticks have passed.
TEST(ScriptRun, WaitForTicksUntilTheConditionHolds) {
  const std::vector<std::tuple<std::string, int, std::string>> cases{
      {"wait-for Label21 caption \"1\" 0\n", 0, ""},
      {"click Command1 10\nwait-for MEASUREflag value 2 30\nexpect OnOff value 1\n", 0, ""},
      {"wait-for OnOff value 1 0.5\n", 1,
       "EXPECT FAILED t.script:1: OnOff is 0, expected 1 after 0.5 s of ticks\n"},
      {"wait-for OnOff value 1 x\n", 2,
       "SCRIPT ERROR t.script:1: wait-for: bad timeout \"x\" (seconds, 0 … 86400)\n"},
      {"wait-for OnOff value 1\n", 2,
       "SCRIPT ERROR t.script:1: wait-for: use wait-for NAME [INDEX] PROP VALUE TIMEOUT\n"},
  };
  for (const auto& [script, status, out] : cases) {
    const RunResult r = RunOnFake(script);
    EXPECT_EQ(r.status, status) << script << r.out << r.err;
    if (!out.empty()) {
      EXPECT_EQ(r.out, out) << script;
    }
  }
}

}  // namespace
}  // namespace eb
