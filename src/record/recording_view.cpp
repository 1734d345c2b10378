#include "record/recording_view.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "trend/stats.h"

namespace eb::record {

namespace {

constexpr std::uint16_t kNone = 0xffff;
constexpr double kStepVolts = 1e-4;
constexpr const char* kValues =
    "SELECT id, ms, board, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12, etmp1, etmp2, itmp "
    "FROM samples";
constexpr std::int64_t kProgressRows = 4096;

std::uint16_t Code(float v) {
  if (std::isnan(v)) return kNone;
  const long code = std::lround(static_cast<double>(v) / kStepVolts);
  return static_cast<std::uint16_t>(std::clamp<long>(code, 0, kNone - 1));
}

// One sample's channels (cells, temperatures, cell statistics); false for a
// board outside the stack.
bool ReadValues(sqlite3_stmt* s, int* board, std::int64_t* ms,
                std::array<float, RecordingView::kChannels>* values) {
  *ms = sqlite3_column_int64(s, 1);
  *board = sqlite3_column_int(s, 2);
  if (*board < 1 || *board > kBoards) return false;
  trend::CellRecord cells;
  for (int c = 0; c < kCells + kTemps; ++c) {
    const float v = sqlite3_column_type(s, 3 + c) == SQLITE_NULL
                        ? trend::kGap
                        : static_cast<float>(sqlite3_column_double(s, 3 + c));
    (*values)[static_cast<std::size_t>(c)] = v;
    if (c < kCells) cells.volts[static_cast<std::size_t>(c)] = v;
  }
  const trend::CellStats stats = trend::StatsOf(cells);
  (*values)[15] = static_cast<float>(stats.min);
  (*values)[16] = static_cast<float>(stats.max);
  (*values)[17] = static_cast<float>(stats.mean);
  return true;
}

struct Statement {
  sqlite3_stmt* s = nullptr;
  ~Statement() { sqlite3_finalize(s); }
};

// The readings of one channel of one board in one pixel column.
struct Column {
  float lo = std::numeric_limits<float>::infinity();
  float hi = -std::numeric_limits<float>::infinity();
  double t = 0;      // time of the reading when there is one
  int readings = 0;  // believable readings
  int samples = 0;   // samples, with or without a reading
  void Take(double when, float v) {
    ++samples;
    if (std::isnan(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    t = when;
    ++readings;
  }
};

}  // namespace

RecordingView::RecordingView(const Recording& recording)
    : recording_(recording),
      uv_(std::numeric_limits<double>::quiet_NaN()),
      ov_(std::numeric_limits<double>::quiet_NaN()) {
  for (int c = 0; c < trend::kCharts; ++c)
    lines_[static_cast<std::size_t>(c)].resize(
        static_cast<std::size_t>(trend::LineCount(static_cast<trend::Chart>(c))));
}

void RecordingView::Add(int board, std::int64_t ms, const std::array<float, kChannels>& values) {
  std::array<std::uint16_t, kChannels> codes;
  for (int c = 0; c < kChannels; ++c)
    codes[static_cast<std::size_t>(c)] = Code(values[static_cast<std::size_t>(c)]);
  const std::int64_t offset = std::max<std::int64_t>(0, ms - origin_);
  // A time stamp far beyond the recording (a clock set wrong) must not make
  // the levels take the memory of years: such a sample stays out of them.
  if (offset / baseMs_ > kFarBuckets) return;
  auto& levels = levels_[static_cast<std::size_t>(board - 1)];
  for (int l = 0; l < kLevels; ++l) {
    auto& buckets = levels[static_cast<std::size_t>(l)];
    const auto i = static_cast<std::size_t>(offset / (baseMs_ << l));
    if (i >= buckets.size()) {
      Bucket empty;
      empty.lo.fill(kNone);
      empty.hi.fill(kNone);
      buckets.resize(i + 1, empty);
    }
    Bucket& b = buckets[i];
    if (b.samples < 0xffff) ++b.samples;
    for (std::size_t c = 0; c < kChannels; ++c) {
      const std::uint16_t code = codes[c];
      if (code == kNone) continue;
      if (b.lo[c] == kNone || code < b.lo[c]) b.lo[c] = code;
      if (b.hi[c] == kNone || code > b.hi[c]) b.hi[c] = code;
    }
  }
}

bool RecordingView::Load(const std::function<bool(double)>& progress) {
  sqlite3* db = recording_.db();
  Statement top;
  int rc = sqlite3_prepare_v2(db,
                              "SELECT max(id), (SELECT min(ms) FROM samples), "
                              "(SELECT max(ms) FROM samples) FROM samples",
                              -1, &top.s, nullptr);
  if (rc != SQLITE_OK || (rc = sqlite3_step(top.s)) != SQLITE_ROW) recording_.Fail(rc);
  const std::int64_t maxId = sqlite3_column_int64(top.s, 0);
  if (maxId <= lastId_) return true;
  if (samples_ == 0) {
    // The level-0 bucket: wide enough that level 0 stays within its bound
    // for the recording as it is now.
    origin_ = sqlite3_column_int64(top.s, 1);
    const std::int64_t span = sqlite3_column_int64(top.s, 2) - origin_;
    baseMs_ = kBaseBucketMs;
    while (span / baseMs_ > kMaxBaseBuckets) baseMs_ *= 2;
  }
  Statement q;
  const std::string sql = std::string(kValues) + " WHERE id > ?1 AND id <= ?2";
  rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &q.s, nullptr);
  if (rc != SQLITE_OK) recording_.Fail(rc);
  sqlite3_bind_int64(q.s, 1, lastId_);
  sqlite3_bind_int64(q.s, 2, maxId);
  const std::int64_t startId = lastId_;
  std::array<float, kChannels> values{};
  std::int64_t rows = 0;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    int board = 0;
    std::int64_t ms = 0;
    lastId_ = sqlite3_column_int64(q.s, 0);
    if (ReadValues(q.s, &board, &ms, &values)) {
      Add(board, ms, values);
      first_ = samples_ == 0 ? ms : std::min(first_, ms);
      last_ = samples_ == 0 ? ms : std::max(last_, ms);
      ++samples_;
    }
    if (progress && ++rows % kProgressRows == 0 &&
        !progress(static_cast<double>(lastId_ - startId) / static_cast<double>(maxId - startId))) {
      // What was taken stays; the next Load goes on from here.
      return false;
    }
  }
  if (rc != SQLITE_DONE) recording_.Fail(rc);
  lastId_ = maxId;
  return true;
}

void RecordingView::SetBoard(int board) { board_ = std::clamp(board, 0, kBoards - 1); }

void RecordingView::SetColumns(int columns) { columns_ = std::clamp(columns, 16, 8192); }

void RecordingView::SetRows(int rows) { rows_ = std::clamp(rows, 0, 8192); }

void RecordingView::SetThresholds(double uv, double ov) {
  uv_ = uv;
  ov_ = ov;
}

void RecordingView::Clamp() {
  const double whole = std::max(trend::kMinSpanMs, static_cast<double>(last_ - first_));
  const double span = std::clamp(to_ - from_, trend::kMinSpanMs, whole);
  from_ =
      std::clamp(from_, static_cast<double>(first_), static_cast<double>(first_) + whole - span);
  to_ = from_ + span;
}

void RecordingView::Show(double from, double to) {
  from_ = from;
  to_ = to;
  Clamp();
}

void RecordingView::ZoomAt(double t, double factor) {
  const double span = to_ - from_;
  const double place = span > 0 ? std::clamp((t - from_) / span, 0.0, 1.0) : 0.5;
  const double next = span * factor;
  from_ = t - place * next;
  to_ = from_ + next;
  Clamp();
}

void RecordingView::ShowAll() { Show(static_cast<double>(first_), static_cast<double>(last_)); }

// The readings of every line in every pixel column of the span shown.
struct ColumnGrid {
  ColumnGrid(int columns, double from, double to)
      : w(columns),
        from_(from),
        width((to - from) / columns),
        cols(static_cast<std::size_t>(kBoards * RecordingView::kChannels * columns)) {}
  int column(double t) const { return static_cast<int>(std::floor((t - from_) / width)); }
  Column& at(int board0, int channel, int col) {
    return cols[static_cast<std::size_t>((board0 * RecordingView::kChannels + channel) * w + col)];
  }
  const Column& at(int board0, int channel, int col) const {
    return cols[static_cast<std::size_t>((board0 * RecordingView::kChannels + channel) * w + col)];
  }

  const int w;
  const double from_, width;
  // cols[(board * kChannels + channel) * w + column]
  std::vector<Column> cols;
};

void RecordingView::Update() {
  ColumnGrid grid(columns_, from_, to_);
  const double rate =
      last_ > first_ ? static_cast<double>(samples_) / static_cast<double>(last_ - first_) : 0.0;
  direct_ = rate * (to_ - from_) <= static_cast<double>(kDirectSamples);
  if (direct_) {
    GatherSamples(grid);
  } else {
    GatherBuckets(grid);
  }
  // Exactly first, for the value axes; then to the pixel rows of the charts.
  FillLines(grid, {});
  axes_ = trend::AxesOf(lines_, uv_, ov_);
  if (rows_ > 0) {
    std::array<double, trend::kCharts> tolerance{};
    for (int c = 0; c < trend::kCharts; ++c) {
      const trend::Axis& axis = axes_[static_cast<std::size_t>(c)];
      tolerance[static_cast<std::size_t>(c)] = (axis.hi - axis.lo) / rows_;
    }
    FillLines(grid, tolerance);
  }
}

void RecordingView::GatherSamples(ColumnGrid& grid) const {
  Statement q;
  const std::string sql = std::string(kValues) + " WHERE ms >= ?1 AND ms < ?2";
  int rc = sqlite3_prepare_v2(recording_.db(), sql.c_str(), -1, &q.s, nullptr);
  if (rc != SQLITE_OK) recording_.Fail(rc);
  sqlite3_bind_int64(q.s, 1, static_cast<std::int64_t>(std::floor(from_)));
  sqlite3_bind_int64(q.s, 2, static_cast<std::int64_t>(std::ceil(to_)));
  std::array<float, kChannels> values{};
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) {
    int board = 0;
    std::int64_t ms = 0;
    if (!ReadValues(q.s, &board, &ms, &values)) continue;
    const int col = grid.column(static_cast<double>(ms));
    if (col < 0 || col >= grid.w) continue;
    for (int c = 0; c < kChannels; ++c)
      grid.at(board - 1, c, col).Take(static_cast<double>(ms), values[static_cast<std::size_t>(c)]);
  }
  if (rc != SQLITE_DONE) recording_.Fail(rc);
}

void RecordingView::GatherBuckets(ColumnGrid& grid) const {
  const double width = grid.width;
  const int w = grid.w;
  // The widest level whose buckets are no wider than a column.
  int level = 0;
  while (level + 1 < kLevels && static_cast<double>(baseMs_ << (level + 1)) <= width) ++level;
  const std::int64_t bucketMs = baseMs_ << level;
  const auto bucketWidth = static_cast<double>(bucketMs);
  const auto firstBucket = static_cast<std::int64_t>(
      std::max(0.0, std::floor((from_ - static_cast<double>(origin_)) / bucketWidth)));
  const auto endBucket =
      static_cast<std::int64_t>(std::floor((to_ - static_cast<double>(origin_)) / bucketWidth)) + 1;
  for (int b = 0; b < kBoards; ++b) {
    const auto& buckets = levels_[static_cast<std::size_t>(b)][static_cast<std::size_t>(level)];
    const auto end = std::min<std::int64_t>(endBucket, static_cast<std::int64_t>(buckets.size()));
    for (std::int64_t i = firstBucket; i < end; ++i) {
      const Bucket& bucket = buckets[static_cast<std::size_t>(i)];
      if (bucket.samples == 0) continue;
      const double t = static_cast<double>(origin_ + i * bucketMs) + bucketWidth / 2;
      const int col = std::clamp(grid.column(t), 0, w - 1);
      for (int c = 0; c < kChannels; ++c) {
        Column& into = grid.at(b, c, col);
        ++into.samples;
        const auto k = static_cast<std::size_t>(c);
        if (bucket.lo[k] == kNone) continue;
        into.lo = std::min(into.lo, static_cast<float>(bucket.lo[k] * kStepVolts));
        into.hi = std::max(into.hi, static_cast<float>(bucket.hi[k] * kStepVolts));
        into.t = t;
        ++into.readings;
      }
    }
  }
}

namespace {

// Each column of a line: its minimum and maximum at the column's middle
// (its one reading where it has one); a gap where all are missing.
// Columns whose readings lie within `tolerance` of each other, one after
// another and within `tolerance` of the first of them, are one stretch
// drawn by its first and last point: the line is the same to the pixel.
// The Stack chart's minimum line draws the lowest of each column and its
// maximum line the highest: together they are the column's envelope.
enum class Keep { Both, Low, High };

void FillTrace(trend::Trace& trace, const ColumnGrid& grid, int board0, int channel,
               double tolerance, Keep keep) {
  trace.Clear();
  bool flat = false, pending = false;
  double anchor = 0;
  trend::Point end;
  auto flush = [&] {
    if (pending) trace.Add(end.t, end.v);
    pending = false;
  };
  for (int col = 0; col < grid.w; ++col) {
    Column c = grid.at(board0, channel, col);
    if (c.samples == 0) continue;
    if (keep == Keep::Low) c.hi = c.lo;
    if (keep == Keep::High) c.lo = c.hi;
    const double middle = grid.from_ + (col + 0.5) * grid.width;
    if (c.readings == 0) {
      flush();
      trace.Add(middle, trend::kGap);
      flat = false;
    } else if (c.hi - c.lo <= tolerance) {
      const double t = c.readings == 1 ? c.t : middle;
      const double v = c.lo == c.hi ? c.lo : (static_cast<double>(c.lo) + c.hi) / 2;
      if (flat && std::abs(v - anchor) <= tolerance) {
        end = {t, v};
        pending = true;
        continue;
      }
      flush();
      trace.Add(t, v);
      flat = true;
      anchor = v;
    } else {
      flush();
      trace.Add(middle, c.lo);
      trace.Add(middle, c.hi);
      flat = false;
    }
  }
  flush();
}

}  // namespace

void RecordingView::FillLines(const ColumnGrid& grid,
                              const std::array<double, trend::kCharts>& tolerance) {
  auto tol = [&](trend::Chart chart) { return tolerance[static_cast<std::size_t>(chart)]; };
  auto& cells = lines_[static_cast<std::size_t>(trend::Chart::Cells)];
  for (int c = 0; c < kCells; ++c)
    FillTrace(cells[static_cast<std::size_t>(c)], grid, board_, c, tol(trend::Chart::Cells),
              Keep::Both);
  auto& stack = lines_[static_cast<std::size_t>(trend::Chart::Stack)];
  for (int b = 0; b < kBoards; ++b) {
    const Keep keeps[3] = {Keep::Low, Keep::High, Keep::Both};  // kMin, kMax, kMean
    for (int k = 0; k < 3; ++k)
      FillTrace(stack[static_cast<std::size_t>(3 * b + k)], grid, b, 15 + k,
                tol(trend::Chart::Stack), keeps[k]);
    for (int k = 0; k < kTemps; ++k) {
      const auto chart = static_cast<trend::Chart>(static_cast<int>(trend::Chart::Etmp1) + k);
      FillTrace(lines_[static_cast<std::size_t>(chart)][static_cast<std::size_t>(b)], grid, b,
                kCells + k, tol(chart), Keep::Both);
    }
  }
}

const trend::Trace& RecordingView::line(trend::Chart chart, int i) const {
  return lines_[static_cast<std::size_t>(chart)].at(static_cast<std::size_t>(i));
}

trend::Axis RecordingView::valueAxis(trend::Chart chart) const {
  return axes_[static_cast<std::size_t>(chart)];
}

}  // namespace eb::record
