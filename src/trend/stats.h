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

// The axis range shown for `r`: at least `minSpan` wide, with 5 % room above
// and below, ends rounded outwards to multiples of `step`. An empty range
// gives `fallback`.
Range AxisRange(const Range& r, double minSpan, double step, const Range& fallback);

}  // namespace eb::trend
