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

double TickStep(double span, int maxIntervals) {
  if (!(span > 0) || maxIntervals < 1) return 1;
  const double rough = span / maxIntervals;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    // A little tolerance, so that 0.3 / 3 takes 0.1 and not 0.2.
    if (m * decade >= rough * (1 - 1e-9)) return m * decade;
  }
  return 10 * decade;
}

Axis AxisFor(const Range& r, double minSpan, int maxIntervals, const Range& fallback) {
  double lo = fallback.lo, hi = fallback.hi;
  if (!r.empty()) {
    const double room = 0.05 * (r.hi - r.lo);
    lo = r.lo - room;
    hi = r.hi + room;
  }
  if (hi - lo < minSpan) {
    const double mid = (lo + hi) / 2;
    lo = mid - minSpan / 2;
    hi = mid + minSpan / 2;
  }
  // Rounding the ends outwards can add an interval: take the next step then.
  for (double step = TickStep(hi - lo, maxIntervals);; step = TickStep(step * 1.5, 1)) {
    const double a = std::floor(lo / step + 1e-9) * step;
    const double b = std::ceil(hi / step - 1e-9) * step;
    if ((b - a) / step <= maxIntervals + 1e-9) return {a, b, step};
  }
}

}  // namespace eb::trend
