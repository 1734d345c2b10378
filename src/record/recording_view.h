// What the trend charts draw of a recording, at any zoom from 30 s to the
// whole recording: per pixel column of the chart, the minimum and maximum of
// every line's readings in that column, so that a spike shows at every zoom.
// A column whose readings are all missing is a gap; a column without any
// sample is left out (the line joins its neighbours, as between two
// readings).
//
// Reading a whole recording for every redraw would take seconds, so the
// view keeps levels of minima and maxima: per board and bucket of time
// (level 0: kBaseBucketMs or more, each level twice as wide as the one
// below), for the twelve cells, the three temperature inputs and the
// minimum, maximum and mean cell of each pass. They are built by one pass
// over the file (Load, which reports progress) and take what was written
// since on every later Load, so a recording still being written can be
// followed. Levels store voltages in steps of 100 µV (the chips' own
// resolution), 0 … 6.5534 V. A view showing few enough samples reads them
// from the file instead (through the index on time), exactly.
//
// Memory: 74 bytes per board per level-0 bucket, twice that for all levels
// together; level 0 holds at most kMaxBaseBuckets buckets of the recording
// as it was at the first Load (about 32 MB for one day of ten boards).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "record/recording.h"
#include "trend/view.h"

namespace eb::record {

struct ColumnGrid;

class RecordingView : public trend::ChartLines {
 public:
  static constexpr std::int64_t kBaseBucketMs = 4000;
  static constexpr std::int64_t kMaxBaseBuckets = 32768;
  // At most this many samples in view are read from the file.
  static constexpr std::int64_t kDirectSamples = 6000;
  static constexpr int kLevels = 24;
  // Level-0 buckets beyond the first sample a sample may lie.
  static constexpr std::int64_t kFarBuckets = 16 * kMaxBaseBuckets;
  // Channels of a board's pass: cells 0 … 11, temperatures 12 … 14, then
  // the minimum, maximum and mean cell.
  static constexpr int kChannels = 18;

  explicit RecordingView(const Recording& recording);

  // Takes the samples written since the last Load into the levels. Told the
  // share done now and then; returns false when `progress` cancelled.
  bool Load(const std::function<bool(double)>& progress = {});

  // First and last sample time loaded (both 0: none).
  std::int64_t first() const { return first_; }
  std::int64_t last() const { return last_; }
  std::int64_t samples() const { return samples_; }

  // Board whose cells the Cells chart shows (0 … 9); pixel columns of the charts.
  void SetBoard(int board);
  void SetColumns(int columns);
  // Pixel rows of the lowest chart's plot: readings closer than a row are
  // drawn as one (0: only equal ones).
  void SetRows(int rows);
  void SetThresholds(double uv, double ov);
  // Shows [from, to]: at least 30 s, at most the whole recording.
  void Show(double from, double to);
  // Zooms by `factor` about time `t`, which keeps its place.
  void ZoomAt(double t, double factor);
  void ShowAll();
  // Recomputes the lines for what is shown.
  void Update();
  // Whether the last Update read the samples from the file (not the levels).
  bool direct() const { return direct_; }

  double from() const override { return from_; }
  double to() const override { return to_; }
  const trend::Trace& line(trend::Chart chart, int i) const override;
  trend::Axis valueAxis(trend::Chart chart) const override;
  double underVoltage() const override { return uv_; }
  double overVoltage() const override { return ov_; }

 private:
  struct Bucket {
    std::array<std::uint16_t, kChannels> lo, hi;  // kNone: no reading
    std::uint16_t samples = 0;                    // saturating
  };
  void Add(int board, std::int64_t ms, const std::array<float, kChannels>& values);
  // Update's steps: the columns from the samples themselves (few in the
  // span) or from the buckets of one level, then every line from them.
  void GatherSamples(ColumnGrid& grid) const;
  void GatherBuckets(ColumnGrid& grid) const;
  void FillLines(const ColumnGrid& grid, const std::array<double, trend::kCharts>& tolerance);
  void Clamp();

  const Recording& recording_;
  // levels_[board][level][bucket]
  std::array<std::array<std::vector<Bucket>, kLevels>, kBoards> levels_;
  std::int64_t origin_ = 0, baseMs_ = kBaseBucketMs;
  std::int64_t lastId_ = 0;
  std::int64_t first_ = 0, last_ = 0, samples_ = 0;
  std::array<std::vector<trend::Trace>, trend::kCharts> lines_;
  std::array<trend::Axis, trend::kCharts> axes_;
  int board_ = 0, columns_ = 800, rows_ = 0;
  double uv_, ov_;
  double from_ = 0, to_ = 0;
  bool direct_ = false;
};

}  // namespace eb::record
