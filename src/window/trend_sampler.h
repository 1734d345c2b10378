// Turns the readings the measurement cycle makes into trend records. The
// sampler watches the ticks (window/tick_watch.h): it never calls a
// procedure of the window, so the cycle and its bridge traffic are the same
// whether a trend is kept or not.
//
// Step 0 of a pass over a board reads cells, step 1 temperatures (the other
// steps read flags or collect the datalog sample and give no record). After
// the tick:
//   - a cell step gives the board's twelve cell voltages, or a gap when its
//     RDCVvalid is 0 (the board did not answer, answered zeros, ...); cells 11
//     and 12 are gaps when the configuration read back says 10 cells;
//   - a temperature step gives ETMP1, ETMP2 and ITMP, or a gap when RDTMPvalid
//     is 0;
//   - a step whose read gave up (reading stopped during the tick) is a gap,
//     whatever the readings were left at.
// When reading stops, every board of the stack gets a gap, so that no line
// is drawn across the time nothing was read.
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>

#include "trend/store.h"
#include "window/tick_watch.h"

namespace eb {

class Form1;

class TrendSampler {
 public:
  explicit TrendSampler(trend::Store& store) : store_(store) {}

  // Call with the window's state just before Timer1_Timer runs …
  void BeforeTick(const Form1& form);
  // … and right after it, with the time of the tick.
  void AfterTick(const Form1& form, std::chrono::system_clock::time_point now);

  const trend::Store& store() const { return store_; }

 private:
  void PushGaps(int boards, std::int64_t ms);

  trend::Store& store_;
  TickWatch watch_;
};

// The trend's record of board `board`'s cells and temperatures as the
// window holds them, gaps where there is no believable reading (`gaveUp`:
// the read gave up, whatever the readings were left at).
trend::CellRecord TrendCellsOf(const Form1& form, int board, bool gaveUp, std::int64_t ms);
trend::TempRecord TrendTempsOf(const Form1& form, int board, bool gaveUp, std::int64_t ms);

// Under- and over-voltage thresholds of `board` in the configuration being
// edited, in volts; NaN for a threshold of 0, which the chip does not compare.
std::pair<double, double> TrendThresholds(const Form1& form, int board);

}  // namespace eb
