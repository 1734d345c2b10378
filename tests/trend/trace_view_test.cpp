// The lines the trend charts draw: runs broken at gaps, trimmed as the view
// scrolls, and the view that fills them from the store incrementally, pauses
// and zooms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "trend/store.h"
#include "trend/trace.h"
#include "trend/view.h"

namespace eb::trend {
namespace {

const double kNan = std::nan("");

std::vector<std::vector<double>> Times(const Trace& trace) {
  std::vector<std::vector<double>> runs;
  for (const auto& run : trace.runs()) {
    runs.emplace_back();
    for (const Point& p : run.points) runs.back().push_back(p.t);
  }
  return runs;
}

using Runs = std::vector<std::vector<double>>;

TEST(TrendTrace, AGapEndsARunAndIsNeverAPoint) {
  Trace trace;
  for (double t = 1; const double v : {3.6, 3.7, kNan, kNan, 3.5, 3.4}) trace.Add(t++, v);
  EXPECT_EQ(Times(trace), (Runs{{1, 2}, {5, 6}}));
  EXPECT_EQ(trace.pointCount(), 4u);
  EXPECT_EQ(trace.values(), (Range{3.4, 3.7}));
  EXPECT_LT(trace.runs()[0].id, trace.runs()[1].id);
  for (const auto& run : trace.runs())
    for (const Point& p : run.points) EXPECT_FALSE(std::isnan(p.v));
}

TEST(TrendTrace, TrimKeepsThePointWhereTheLineEntersTheView) {
  Trace trace;
  for (double t : {1, 2, 3}) trace.Add(t, 1);
  trace.Add(4, kNan);
  for (double t : {5, 6, 7, 8}) trace.Add(t, 2);

  trace.TrimBefore(2.5);  // the first run enters at 2
  EXPECT_EQ(Times(trace), (Runs{{2, 3}, {5, 6, 7, 8}}));
  trace.TrimBefore(4);  // the first run lies wholly before: dropped
  EXPECT_EQ(Times(trace), (Runs{{5, 6, 7, 8}}));
  EXPECT_EQ(trace.runs()[0].first, 0u);  // untouched
  trace.TrimBefore(6.5);
  EXPECT_EQ(Times(trace), (Runs{{6, 7, 8}}));
  EXPECT_EQ(trace.runs()[0].first, 1u);  // 6 is the run's point 1
  trace.TrimBefore(7);                   // a point on the edge is the entry point itself
  EXPECT_EQ(Times(trace), (Runs{{7, 8}}));

  // A run trimmed away entirely does not take the next reading into a line
  // from out of view.
  trace.TrimBefore(100);
  EXPECT_TRUE(trace.runs().empty());
  trace.Add(101, 2);
  trace.Add(102, 2);
  EXPECT_EQ(Times(trace), (Runs{{101, 102}}));
}

TEST(TrendTrace, AFlickeringLineKeepsOnlyItsNewestRuns) {
  Trace trace;
  for (int i = 0; i < 500; ++i) {
    trace.Add(2 * i, 3.6);
    trace.Add(2 * i + 1, kNan);
  }
  ASSERT_EQ(trace.runs().size(), Trace::kMaxRuns);
  EXPECT_EQ(trace.runs().back().points.back().t, 998);
  EXPECT_EQ(trace.runs().front().points.front().t, 2 * (500 - Trace::kMaxRuns));
}

// A store filled the way the sampler fills it: ticks of 100 ms, one step per
// tick, `boards` boards; cell c of board b reads 3 + b / 10 + c / 1000 V, and
// temperature input k reads k volts (+ b / 100).
struct Filled {
  Store store;
  std::int64_t ms = 0;
  int boards;
  int tick = 0;
  std::vector<int> missing;

  explicit Filled(int n) : boards(n) {}
  bool Missing(int b) const {
    return std::find(missing.begin(), missing.end(), b) != missing.end();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i, ++tick) {
      ms += 100;
      const int step = tick % 3;
      const auto b = static_cast<std::uint8_t>((tick / 3) % boards);
      if (step == 0) {
        CellRecord r;
        r.ms = ms;
        r.board = b;
        for (int c = 0; c < kCells; ++c)
          r.volts[static_cast<std::size_t>(c)] =
              Missing(b) ? kGap : static_cast<float>(3 + b / 10.0 + (c + 1) / 1000.0);
        store.cells.push(r);
      } else if (step == 1) {
        TempRecord r;
        r.ms = ms;
        r.board = b;
        for (int k = 0; k < kTemps; ++k)
          r.volts[static_cast<std::size_t>(k)] =
              Missing(b) ? kGap : static_cast<float>(k + 1 + b / 100.0);
        store.temps.push(r);
      }
    }
  }
};

TEST(TrendView, DrawsTheChosenBoardsCellsAndEveryBoardsStatistics) {
  Filled f(4);
  f.missing = {2};
  f.Ticks(120);  // ten cycles of four boards
  View view(f.store);
  view.SetBoard(1);
  view.Update(static_cast<double>(f.ms));

  for (int c = 0; c < kCells; ++c) {
    const Trace& cell = view.line(Chart::Cells, c);
    ASSERT_EQ(cell.runs().size(), 1u);
    EXPECT_EQ(cell.pointCount(), 10u);
    EXPECT_NEAR(cell.runs()[0].points[0].v, 3.1 + (c + 1) / 1000.0, 1e-6);
  }
  for (int b : {0, 1, 3}) {
    const double base = 3 + b / 10.0;
    EXPECT_NEAR(view.line(Chart::Stack, 3 * b + kMin).runs()[0].points[0].v, base + 0.001, 1e-6);
    EXPECT_NEAR(view.line(Chart::Stack, 3 * b + kMax).runs()[0].points[0].v, base + 0.012, 1e-6);
    EXPECT_NEAR(view.line(Chart::Stack, 3 * b + kMean).runs()[0].points[0].v, base + 0.0065, 1e-6);
    EXPECT_EQ(view.line(Chart::Stack, 3 * b + kMean).pointCount(), 10u);
    EXPECT_NEAR(view.line(Chart::Itmp, b).runs()[0].points[0].v, 3 + b / 100.0, 1e-6);
  }
  // The missing board is a gap in every chart, not a line at zero.
  for (int k : {kMin, kMax, kMean}) EXPECT_EQ(view.line(Chart::Stack, 6 + k).pointCount(), 0u);
  EXPECT_EQ(view.line(Chart::Etmp1, 2).pointCount(), 0u);
  // Boards beyond the stack have no lines.
  EXPECT_EQ(view.line(Chart::Stack, 3 * 9 + kMean).pointCount(), 0u);

  // The value axis spans the readings in view: boards 0 … 3 (3.001 … 3.312 V).
  const Axis cells = view.valueAxis(Chart::Stack);
  EXPECT_LT(cells.lo, 3.001);
  EXPECT_GT(cells.hi, 3.312);
  EXPECT_GT(cells.lo, 2.9);
  EXPECT_LT(cells.hi, 3.4);

  // Another board: its cells are read from the store again.
  view.SetBoard(3);
  view.Update(static_cast<double>(f.ms));
  EXPECT_NEAR(view.line(Chart::Cells, 0).runs()[0].points[0].v, 3.301, 1e-6);
  EXPECT_THROW(view.SetBoard(10), std::out_of_range);
}

TEST(TrendView, TakesOnlyNewRecordsAndScrollsTheOldOnesOut) {
  Filled f(2);
  View view(f.store);
  f.Ticks(600);  // one minute
  view.Update(static_cast<double>(f.ms));
  const auto first = view.recordsApplied();
  EXPECT_EQ(first, 400u);  // 200 cell and 200 temperature records

  f.Ticks(60);
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.recordsApplied(), first + 40);  // the new ones only

  // Ten minutes on, a five minute view holds five minutes of readings: a
  // board is read every 0.6 s, so 500 points, and the one entering. The
  // right edge is the first 10 s step at or after now.
  f.Ticks(6000);
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(ScrollStep(kDefaultSpanMs), 10'000);
  EXPECT_EQ(view.to(), 670'000);  // now is 666,000
  EXPECT_EQ(view.span(), kDefaultSpanMs);
  EXPECT_EQ(view.from(), 370'000);
  const Trace& cell = view.line(Chart::Cells, 0);
  ASSERT_EQ(cell.runs().size(), 1u);
  const auto& points = cell.runs()[0].points;
  // Board 0's cells at 100 ms past every 600 ms: 369,700 enters, 370,300 …
  // 665,500 lie in view.
  EXPECT_EQ(points.front().t, 369'700);
  EXPECT_EQ(points[1].t, 370'300);
  EXPECT_EQ(points.back().t, 665'500);
  EXPECT_EQ(points.size(), 1u + 493u);
  // A point keeps its place in the run when earlier ones are trimmed: the
  // run began at 100 with point 0.
  EXPECT_EQ(cell.runs()[0].first, (369'700u - 100u) / 600u);

  // Until the edge steps, nothing is trimmed; then the points before it go.
  f.Ticks(30);  // 669,000: still before 670,000
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.to(), 670'000);
  EXPECT_EQ(cell.runs()[0].points.front().t, 369'700);
  f.Ticks(20);  // 671,000
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.to(), 680'000);
  EXPECT_EQ(cell.runs()[0].points.front().t, 379'900);
  EXPECT_EQ(cell.runs()[0].first, (379'900u - 100u) / 600u);
}

TEST(TrendView, ZoomStaysWithinHalfAMinuteAndTheHour) {
  Filled f(1);
  View view(f.store);
  f.Ticks(3000);
  view.Update(static_cast<double>(f.ms));
  view.ZoomAt(view.to(), 0.5);
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.span(), kDefaultSpanMs / 2);
  EXPECT_EQ(view.to(), static_cast<double>(f.ms));  // live: now, a whole step
  for (int i = 0; i < 20; ++i) view.ZoomAt(view.to(), 0.5);
  EXPECT_EQ(view.span(), kMinSpanMs);
  for (int i = 0; i < 20; ++i) view.ZoomAt(view.to(), 2);
  EXPECT_EQ(view.span(), kMaxSpanMs);
  view.Update(static_cast<double>(f.ms));
  // Zooming out rereads what the store holds: all five minutes.
  EXPECT_EQ(view.line(Chart::Cells, 0).pointCount(), 1000u);
}

TEST(TrendView, PausedItStaysAndZoomsAboutTheCursor) {
  Filled f(1);
  View view(f.store);
  f.Ticks(3000);
  view.Update(static_cast<double>(f.ms));
  view.SetPaused(true);
  const double from = view.from(), to = view.to();
  const std::size_t points = view.line(Chart::Cells, 0).pointCount();
  f.Ticks(300);
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.from(), from);
  EXPECT_EQ(view.to(), to);
  EXPECT_EQ(view.line(Chart::Cells, 0).pointCount(), points);

  // The time under the cursor keeps its place on the axis.
  const double cursor = from + 0.25 * (to - from);
  view.ZoomAt(cursor, 0.5);
  view.Update(static_cast<double>(f.ms));
  EXPECT_DOUBLE_EQ((cursor - view.from()) / view.span(), 0.25);
  EXPECT_EQ(view.span(), kDefaultSpanMs / 2);
  // Only readings up to the right edge, none that came while paused.
  const auto& runs = view.line(Chart::Cells, 0).runs();
  ASSERT_FALSE(runs.empty());
  EXPECT_LE(runs.back().points.back().t, view.to());
  EXPECT_GT(runs.back().points.back().t, view.to() - 300);

  view.SetPaused(false);
  view.Update(static_cast<double>(f.ms));
  EXPECT_EQ(view.to(), static_cast<double>(f.ms));
  EXPECT_EQ(view.line(Chart::Cells, 0).runs().back().points.back().t,
            static_cast<double>(f.store.cells.newest().ms));
}

TEST(TrendView, RecordsOverwrittenBeforeTheyWereTakenAreReadAfresh) {
  Filled f(1);
  View view(f.store);
  f.Ticks(30);
  view.Update(static_cast<double>(f.ms));
  // More than the ring holds arrives before the next update.
  f.Ticks(static_cast<int>(3 * kRingRecords + 30));
  view.Update(static_cast<double>(f.ms));
  const Trace& cell = view.line(Chart::Cells, 0);
  EXPECT_EQ(cell.runs().back().points.back().t, static_cast<double>(f.store.cells.newest().ms));
  // The view: 3,400,000 … 3,700,000 (now 3,696,000); a reading every 300 ms
  // at 100 past, 3,400,000 on the edge itself … 3,695,800.
  EXPECT_EQ(view.from(), 3'400'000);
  EXPECT_EQ(cell.pointCount(), 987u);
}

TEST(TrendView, ThresholdsCountInTheStackAxisOnly) {
  Filled f(1);
  View view(f.store);
  f.Ticks(30);
  view.SetThresholds(2.4, 4.2);
  view.Update(static_cast<double>(f.ms));
  EXPECT_LE(view.valueAxis(Chart::Stack).lo, 2.4);
  EXPECT_GE(view.valueAxis(Chart::Stack).hi, 4.2);
  // The cells keep their axis to themselves (3.001 … 3.012 V).
  EXPECT_GT(view.valueAxis(Chart::Cells).lo, 2.9);
  EXPECT_LT(view.valueAxis(Chart::Cells).hi, 3.1);
  EXPECT_GT(view.valueAxis(Chart::Etmp1).lo, 0.5);
  EXPECT_LT(view.valueAxis(Chart::Etmp1).hi, 1.5);
  // Thresholds that are off (NaN) leave the axis to the readings.
  view.SetThresholds(kNan, kNan);
  view.Update(static_cast<double>(f.ms));
  EXPECT_GT(view.valueAxis(Chart::Stack).lo, 2.9);
  EXPECT_LT(view.valueAxis(Chart::Stack).hi, 3.1);
}

}  // namespace
}  // namespace eb::trend
