#include "window/trend_sampler.h"

#include <algorithm>
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

trend::CellRecord CellsOf(const Form1& f, int board, bool gaveUp, std::int64_t ms) {
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

trend::TempRecord TempsOf(const Form1& f, int board, bool gaveUp, std::int64_t ms) {
  trend::TempRecord r;
  r.ms = ms;
  r.board = static_cast<std::uint8_t>(board);
  const bool valid = !gaveUp && f.RDTMPvalid[At(board)] == 1;
  for (int k = 1; k <= trend::kTemps; ++k)
    r.volts[At(k - 1)] = valid ? f.CELLvolt[TempIndex(board, k)] : trend::kGap;
  return r;
}

}  // namespace

void TrendSampler::BeforeTick(const Form1& form) {
  before_.seen = true;
  before_.reading = form.OnOff == 1 && !form.Unloaded;
  before_.step = form.MEASUREflag;
  before_.board = form.BRDread;
}

void TrendSampler::AfterTick(const Form1& form, std::chrono::system_clock::time_point now) {
  if (!before_.seen) return;
  before_.seen = false;
  // Records go in time order even if the clock is set back.
  const std::int64_t ms = std::max<std::int64_t>(
      lastMs_,
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  lastMs_ = ms;

  const int board = before_.board;
  // A window closed during the tick (the bridge went away) performed no step.
  if (before_.reading && !form.Unloaded && board >= 0 && board < trend::kMaxBoards) {
    // A read that gives up stops the reading within the tick.
    const bool gaveUp = form.OnOff != 1;
    if (before_.step == kCellStep) store_.cells.push(CellsOf(form, board, gaveUp, ms));
    if (before_.step == kTempStep) store_.temps.push(TempsOf(form, board, gaveUp, ms));
  }

  const bool reading = form.OnOff == 1 && !form.Unloaded;
  if (reading_ && !reading) PushGaps(std::clamp(form.CARDSTACK + 1, 1, trend::kMaxBoards), ms);
  reading_ = reading;
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
