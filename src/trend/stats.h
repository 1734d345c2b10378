// Statistics of the trend: minimum, maximum and mean of one board's cells,
// and the value ranges the charts are scaled to. Gaps (NaN) never count.
#pragma once

#include <limits>

#include "trend/store.h"

namespace eb::trend {

struct CellStats {
  double min = std::numeric_limits<double>::quiet_NaN();
  double max = std::numeric_limits<double>::quiet_NaN();
  double mean = std::numeric_limits<double>::quiet_NaN();
  int count = 0;  // cells with a reading; 0: all three are gaps
};

CellStats StatsOf(const CellRecord& record);

// The smallest interval holding every value included; empty until a value
// that is not a gap is included.
struct Range {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();

  bool empty() const { return lo > hi; }
  void Include(double v) {
    if (IsGap(v)) return;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  void Include(const Range& r) {
    if (r.empty()) return;
    Include(r.lo);
    Include(r.hi);
  }
  bool operator==(const Range&) const = default;
};

// A value axis: its ends and the interval of its ticks, 1, 2 or 5 times a
// power of ten, the ends being whole multiples of it.
struct Axis {
  double lo = 0, hi = 1, step = 0.1;
  bool operator==(const Axis&) const = default;
};

// The tick interval (1, 2 or 5 times a power of ten) that divides `span` into
// at most `maxIntervals` intervals, as few more as possible.
double TickStep(double span, int maxIntervals);

// The axis shown for the values `r`: at least `minSpan` wide, with 5 % room
// above and below, its ends on ticks of at most `maxIntervals` intervals. No
// values: `fallback`, its ends on ticks.
Axis AxisFor(const Range& r, double minSpan, int maxIntervals, const Range& fallback);

}  // namespace eb::trend
