#include "trend/trace.h"

namespace eb::trend {

Trace::Run& Trace::StartRun() {
  if (runs_.size() == kMaxRuns) runs_.pop_front();
  Run& run = runs_.emplace_back();
  run.id = nextId_++;
  return run;
}

void Trace::Add(double t, double v) {
  if (IsGap(v)) {
    open_ = false;
    return;
  }
  Run& run = open_ && !runs_.empty() ? runs_.back() : StartRun();
  run.points.push_back({t, v});
  open_ = true;
}

void Trace::TrimBefore(double t) {
  while (!runs_.empty()) {
    Run& run = runs_.front();
    if (run.points.back().t < t) {
      // Wholly out of view: a run still taking readings ends with it.
      if (runs_.size() == 1) open_ = false;
      runs_.pop_front();
      continue;
    }
    while (run.points.size() >= 2 && run.points[1].t <= t) {
      run.points.pop_front();
      ++run.first;
    }
    break;
  }
}

void Trace::Clear() {
  runs_.clear();
  open_ = false;
}

std::size_t Trace::pointCount() const {
  std::size_t n = 0;
  for (const Run& run : runs_) n += run.points.size();
  return n;
}

Range Trace::values() const {
  Range r;
  for (const Run& run : runs_) {
    for (const Point& p : run.points) r.Include(p.v);
  }
  return r;
}

}  // namespace eb::trend
