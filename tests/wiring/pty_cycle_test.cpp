// The window over the tty transport against a bridge board on a
// pseudo-terminal (a simulated stack behind it): the identify ends with its
// line, so a ten-board continuous cycle runs at the timer's pace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "../sim/sim_test_support.h"
#include "link/tty_bridge.h"
#include "sim/sim_stack.h"
#include "support/continuous_cycle.h"
#include "support/pty_bridge.h"

namespace eb {
namespace {

using Clock = std::chrono::steady_clock;

TEST(PtyBridgeBoard, AnswersTheIdentifyAndRegisterReadsAsTheBridgeDoes) {
  test::PtyBridge pty(simtest::Quiet(2, 5));
  pty.WithStack([](SimStack& s) { return s.ApplyCommand({"cell", "1", "4", "3.912"}); });
  TtyBridge tty(pty.Path());
  // The identity: 34 characters ending in CR LF, at once.
  ASSERT_TRUE(tty.Open(0));
  tty.SetTimeouts(200, 50);
  ASSERT_EQ(tty.Write("IZ"), 2u);
  char buf[50];
  const auto start = Clock::now();
  const std::size_t got = tty.ReadLine(buf, 50);
  const auto took = Clock::now() - start;
  tty.Close();
  EXPECT_EQ(std::string(buf, got), SimStack::kIdentity);
  EXPECT_EQ(got, 34u);
  EXPECT_LT(took, std::chrono::milliseconds(100));
  // A cell conversion, then a register read, PEC and all.
  ASSERT_TRUE(tty.Open(0));
  tty.SetTimeouts(1000, 1000);
  ASSERT_EQ(tty.Write("MSxS10X"), 7u);
  tty.Close();
  const simtest::RegisterReply cells = simtest::ReadRegisters(tty, 1, 0x04, 18);
  ASSERT_TRUE(cells.ok);
  EXPECT_TRUE(cells.PecMatches());
  EXPECT_EQ(simtest::UnpackCells(cells.bytes)[3], simtest::Counts(3.912));
  EXPECT_EQ(pty.WithStack([](SimStack& s) { return s.Counters().identifies; }), 1u);
}

// Thirty ticks of 100 ms read all ten boards once. Each tick's identify used
// to wait out its 200 ms (it asked for 50 characters, the line has 34), so
// the cycle took about 6 s; now the transactions of a tick take a few
// milliseconds and the cycle takes the timer's 3 s.
TEST(PtyCycle, TenBoardsAreReadInThirtyTicksOfTheTimer) {
  test::PtyBridge pty;
  TtyBridge tty(pty.Path());
  const test::CycleResult r = test::RunContinuousCycle(tty, true);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.stillReading);
  EXPECT_EQ(r.boardsRead, 10);
  ASSERT_EQ(r.tickMs.size(), 30u);
  std::printf(
      "ten-board cycle over the tty transport: %.0f ms; in transactions per tick: "
      "mean %.1f ms, max %.1f ms; identify max %.1f ms\n",
      r.cycleMs, r.MeanTickMs(), r.MaxTickMs(), r.MaxIdentifyMs());
  RecordProperty("cycle_ms", static_cast<int>(r.cycleMs));
  RecordProperty("mean_tick_transaction_ms", static_cast<int>(r.MeanTickMs()));
  EXPECT_LT(r.MaxIdentifyMs(), 50.0);
  EXPECT_LT(r.MeanTickMs(), 40.0);
  EXPECT_LT(r.MaxTickMs(), 100.0);  // no tick overruns the timer's period
  EXPECT_LT(r.cycleMs, 3600.0);
}

}  // namespace
}  // namespace eb
