// Throughput of the simulated stack, transactions per second, done the way
// the window makes them: open, time-outs, write, read, close.
#include <benchmark/benchmark.h>

#include "sim/sim_bridge.h"

namespace {

eb::SimSettings TenBoards() {
  eb::SimSettings s;
  s.boards = 10;
  s.seed = 1;
  return s;  // default noise: every conversion draws random numbers
}

void BM_SimCellRead(benchmark::State& state) {
  eb::SimBridge bridge(TenBoards());
  bridge.Open(0);
  bridge.SetTimeouts(1000, 1000);
  bridge.Write("MSxS10X");
  bridge.Close();
  char buf[64];
  std::size_t chars = 0;
  for (auto _ : state) {
    bridge.Open(0);
    bridge.SetTimeouts(1000, 1000);
    bridge.Write("MSxT84T04RRRRRRRRRRRRRRRRRRRX");
    chars += bridge.Read(buf, 42);
    bridge.Close();
    benchmark::DoNotOptimize(buf);
  }
  if (chars != 42 * static_cast<std::size_t>(state.iterations()))
    state.SkipWithError("short reply");
  state.SetItemsProcessed(state.iterations());
  state.counters["transactions/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimCellRead);

void BM_SimBroadcastCellConversion(benchmark::State& state) {
  eb::SimBridge bridge(TenBoards());
  for (auto _ : state) {
    bridge.Open(0);
    bridge.SetTimeouts(1000, 1000);
    bridge.Write("MSxS10X");
    bridge.Close();
  }
  benchmark::DoNotOptimize(bridge.Stack().Chip(9).CellCounts());
  state.SetItemsProcessed(state.iterations());
  state.counters["transactions/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimBroadcastCellConversion);

void BM_SimAddressedCellConversion(benchmark::State& state) {
  eb::SimBridge bridge(TenBoards());
  for (auto _ : state) {
    bridge.Open(0);
    bridge.SetTimeouts(1000, 1000);
    bridge.Write("MSxS84S10X");
    bridge.Close();
  }
  benchmark::DoNotOptimize(bridge.Stack().Chip(4).CellCounts());
  state.SetItemsProcessed(state.iterations());
  state.counters["transactions/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimAddressedCellConversion);

}  // namespace
