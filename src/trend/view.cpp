#include "trend/view.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace eb::trend {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A reread starts this much before the left edge, so that every board's
// last reading before the edge is found (a board is read at least every 4 s)
// and its lines enter the chart at the border.
constexpr double kLeadMs = 10'000;

const Range kVoltsFallback{0.0, 5.0};
const Range kTempFallback{0.0, 3.0};
constexpr double kMinValueSpan = 0.05;  // volts
constexpr int kMaxTicks = 8;            // intervals of a value axis

}  // namespace

int LineCount(Chart chart) {
  switch (chart) {
    case Chart::Cells: return kCells;
    case Chart::Stack: return 3 * kMaxBoards;
    case Chart::Etmp1:
    case Chart::Etmp2:
    case Chart::Itmp: return kMaxBoards;
  }
  return 0;
}

double ScrollStep(double span) { return TickStep(span, 30); }

View::View(const Store& store) : store_(store), uv_(kNone), ov_(kNone) {
  for (int c = 0; c < kCharts; ++c)
    lines_[static_cast<std::size_t>(c)].resize(
        static_cast<std::size_t>(LineCount(static_cast<Chart>(c))));
}

void View::SetBoard(int board) {
  if (board < 0 || board >= kMaxBoards) throw std::out_of_range("board out of range");
  if (board == board_) return;
  board_ = board;
  stale_ = true;
}

void View::SetThresholds(double uv, double ov) {
  uv_ = uv;
  ov_ = ov;
}

void View::ZoomAt(double t, double factor) {
  const double span = std::clamp(span_ * factor, kMinSpanMs, kMaxSpanMs);
  if (span == span_) return;
  if (paused_) {
    const double place = std::clamp((t - from_) / span_, 0.0, 1.0);
    from_ = t - place * span;
    to_ = from_ + span;
  } else {
    from_ = to_ - span;
  }
  span_ = span;
  stale_ = true;
}

void View::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  if (!paused_) stale_ = true;  // back to now: reread what came meanwhile
}

void View::Update(double nowMs) {
  if (!paused_) {
    const double step = ScrollStep(span_);
    to_ = std::ceil(nowMs / step) * step;
    from_ = to_ - span_;
    // Records not yet taken were overwritten: read the view afresh.
    if (nextCell_ < store_.cells.firstSeq() || nextTemp_ < store_.temps.firstSeq()) stale_ = true;
  }
  if (stale_) {
    Reread();
  } else if (!paused_) {
    for (; nextCell_ < store_.cells.endSeq(); ++nextCell_) Apply(store_.cells.at(nextCell_));
    for (; nextTemp_ < store_.temps.endSeq(); ++nextTemp_) Apply(store_.temps.at(nextTemp_));
  }
  Trim();
  axes_ = AxesOf(lines_, uv_, ov_);
}

const Trace& View::line(Chart chart, int i) const {
  return lines_[static_cast<std::size_t>(chart)].at(static_cast<std::size_t>(i));
}

Axis View::valueAxis(Chart chart) const { return axes_[static_cast<std::size_t>(chart)]; }

void View::Apply(const CellRecord& r) {
  ++applied_;
  const auto t = static_cast<double>(r.ms);
  if (r.board == board_) {
    auto& cells = Lines(Chart::Cells);
    for (int c = 0; c < kCells; ++c)
      cells[static_cast<std::size_t>(c)].Add(t, r.volts[static_cast<std::size_t>(c)]);
  }
  if (r.board >= kMaxBoards) return;
  const CellStats s = StatsOf(r);
  auto& stack = Lines(Chart::Stack);
  const auto base = static_cast<std::size_t>(3 * r.board);
  stack[base + kMin].Add(t, s.min);
  stack[base + kMax].Add(t, s.max);
  stack[base + kMean].Add(t, s.mean);
}

void View::Apply(const TempRecord& r) {
  ++applied_;
  if (r.board >= kMaxBoards) return;
  const auto t = static_cast<double>(r.ms);
  const Chart charts[kTemps] = {Chart::Etmp1, Chart::Etmp2, Chart::Itmp};
  for (int k = 0; k < kTemps; ++k)
    Lines(charts[k])[r.board].Add(t, r.volts[static_cast<std::size_t>(k)]);
}

void View::Reread() {
  for (auto& chart : lines_) {
    for (Trace& trace : chart) trace.Clear();
  }
  const double start = from_ - kLeadMs;
  auto before = [start](const auto& r) { return static_cast<double>(r.ms) < start; };
  // Live, everything stored belongs to the view (nothing lies after now);
  // paused, what came after the right edge does not.
  auto inView = [this](const auto& r) { return !paused_ || static_cast<double>(r.ms) <= to_; };
  for (std::uint64_t seq = store_.cells.partitionSeq(before);
       seq < store_.cells.endSeq() && inView(store_.cells.at(seq)); ++seq)
    Apply(store_.cells.at(seq));
  for (std::uint64_t seq = store_.temps.partitionSeq(before);
       seq < store_.temps.endSeq() && inView(store_.temps.at(seq)); ++seq)
    Apply(store_.temps.at(seq));
  nextCell_ = store_.cells.endSeq();
  nextTemp_ = store_.temps.endSeq();
  stale_ = false;
}

void View::Trim() {
  for (auto& chart : lines_) {
    for (Trace& trace : chart) trace.TrimBefore(from_);
  }
}

std::array<Axis, kCharts> AxesOf(const std::array<std::vector<Trace>, kCharts>& lines, double uv,
                                 double ov) {
  std::array<Axis, kCharts> axes;
  for (int c = 0; c < kCharts; ++c) {
    const auto chart = static_cast<Chart>(c);
    Range r;
    for (const Trace& trace : lines[static_cast<std::size_t>(c)]) r.Include(trace.values());
    if (chart == Chart::Stack) {
      r.Include(uv);
      r.Include(ov);
    }
    const bool volts = chart == Chart::Cells || chart == Chart::Stack;
    axes[static_cast<std::size_t>(c)] =
        AxisFor(r, kMinValueSpan, kMaxTicks, volts ? kVoltsFallback : kTempFallback);
  }
  return axes;
}

}  // namespace eb::trend
