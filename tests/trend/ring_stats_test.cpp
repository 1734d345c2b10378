// The trend's ring of records (wrap, numbering, fixed storage) and its
// statistics (minimum, maximum and mean of a board's cells; axis ranges).
#include <gtest/gtest.h>

#include <cmath>

#include "trend/ring.h"
#include "trend/stats.h"
#include "trend/store.h"

namespace eb::trend {
namespace {

struct Item {
  std::int64_t ms = 0;
  int value = 0;
};

TEST(TrendRing, WrapsKeepingTheNewestRecordsInOrder) {
  Ring<Item> ring(5);
  EXPECT_TRUE(ring.empty());
  EXPECT_EQ(ring.size(), 0u);
  for (int i = 0; i < 12; ++i) ring.push({i * 100, i});
  EXPECT_EQ(ring.size(), 5u);
  EXPECT_EQ(ring.capacity(), 5u);
  EXPECT_EQ(ring.firstSeq(), 7u);
  EXPECT_EQ(ring.endSeq(), 12u);
  for (std::uint64_t seq = 7; seq < 12; ++seq) EXPECT_EQ(ring.at(seq).value, static_cast<int>(seq));
  EXPECT_EQ(ring.newest().value, 11);
  // Overwritten and future records are refused, not confused with others.
  EXPECT_FALSE(ring.holds(6));
  EXPECT_THROW(ring.at(6), std::out_of_range);
  EXPECT_THROW(ring.at(12), std::out_of_range);
}

TEST(TrendRing, StorageIsAllocatedOnceAndReused) {
  Ring<Item> ring(4);
  const std::size_t bytes = ring.bytes();
  EXPECT_EQ(bytes, 4 * sizeof(Item));
  ring.push({0, 0});
  const Item* slot = &ring.at(0);
  for (int i = 1; i <= 4000; ++i) ring.push({i, i});
  // Record 4000 lies in the slot record 0 had: the same storage, wrapped
  // a thousand times, and the ring is no bigger.
  EXPECT_EQ(&ring.at(4000), slot);
  EXPECT_EQ(ring.bytes(), bytes);
  EXPECT_EQ(ring.size(), 4u);
  EXPECT_THROW(Ring<Item>(0), std::invalid_argument);
}

TEST(TrendRing, PartitionFindsTheFirstRecordAtOrAfterATimeAcrossTheWrap) {
  Ring<Item> ring(6);
  for (int i = 0; i < 9; ++i) ring.push({i * 100, i});  // holds 300 … 800
  auto from = [&](std::int64_t ms) {
    return ring.partitionSeq([ms](const Item& r) { return r.ms < ms; });
  };
  EXPECT_EQ(from(0), 3u);  // before everything held: the oldest
  EXPECT_EQ(from(300), 3u);
  EXPECT_EQ(from(301), 4u);
  EXPECT_EQ(from(550), 6u);
  EXPECT_EQ(from(800), 8u);
  EXPECT_EQ(from(801), 9u);  // after everything: endSeq
  Ring<Item> empty(3);
  EXPECT_EQ(empty.partitionSeq([](const Item&) { return true; }), 0u);
}

TEST(TrendStore, HoldsAnHourOfTenBoardsInAFixedMegabyte) {
  Store store;
  // One tick in three reads cells, one in three temperatures: an hour of
  // 100 ms ticks is 12,000 of each, whatever the number of boards.
  EXPECT_GE(store.cells.capacity(), 36'000u / 3);
  EXPECT_GE(store.temps.capacity(), 36'000u / 3);
  EXPECT_EQ(store.bytes(), kStoreBytes);
  EXPECT_EQ(store.bytes(), 1'082'400u);

  // A day of ten boards read continuously: the store holds the newest hour
  // and has not grown.
  const CellRecord* first = nullptr;
  std::int64_t ms = 0;
  for (std::size_t tick = 0; tick < 24 * kTicksPerHour; ++tick, ms += 100) {
    const auto step = tick % 3;
    const auto board = static_cast<std::uint8_t>((tick / 3) % 10);
    if (step == 0) {
      CellRecord r;
      r.ms = ms;
      r.board = board;
      r.volts.fill(3.6f);
      store.cells.push(r);
      if (first == nullptr) first = &store.cells.at(0);
    } else if (step == 1) {
      store.temps.push({ms, {1.f, 1.f, 1.f}, board});
    }
  }
  EXPECT_EQ(store.bytes(), 1'082'400u);
  EXPECT_EQ(store.cells.size(), kRingRecords);
  const auto& oldest = store.cells.at(store.cells.firstSeq());
  EXPECT_GE(store.cells.newest().ms - oldest.ms, 3'600'000);
  EXPECT_GE(&oldest, first);
  EXPECT_LT(&oldest, first + kRingRecords);
}

CellRecord Cells(std::initializer_list<float> volts) {
  CellRecord r;
  r.volts.fill(kGap);
  std::size_t i = 0;
  for (float v : volts) r.volts[i++] = v;
  return r;
}

TEST(TrendStats, MinMaxMeanCountOnlyCellsWithAReading) {
  CellRecord r = Cells({3.6f, 3.7f, 3.5f, 3.8f, 3.6f, 3.6f, 3.6f, 3.6f, 3.6f, 3.6f, 3.6f, 3.6f});
  CellStats s = StatsOf(r);
  EXPECT_EQ(s.count, 12);
  EXPECT_DOUBLE_EQ(s.min, 3.5f);
  EXPECT_DOUBLE_EQ(s.max, 3.8f);
  EXPECT_NEAR(s.mean, (3.7 + 3.5 + 3.8 + 9 * 3.6) / 12, 1e-6);

  // Gaps (cells 11 and 12 of a 10-cell board, say) neither lower the minimum
  // nor the mean.
  r = Cells({4.0f, 3.0f, 3.5f});
  s = StatsOf(r);
  EXPECT_EQ(s.count, 3);
  EXPECT_DOUBLE_EQ(s.min, 3.0f);
  EXPECT_DOUBLE_EQ(s.max, 4.0f);
  EXPECT_NEAR(s.mean, 3.5, 1e-6);

  // A gap in the first cell does not seed the minimum.
  r = Cells({kGap, 2.0f, 1.0f});
  EXPECT_DOUBLE_EQ(StatsOf(r).min, 1.0f);
  EXPECT_DOUBLE_EQ(StatsOf(r).max, 2.0f);

  // A board without readings has no statistics: gaps, never zeros.
  s = StatsOf(Cells({}));
  EXPECT_EQ(s.count, 0);
  EXPECT_TRUE(std::isnan(s.min));
  EXPECT_TRUE(std::isnan(s.max));
  EXPECT_TRUE(std::isnan(s.mean));
}

TEST(TrendStats, AxesSpanTheValuesBesideGapsWithRoomAndRoundTicks) {
  Range r;
  for (double v : {std::nan(""), 3.61, 3.72, std::nan("")}) r.Include(v);
  EXPECT_EQ(r, (Range{3.61, 3.72}));
  EXPECT_TRUE(Range{}.empty());

  // Ticks of 1, 2 or 5 times a power of ten, as few intervals as allowed.
  EXPECT_DOUBLE_EQ(TickStep(0.3, 3), 0.1);
  EXPECT_DOUBLE_EQ(TickStep(0.31, 3), 0.2);
  EXPECT_DOUBLE_EQ(TickStep(2.5, 8), 0.5);
  EXPECT_DOUBLE_EQ(TickStep(0, 8), 1);  // nothing to divide: any step

  const Range fallback{0, 5};
  Axis a = AxisFor(r, 0.05, 8, fallback);
  // 5 % room: 3.6045 … 3.7255, ticks of 0.02.
  EXPECT_DOUBLE_EQ(a.step, 0.02);
  EXPECT_NEAR(a.lo, 3.60, 1e-9);
  EXPECT_NEAR(a.hi, 3.74, 1e-9);
  EXPECT_LE((a.hi - a.lo) / a.step, 8 + 1e-9);

  // Rounding outwards would need a ninth interval: the next step is taken.
  // (0.0864 … 0.8136 with room is 0.05 … 0.85: ticks of 0.1 would run
  // from 0 to 0.9.)
  a = AxisFor(Range{0.0864, 0.8136}, 0.05, 8, fallback);
  EXPECT_DOUBLE_EQ(a.step, 0.2);
  EXPECT_NEAR(a.lo, 0.0, 1e-9);
  EXPECT_NEAR(a.hi, 1.0, 1e-9);

  // One value: at least the minimum span about it.
  a = AxisFor(Range{3.6, 3.6}, 0.05, 8, fallback);
  EXPECT_GE(a.hi - a.lo, 0.05 - 1e-9);
  EXPECT_LT(a.lo, 3.6);
  EXPECT_GT(a.hi, 3.6);

  // No values: the fallback, as it is.
  EXPECT_EQ(AxisFor(Range{}, 0.05, 8, fallback), (Axis{0, 5, 1}));
}

}  // namespace
}  // namespace eb::trend
