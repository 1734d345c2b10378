// Hands each board's sample to the sinks attached (a recording, a
// publisher) after every completed pass of the measurement cycle over that
// board, and the stack's configuration when a sink is attached and whenever
// it changes. Like the trend it only watches the ticks (window/tick_watch.h)
// and reads the window's state: the cycle is the same with or without sinks.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "record/board_sample.h"
#include "window/tick_watch.h"

namespace eb {

class Form1;

class SampleTap {
 public:
  // The sink gets the stack's configuration at once, then every sample.
  void Attach(SampleSink& sink, const Form1& form, std::chrono::system_clock::time_point now);
  void Detach(SampleSink& sink);
  bool Attached() const { return !sinks_.empty(); }

  // Call with the window's state just before Timer1_Timer runs …
  void BeforeTick(const Form1& form);
  // … and right after it, with the time of the tick.
  void AfterTick(const Form1& form, std::chrono::system_clock::time_point now);

 private:
  TickWatch watch_;
  std::vector<SampleSink*> sinks_;
  StackConfig config_;  // as last handed on
};

// Board `board`'s (0 … 9) sample as the window holds it now: cells and
// temperatures as the trend takes them, NaN where it shows a gap.
BoardSample SampleOf(const Form1& form, int board, std::int64_t ms);
// The configuration to be written to each board of the stack, and the
// window's setup (SetupText).
StackConfig StackConfigOf(const Form1& form, std::int64_t ms);

}  // namespace eb
