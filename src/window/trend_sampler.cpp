#include "window/trend_sampler.h"

#include <limits>

#include "protocol/registers.h"
#include "window/form1.h"

namespace eb {

namespace {

constexpr int kCellStep = 0;
constexpr int kTempStep = 1;

// Bit of CFGR0 that puts the chip into 10-cell mode (cells 11 and 12 unused).
constexpr std::uint8_t kCell10Bit = 0x08;

std::size_t At(int i) { return static_cast<std::size_t>(i); }

}  // namespace

trend::CellRecord TrendCellsOf(const Form1& f, int board, bool gaveUp, std::int64_t ms) {
  trend::CellRecord r;
  r.ms = ms;
  r.board = static_cast<std::uint8_t>(board);
  const bool valid = !gaveUp && f.RDCVvalid[At(board)] == 1;
  const bool tenCells =
      f.RDCFGvalid[At(board)] == 1 && (f.CFGRbyte[0][At(board)] & kCell10Bit) != 0;
  for (int c = 1; c <= trend::kCells; ++c) {
    const bool measured = valid && !(tenCells && c > 10);
    r.volts[At(c - 1)] = measured ? f.CELLvolt[CellVoltIndex(board, c)] : trend::kGap;
  }
  return r;
}

trend::TempRecord TrendTempsOf(const Form1& f, int board, bool gaveUp, std::int64_t ms) {
  trend::TempRecord r;
  r.ms = ms;
  r.board = static_cast<std::uint8_t>(board);
  const bool valid = !gaveUp && f.RDTMPvalid[At(board)] == 1;
  for (int k = 1; k <= trend::kTemps; ++k)
    r.volts[At(k - 1)] = valid ? f.CELLvolt[TempIndex(board, k)] : trend::kGap;
  return r;
}

void TrendSampler::BeforeTick(const Form1& form) { watch_.Before(form); }

void TrendSampler::AfterTick(const Form1& form, std::chrono::system_clock::time_point now) {
  const std::optional<TickStep> t = watch_.After(form, now);
  if (!t) return;
  if (t->performed) {
    if (t->step == kCellStep) store_.cells.push(TrendCellsOf(form, t->board, t->gaveUp, t->ms));
    if (t->step == kTempStep) store_.temps.push(TrendTempsOf(form, t->board, t->gaveUp, t->ms));
  }
  if (t->stopped) PushGaps(t->boards, t->ms);
}

void TrendSampler::PushGaps(int boards, std::int64_t ms) {
  for (int b = 0; b < boards; ++b) {
    trend::CellRecord cells;
    cells.ms = ms;
    cells.board = static_cast<std::uint8_t>(b);
    cells.volts.fill(trend::kGap);
    store_.cells.push(cells);
    trend::TempRecord temps;
    temps.ms = ms;
    temps.board = static_cast<std::uint8_t>(b);
    temps.volts.fill(trend::kGap);
    store_.temps.push(temps);
  }
}

std::pair<double, double> TrendThresholds(const Form1& form, int board) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  const int uv = form.VUVreg.at(At(board));
  const int ov = form.VOVreg.at(At(board));
  return {uv > 0 ? uv * kVoltsPerThresholdCount : kNone,
          ov > 0 ? ov * kVoltsPerThresholdCount : kNone};
}

}  // namespace eb
