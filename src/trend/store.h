// The readings of the measurement cycle kept for the trend: one record per
// cell step (twelve cell voltages of one board) and one per temperature step
// (the three temperature inputs of one board), each with the time of the
// timer tick that made it. A reading without a believable value is NaN: the
// trend shows a gap there, never a zero.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "trend/ring.h"

namespace eb::trend {

constexpr int kMaxBoards = 10;
constexpr int kCells = 12;
constexpr int kTemps = 3;  // ETMP1, ETMP2, ITMP

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();
inline bool IsGap(double v) { return std::isnan(v); }

struct CellRecord {
  std::int64_t ms = 0;  // time of the tick, milliseconds since the epoch
  std::array<float, kCells> volts{};
  std::uint8_t board = 0;  // 0 … 9
};

struct TempRecord {
  std::int64_t ms = 0;
  std::array<float, kTemps> volts{};
  std::uint8_t board = 0;
};

// Record sizes the memory figure below is computed with.
static_assert(sizeof(CellRecord) == 64, "8 time + 48 cells + 1 board, padded to 8");
static_assert(sizeof(TempRecord) == 24, "8 time + 12 inputs + 1 board, padded to 8");

// How many records the rings hold. The timer ticks 10 times a second and
// every tick performs one step of the cycle for one board; a board's cycle
// has three steps (four while a datalog records), one of them reading cells
// and one temperatures. So whatever the number of boards, at most one tick in
// three reads cells and one in three reads temperatures: 36,000 ticks an
// hour give at most 12,000 cell and 12,000 temperature records, i.e. the
// last hour at full rate even for ten boards. 300 records (90 s) more leave
// room for the gap records written when reading stops.
//
// Memory, fixed from the start, never growing:
//   cells         12,300 x 64 bytes =   787,200 bytes
//   temperatures  12,300 x 24 bytes =   295,200 bytes
//   together                           1,082,400 bytes (about 1.03 MiB)
constexpr std::size_t kTicksPerHour = 36'000;
constexpr std::size_t kRecordsPerHour = kTicksPerHour / 3;
constexpr std::size_t kRingRecords = kRecordsPerHour + 300;
constexpr std::size_t kStoreBytes = kRingRecords * (sizeof(CellRecord) + sizeof(TempRecord));
static_assert(kStoreBytes == 1'082'400);

struct Store {
  Ring<CellRecord> cells{kRingRecords};
  Ring<TempRecord> temps{kRingRecords};
  std::size_t bytes() const { return cells.bytes() + temps.bytes(); }
};

}  // namespace eb::trend
