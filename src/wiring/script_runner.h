// Operator scripts: runs the window model without a window, line by line.
//
//   click Command1 7          operator click (a check box toggles)
//   set Check5 2 0            operator sets a check box value / option / combo list index
//   type Text2 0 "3.6\r"      focus the box, then each key through its key handler
//   focus Command1 5          move the input focus
//   tick 9                    timer ticks (only while Timer1 is enabled)
//   print Text1 0             one JSON line with every property of the control
//   state CFGR0 2             one JSON line with a state variable
//   expect Text1 0 text " 3.600V  "   exit status 1 when the printed property differs
//   sim cell 0 3 3.912        change the simulated stack
//   datalog 25 "/tmp/d.xlsx"  the datalog setup: samples and file (a refusal
//                             shows as a message box)
//   window trend              open the trend window (nothing to open when the
//                             script runs without windows)
//   record "/tmp/r.db"        record every sample to a database file (a
//   record stop               refusal shows as a message box); end it
//
// Message boxes print "MSGBOX: <text>" and are answered with OK. When the
// window closes the runner prints "CLOSED" and returns 3; a failed expect
// returns 1, a malformed line 2, an internal failure of the window logic 4,
// otherwise 0. A malformed line is reported in one line on each stream,
// naming the script line; whatever it quotes from the script is a short
// excerpt with unprintable bytes written as \xNN. A script that cannot be
// read to its end is malformed too.
//
// Two more checks serve self-checking scripts:
//   expect-msgbox "TEXT"      a message box with that text appeared since the
//                             previous message-box check
//   expect-no-msgbox          no message box appeared since then
#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "window/platform.h"
#include "window/sample_tap.h"
#include "wiring/recorder.h"

namespace eb {

class Form1;
class Control;

// The stack behind the bridge as the script's "sim" lines change it.
class StackControl {
 public:
  virtual ~StackControl() = default;
  // Carries out the words after "sim" ("cell", "0", "3", "3.912"); returns
  // "" or, in one line, what is wrong with them.
  virtual std::string Apply(const std::vector<std::string>& words) = 0;
};

class ScriptRunner : public Platform {
 public:
  ScriptRunner(std::ostream& out, std::ostream& err);
  ~ScriptRunner() override;

  // Runs the window's start-up (Form_Load), then the script. `stack` is
  // null when the bridge is no simulated stack ("sim" lines are errors).
  int Run(Form1& form, std::istream& script, const std::string& name, StackControl* stack);

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

  // Called around each timer tick a "tick" line runs (the trend samples them).
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
  // The script's clock: the start of the run, then 100 ms (the timer's
  // interval) later at every tick.
  std::chrono::system_clock::time_point tickClock() const { return tickClock_; }
  // Opens the window a "window" line names; unset, the line only checks the name.
  std::function<void(const std::string& name)> openWindow;

 private:
  bool Stopped() const { return stop_ && stop_(); }
  int RunLines(Form1& form, std::istream& script, const std::string& name, StackControl* stack);

 public:
  // Only the script's steps, on a window that has started already and that
  // may have another platform (the demo's steps in the real window): no
  // start-up, no closing at the end. The status is Run's.
  int RunSteps(Form1& form, std::istream& script, const std::string& name, StackControl* stack);

  std::ostream& out_;
  std::ostream& err_;
  std::function<bool()> stop_;
  bool closed_ = false;
  std::vector<std::string> messages_;
  std::string appDirectory_;
  std::chrono::system_clock::time_point tickClock_ = std::chrono::system_clock::now();
  std::unique_ptr<Recorder> recorder_;
  std::string recordFromStart_;
};

// Splits a script line into words; double-quoted words keep their spaces and
// understand \r \n \t \" \\ escapes. Returns false for an unterminated quote.
bool SplitScriptLine(const std::string& line, std::vector<std::string>* words);

}  // namespace eb
