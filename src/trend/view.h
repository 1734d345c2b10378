// What the trend window draws, computed from the store without any toolkit:
// the lines of each chart for the time shown, and the value axes.
//
//   Cells   twelve lines, cells 1 … 12 of one board
//   Stack   three lines per board: minimum, maximum and mean cell voltage
//           (line 3b + kMin / kMax / kMean for board b), and the thresholds
//   Etmp1, Etmp2, Itmp   one line per board
//
// Live, the view shows the newest `span` and takes only the records that
// arrived since its last update, trimming what scrolls out. Its right edge
// moves in steps of about a thirtieth of the span (ScrollStep), keeping just
// ahead of now: between steps nothing moves but the new readings, so a chart
// need only draw the ends of its lines anew. Paused, the view stays where it
// was while the store goes on filling; zooming then rereads the time shown
// from the store.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "trend/stats.h"
#include "trend/store.h"
#include "trend/trace.h"

namespace eb::trend {

enum class Chart { Cells, Stack, Etmp1, Etmp2, Itmp };
constexpr int kCharts = 5;

constexpr int kMin = 0, kMax = 1, kMean = 2;

constexpr double kMinSpanMs = 30'000;          // 30 s
constexpr double kMaxSpanMs = 3'600'000;       // the hour the store keeps
constexpr double kDefaultSpanMs = 5 * 60'000;  // 5 min

int LineCount(Chart chart);

// How far the right edge of a live view of `span` moves at a time: 1, 2 or 5
// times a power of ten milliseconds, at least span / 30 (10 s for 5 min).
double ScrollStep(double span);

// What a trend chart draws: the time shown, the lines of each chart, their
// value axes and the thresholds. The live View is one; a recording's view
// (record/recording_view.h) another.
class ChartLines {
 public:
  virtual ~ChartLines() = default;
  virtual double from() const = 0;
  virtual double to() const = 0;
  virtual const Trace& line(Chart chart, int i) const = 0;
  virtual Axis valueAxis(Chart chart) const = 0;
  virtual double underVoltage() const = 0;
  virtual double overVoltage() const = 0;
};

// The value axis of each chart for the lines given.
std::array<Axis, kCharts> AxesOf(const std::array<std::vector<Trace>, kCharts>& lines, double uv,
                                 double ov);

class View : public ChartLines {
 public:
  explicit View(const Store& store);

  // Board whose cells the Cells chart shows (0 … 9).
  void SetBoard(int board);
  int board() const { return board_; }

  // Under- and over-voltage thresholds drawn on the Stack chart, in volts;
  // NaN: not drawn. They count in its value axis. (The Cells chart keeps its
  // axis to the cells, so that their spread stays visible.)
  void SetThresholds(double uv, double ov);
  double underVoltage() const override { return uv_; }
  double overVoltage() const override { return ov_; }

  double span() const { return span_; }
  double from() const override { return from_; }
  double to() const override { return to_; }

  // Zooms the time shown by `factor` (< 1: in) about time `t`, which keeps its
  // place on the axis; live, the right edge stays at now. The span stays
  // between kMinSpanMs and kMaxSpanMs.
  void ZoomAt(double t, double factor);

  void SetPaused(bool paused);
  bool paused() const { return paused_; }

  // Brings the view to time `nowMs` (live: the right edge is the first
  // multiple of ScrollStep at or after it) and to the records stored since
  // the last update.
  void Update(double nowMs);

  const Trace& line(Chart chart, int i) const override;
  // Value axis of a chart: the readings in view (and the thresholds drawn on
  // it), with some room, ends on ticks.
  Axis valueAxis(Chart chart) const override;
  // Records taken from the store since the view was made (rereads count again).
  std::uint64_t recordsApplied() const { return applied_; }

 private:
  std::vector<Trace>& Lines(Chart chart) { return lines_[static_cast<int>(chart)]; }
  void Apply(const CellRecord& r);
  void Apply(const TempRecord& r);
  // Clears every line and rereads [from, to] from the store.
  void Reread();
  void Trim();

  const Store& store_;
  std::array<std::vector<Trace>, kCharts> lines_;
  std::array<Axis, kCharts> axes_;
  int board_ = 0;
  double uv_, ov_;
  double span_ = kDefaultSpanMs;
  double from_ = -kDefaultSpanMs, to_ = 0;
  bool paused_ = false;
  bool stale_ = true;  // the lines must be reread before the next update
  std::uint64_t nextCell_ = 0, nextTemp_ = 0;
  std::uint64_t applied_ = 0;
};

}  // namespace eb::trend
