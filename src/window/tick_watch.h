// What one timer tick did to the measurement cycle, told from the window's
// state just before and just after it: the watch never calls a procedure
// of the window, so the cycle and its bridge traffic are the same whoever
// watches (the trend, a recording, a publisher).
//
// A tick of continuous reading (or datalog recording) performs one step for
// board BRDread: step 0 reads cells (in a datalog pass the configuration
// too), step 1 temperatures, step 2 flags, and in a datalog pass step 3
// collects the datalog sample. A read that gives up stops the reading
// within its tick.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace eb {

class Form1;

struct TickStep {
  std::int64_t ms = 0;     // time of the tick, never before the previous tick's
  bool performed = false;  // a step of the cycle ran for `board`
  int step = 0;            // MEASUREflag before the tick
  int board = 0;           // BRDread before the tick (0 … 9)
  int lastStep = 2;        // the pass's last step: 2, or 3 in a datalog pass
  bool gaveUp = false;     // the step's read gave up
  bool stopped = false;    // reading was running after the previous tick and is not now
  int boards = 1;          // boards of the stack after the tick (1 … 10)
  // The step finished a pass over `board`, all its reads made.
  bool PassDone() const { return performed && !gaveUp && step == lastStep; }
};

class TickWatch {
 public:
  // Call with the window's state just before Timer1_Timer runs …
  void Before(const Form1& form);
  // … and right after it, with the time of the tick. Nothing without a
  // Before since the last After.
  std::optional<TickStep> After(const Form1& form, std::chrono::system_clock::time_point now);

 private:
  struct State {
    bool seen = false;
    bool reading = false;
    int step = 0;
    int board = 0;
    int lastStep = 2;
  } before_;
  bool reading_ = false;  // reading was running after the last tick
  std::int64_t lastMs_ = 0;
};

}  // namespace eb
