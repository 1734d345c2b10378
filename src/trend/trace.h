// One line of a trend chart as it is drawn: runs of points between gaps. A
// gap ends the current run and the next reading starts a new one, so no line
// is ever drawn across a missing reading. Points come in time order; points
// that scroll out of view on the left are trimmed, keeping the one just
// before the edge so a line enters the chart at its border.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "trend/stats.h"

namespace eb::trend {

struct Point {
  double t = 0;  // milliseconds since the epoch
  double v = 0;
  bool operator==(const Point&) const = default;
};

class Trace {
 public:
  // A line broken into more pieces than this within the view shows only its
  // newest ones: a reading that flickers between valid and missing must not
  // make the chart draw thousands of pieces.
  static constexpr std::size_t kMaxRuns = 64;

  struct Run {
    std::uint64_t id = 0;  // increasing within the trace, never reused
    std::deque<Point> points;
    // Place of points[0] among all the points the run ever had: a point
    // keeps its place when earlier ones are trimmed (points[i] is point
    // first + i of the run).
    std::uint64_t first = 0;
  };

  // Adds a reading; a gap (NaN) ends the current run.
  void Add(double t, double v);
  // Drops what lies wholly before `t`.
  void TrimBefore(double t);
  void Clear();

  const std::deque<Run>& runs() const { return runs_; }
  std::size_t pointCount() const;
  Range values() const;

 private:
  Run& StartRun();
  std::deque<Run> runs_;
  bool open_ = false;  // the last run takes the next reading
  std::uint64_t nextId_ = 0;
};

}  // namespace eb::trend
