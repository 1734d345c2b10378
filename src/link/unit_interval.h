// Turning the output of a 64-bit generator (std::mt19937_64) into doubles
// in [0, 1). The standard distributions are free to differ between standard
// libraries; these conversions are not, so a seed gives the same sequence
// of doubles everywhere.
#pragma once

#include <cstdint>

namespace eb {

// The top 53 bits as a multiple of 2^-53: [0, 1), 0 included.
inline double UnitInterval(std::uint64_t bits) {
  return static_cast<double>(bits >> 11) * (1.0 / 9007199254740992.0);
}

// The same shifted by half a step: (0, 1], never 0 (safe for log()); only
// the very top value rounds up to 1.
inline double OpenUnitInterval(std::uint64_t bits) {
  return (static_cast<double>(bits >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

}  // namespace eb
