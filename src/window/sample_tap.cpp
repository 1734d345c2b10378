#include "window/sample_tap.h"

#include <algorithm>
#include <cmath>

#include "window/cell_status.h"
#include "window/datalog_fields.h"
#include "window/form1.h"
#include "window/setup.h"
#include "window/trend_sampler.h"

namespace eb {

namespace {

std::size_t At(int b) { return static_cast<std::size_t>(b); }

std::int64_t Millis(std::chrono::system_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

// A reading held as float, to the microvolt: 3.5775 rather than the
// float's 3.57750010490417.
double Microvolts(float v) { return std::round(static_cast<double>(v) * 1e6) / 1e6; }

ReadOutcome OutcomeOf(I16 answer) {
  switch (answer) {
    case kPecMatched: return ReadOutcome::kMatch;
    case kPecFailed: return ReadOutcome::kMismatch;
    case kNoAnswer: return ReadOutcome::kNone;
    default: return ReadOutcome::kUnread;
  }
}

// The board's address, the low digit of its address text ("8A" → 10).
int AddressOf(const Form1& f, int b) {
  const std::string& text = f.BRDaddress[At(b)];
  if (text.size() != 2) return 0;
  const char c = text[1];
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

}  // namespace

BoardSample SampleOf(const Form1& form, int board, std::int64_t ms) {
  BoardSample s;
  s.ms = ms;
  s.board = board + 1;
  s.address = AddressOf(form, board);
  s.cfgr = datalog::collect::ConfigRead(form, board);
  s.flgr = datalog::collect::FlagsRead(form, board);
  s.vuv = datalog::collect::UnderVoltage(form, board);
  s.vov = datalog::collect::OverVoltage(form, board);
  const trend::CellRecord cells = TrendCellsOf(form, board, false, ms);
  const trend::TempRecord temps = TrendTempsOf(form, board, false, ms);
  std::transform(cells.volts.begin(), cells.volts.end(), s.cells.begin(), Microvolts);
  std::transform(temps.volts.begin(), temps.volts.end(), s.temps.begin(), Microvolts);
  for (int c = 0; c < kSampleCells; ++c) {
    const CellStatusLook* look = CellStatusOf(form.CELLstatus[CellStatusIndex(board, c)]);
    s.status[At(c)] = look ? look->code : "??";
  }
  s.cfgrRead = OutcomeOf(form.RDCFGanswer[At(board)]);
  s.flgrRead = OutcomeOf(form.RDFLGanswer[At(board)]);
  s.cvRead = OutcomeOf(form.RDCVanswer[At(board)]);
  s.tmpRead = OutcomeOf(form.RDTMPanswer[At(board)]);
  return s;
}

StackConfig StackConfigOf(const Form1& form, std::int64_t ms) {
  StackConfig config;
  config.ms = ms;
  for (int b = 0; b <= std::clamp<int>(form.CARDSTACK, 0, 9); ++b) {
    const std::size_t i = At(b);
    BoardConfig c;
    c.board = b + 1;
    c.address = AddressOf(form, b);
    c.cfgr = form.CFGR0[i] + ", " + form.CFGR1[i] + ", " + form.CFGR2[i] + ", " + form.CFGR3[i] +
             ", " + form.CFGR4[i] + ", " + form.CFGR5[i];
    std::tie(c.vuv, c.vov) = TrendThresholds(form, b);
    config.boards.push_back(std::move(c));
  }
  config.setup = SetupText(form);
  return config;
}

void SampleTap::Attach(SampleSink& sink, const Form1& form,
                       std::chrono::system_clock::time_point now) {
  if (std::find(sinks_.begin(), sinks_.end(), &sink) == sinks_.end()) sinks_.push_back(&sink);
  config_ = StackConfigOf(form, Millis(now));
  sink.ConfigChanged(config_);
}

void SampleTap::Detach(SampleSink& sink) { std::erase(sinks_, &sink); }

void SampleTap::BeforeTick(const Form1& form) { watch_.Before(form); }

void SampleTap::AfterTick(const Form1& form, std::chrono::system_clock::time_point now) {
  const std::optional<TickStep> t = watch_.After(form, now);
  if (!t || sinks_.empty()) return;
  if (t->PassDone()) {
    const BoardSample sample = SampleOf(form, t->board, t->ms);
    for (SampleSink* sink : sinks_) sink->Sample(sample);
  }
  StackConfig config = StackConfigOf(form, t->ms);
  if (!config.SameAs(config_)) {
    config_ = std::move(config);
    for (SampleSink* sink : sinks_) sink->ConfigChanged(config_);
  }
}

}  // namespace eb
