// One timer tick of the window on the simulated stack: model work plus the
// simulated bridge transactions.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

#include "sim/sim_stack.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace {

class QuietPlatform : public eb::Platform {
 public:
  void MsgBox(const std::string&) override { ++messages; }
  void Unload() override {}
  std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
  void ShellOpen(const std::string&) override {}
  std::string AppDirectory() override { return "/tmp"; }
  int messages = 0;
};

struct Bench {
  eb::Connection conn;
  QuietPlatform platform;
  std::unique_ptr<eb::Form1> form;

  explicit Bench(int boards) {
    std::string error;
    auto c = eb::OpenConnection("sim:boards=10,seed=1", &error);
    if (!c) throw std::runtime_error(error);
    conn = std::move(*c);
    form = std::make_unique<eb::Form1>(*conn.bridge, platform);
    form->Form_Load();
    form->Combo1.setListIndex(boards - 1);
    form->Command0_Click(1);  // duty cycle 1: the chips count as present
    form->Command1_click(5);  // broadcast configuration write
    form->Command1_click(6);
  }
};

// Continuous reading of a ten-board stack: each tick identifies the bridge
// and performs one step (cells, temperatures or flags) for one board.
void BM_ContinuousTickTenBoards(benchmark::State& state) {
  Bench b(10);
  b.form->Command1_click(10);
  for (auto _ : state) b.form->Timer1_Timer();
  if (b.form->OnOff != 1 || b.platform.messages != 0)
    state.SkipWithError("continuous reading stopped");
}
BENCHMARK(BM_ContinuousTickTenBoards)->Unit(benchmark::kMicrosecond);

// An idle tick: the identify transaction and the tab blink only.
void BM_IdentifyTick(benchmark::State& state) {
  Bench b(1);
  const auto before = b.conn.sim->Counters().identifies;
  for (auto _ : state) b.form->Timer1_Timer();
  if (b.form->Unloaded) state.SkipWithError("window closed");
  // Every tick really made its identify transaction.
  const auto made = b.conn.sim->Counters().identifies - before;
  if (made != static_cast<std::uint64_t>(state.iterations()))
    state.SkipWithError("ticks without identify");
}
BENCHMARK(BM_IdentifyTick)->Unit(benchmark::kMicrosecond);

}  // namespace
