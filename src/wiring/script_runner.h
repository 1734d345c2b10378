// Operator scripts: runs the window model without a window, line by line.
// The commands are the rows of ScriptCommands() (script_runner.cpp), each
// with its usage, its help and its handler; ScriptUsageText() lists them
// (in --help and in the README, which a test holds to it), e.g.
//
//   click Command1 7          operator click (a check box toggles)
//   type Text2 0 "3.6\r"      focus the box, then each key through its key handler
//   tick 9                    timer ticks (only while Timer1 is enabled)
//   expect Text1 0 text " 3.600V  "   exit status 1 when the printed property differs
//   wait-for Text1 0 text " 3.600V  " 10   ticks until it holds, at most 10 s of them
//   sim cell 0 3 3.912        change the simulated stack
//
// Message boxes print "MSGBOX: <text>" and are answered with OK. When the
// window closes the runner prints "CLOSED" and returns 3; a failed expect
// returns 1, a malformed line 2, an internal failure of the window logic 4,
// otherwise 0. A malformed line is reported in one line on each stream,
// naming the script line; whatever it quotes from the script is a short
// excerpt with unprintable bytes written as \xNN. A script that cannot be
// read to its end is malformed too.
#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "window/platform.h"
#include "window/sample_tap.h"
#include "wiring/publishing.h"
#include "wiring/recorder.h"

namespace eb {

class Form1;
class Control;
struct ScriptStep;  // one line being run (script_runner.cpp)

// The stack behind the bridge as the script's "sim" lines change it.
class StackControl {
 public:
  virtual ~StackControl() = default;
  // Carries out the words after "sim" ("cell", "0", "3", "3.912"); returns
  // "" or, in one line, what is wrong with them.
  virtual std::string Apply(const std::vector<std::string>& words) = 0;
};

// One command of the script language.
struct ScriptCommand {
  std::string_view name;   // "expect"
  std::string_view usage;  // the words after the name: "NAME [INDEX] PROP VALUE"
  std::string_view help;   // what it does, lines split by '\n'
  // Runs the line: 0, or the status that ends the script. A malformed line
  // throws (the runner reports it).
  int (*run)(ScriptStep& step);
};

// Every command, in the order of ScriptUsageText.
std::span<const ScriptCommand> ScriptCommands();

// The commands, one per row with their help beside them, then the words
// "sim" takes from the simulated stack's own table.
std::string ScriptUsageText();

// The outcome of one check (expect, expect-msgbox, expect-no-msgbox,
// wait-for), or of the line that ended the script early, for a report.
struct ScriptCheck {
  enum class Outcome { kPassed, kFailed, kError };
  int line = 0;      // the script line's number
  std::string text;  // the line as written
  Outcome outcome = Outcome::kPassed;
  std::string message;  // failed or error: "NAME:LINE: what was seen"
  double seconds = 0;   // how long the line ran
};

// What "NAME [INDEX] PROP VALUE" reads on the window: a control's printed
// property or a state variable's value, against the value expected.
struct Observation {
  std::string label;     // "Text1(0).text", "RDCVvalid(1)"
  std::string actual;    // as printed (JSON)
  std::string expected;  // as written in the script
  // Whether the printed value is the one expected (a string without its quotes).
  bool Holds() const;
  // "LABEL is ACTUAL, expected EXPECTED", the expected value printed as the
  // actual one is (quoted when it is a string).
  std::string Failure() const;
};

// Reads a condition as expect does: `words` are the command's name, then
// NAME [INDEX] PROP VALUE. Nullopt with *error set (one line, naming the
// command) when they name no property.
std::optional<Observation> Observe(Form1& form, const std::vector<std::string>& words,
                                   std::string* error);

class ScriptRunner : public Platform {
 public:
  ScriptRunner(std::ostream& out, std::ostream& err);
  ~ScriptRunner() override;

  // Runs the window's start-up (Form_Load), then the script. `stack` is
  // null when the bridge is no simulated stack ("sim" lines are errors).
  int Run(Form1& form, std::istream& script, const std::string& name, StackControl* stack);

  // Only the script's steps, on a window that has started already and that
  // may have another platform (the demo's steps in the real window): no
  // start-up, no closing at the end. The status is Run's.
  int RunSteps(Form1& form, std::istream& script, const std::string& name, StackControl* stack);

  // One script line on a window that has started (e.g. a line from a
  // client of the running window): the status is Run's for that line alone
  // (0 also for a blank or comment line); what it prints goes to the output
  // stream, a malformed line's message names "NAME:LINE_NO:". Message-box
  // checks look at the boxes since the previous check of any line.
  int RunLine(Form1& form, const std::string& line, const std::string& name, int lineNo,
              StackControl* stack);
  // Why the line RunLine ran last did not end with 0, without its
  // "NAME:LINE_NO: ": the malformed line's reason, "expectation failed: "
  // and what was seen, "internal error: " and what went wrong, or "the run
  // was stopped" ("" when it ended with 0 or the window closed).
  const std::string& lineFailure() const { return lineFailure_; }

  // A condition from outside that ends the run (e.g. the trace cannot be
  // written), checked after start-up, after every line and between timer
  // ticks. When it holds Run returns 2 without a message of its own: the
  // caller says why.
  void StopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }

  void MsgBox(const std::string& text) override;
  void Unload() override { closed_ = true; }
  std::chrono::system_clock::time_point Now() override;
  void ShellOpen(const std::string& path) override;
  std::string AppDirectory() override;

  // JSON object with every property the control has.
  static std::string ControlJson(const Control& c);

  // The datalog folder the operator chose (--datalog-dir); empty: beside the
  // program, falling back as the window does.
  void SetAppDirectory(std::string dir) { appDirectory_ = std::move(dir); }
  bool closed() const { return closed_; }

  // Called around each timer tick a "tick" or "wait-for" line runs (the
  // trend samples them).
  std::function<void()> beforeTick, afterTick;
  // Watches the ticks for the recording and any other sample sink.
  SampleTap tap;
  // What a recording started by a "record" line says of the program (the
  // --version line) and the bridge (its connection string).
  void SetProvenance(const std::string& program, const std::string& bridge);
  Recorder* recorder() { return recorder_.get(); }
  // Records to `path` from the end of the start-up on (--record), as a
  // first line record "PATH" would.
  void RecordFromStart(std::string path) { recordFromStart_ = std::move(path); }
  // Publishes to the broker at `url` from the end of the start-up on
  // (--mqtt, checked beforehand), until the run ends.
  void PublishFromStart(std::string url, std::string authFile) {
    publishUrl_ = std::move(url);
    publishAuth_ = std::move(authFile);
  }
  Publishing* publishing() { return publishing_.get(); }
  // Carries out "record FILE" and "record stop" on another recording than
  // the runner's own (the window's, for lines of the control socket, whose
  // ticks the runner does not run): the file or "stop"; "" or why it
  // cannot (said in a message box, as the window says it). Unset: the
  // runner's recorder, fed by its own ticks.
  std::function<std::string(const std::string& fileOrStop)> recordWith;
  // Runs once the start-up is over, before the recording of RecordFromStart
  // and the script's first line (--load-setup): "" to go on, or why the run
  // ends there (status 2; told to onCheck, the caller says it).
  std::function<std::string(Form1& form)> afterStartUp;
  // The script's clock: the start of the run, then 100 ms (the timer's
  // interval) later at every tick.
  std::chrono::system_clock::time_point tickClock() const { return tickClock_; }
  // Opens the window a "window" line names; unset, the line only checks the name.
  std::function<void(const std::string& name)> openWindow;
  // Told of every check's outcome, and of the line that ended the script
  // early (a malformed line, the window closing, a stop).
  std::function<void(const ScriptCheck&)> onCheck;

 private:
  friend struct ScriptStep;
  bool Stopped() const { return stop_ && stop_(); }
  int RunLines(Form1& form, std::istream& script, const std::string& name, StackControl* stack);
  // Reports a line that ends the script with an error to onCheck.
  void ReportEnd(int lineNo, const std::string& line, const std::string& message);

  std::ostream& out_;
  std::ostream& err_;
  std::function<bool()> stop_;
  bool closed_ = false;
  std::vector<std::string> messages_;
  std::size_t msgMark_ = 0;  // messages_ before it were seen by a check
  std::string appDirectory_;
  std::chrono::system_clock::time_point tickClock_ = std::chrono::system_clock::now();
  std::unique_ptr<Recorder> recorder_;
  std::string recordFromStart_;
  std::unique_ptr<Publishing> publishing_;
  std::string publishUrl_, publishAuth_;
  std::string lineFailure_;
};

// Splits a script line into words; double-quoted words keep their spaces and
// understand \r \n \t \" \\ escapes. Returns false for an unterminated quote.
bool SplitScriptLine(const std::string& line, std::vector<std::string>* words);

}  // namespace eb
