// A ten-board continuous cycle (30 ticks of the 100 ms timer) over the tty
// transport against a bridge board on a pseudo-terminal: with the identify
// read ending at its CR LF, and with it waiting for its count of 50
// characters (how the identify used to read; the line has 34, so every
// tick waited out the 200 ms time-out). Real time, one cycle per run.
#include <benchmark/benchmark.h>

#include "link/tty_bridge.h"
#include "support/continuous_cycle.h"
#include "support/pty_bridge.h"

namespace {

void BM_TenBoardCycleOverTty(benchmark::State& state) {
  const bool lineReads = state.range(0) != 0;
  eb::test::PtyBridge pty;
  eb::TtyBridge tty(pty.Path());
  eb::test::CycleResult last;
  for (auto _ : state) {
    last = eb::test::RunContinuousCycle(tty, lineReads);
    if (!last.started || last.boardsRead != 10) {
      state.SkipWithError("the cycle did not read all ten boards");
      break;
    }
    state.SetIterationTime(last.cycleMs / 1000.0);
  }
  state.counters["tick_transactions_ms"] = last.MeanTickMs();
  state.counters["identify_ms"] = last.MaxIdentifyMs();
}
BENCHMARK(BM_TenBoardCycleOverTty)
    ->ArgName("identify_to_line_end")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
