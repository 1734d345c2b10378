#include "trend/stats.h"

#include <algorithm>
#include <cmath>

namespace eb::trend {

CellStats StatsOf(const CellRecord& record) {
  CellStats s;
  double sum = 0;
  for (float v : record.volts) {
    if (IsGap(v)) continue;
    if (s.count == 0 || v < s.min) s.min = v;
    if (s.count == 0 || v > s.max) s.max = v;
    sum += v;
    ++s.count;
  }
  if (s.count > 0) s.mean = sum / s.count;
  return s;
}

Range AxisRange(const Range& r, double minSpan, double step, const Range& fallback) {
  if (r.empty()) return fallback;
  double lo = r.lo, hi = r.hi;
  const double room = 0.05 * (hi - lo);
  lo -= room;
  hi += room;
  if (hi - lo < minSpan) {
    const double mid = (lo + hi) / 2;
    lo = mid - minSpan / 2;
    hi = mid + minSpan / 2;
  }
  lo = std::floor(lo / step) * step;
  hi = std::ceil(hi / step) * step;
  return {lo, hi};
}

}  // namespace eb::trend
