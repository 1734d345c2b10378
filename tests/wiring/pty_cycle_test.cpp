// The window over the tty transport against a bridge board on a
// pseudo-terminal: the identify ends with its line, so a ten-board cycle
// runs at the timer's pace.
#include <gtest/gtest.h>

#include <cstdio>

#include "../sim/sim_test_support.h"
#include "link/tty_bridge.h"
#include "support/continuous_cycle.h"
#include "support/pty_bridge.h"

namespace eb {
namespace {

TEST(PtyBridgeBoard, AnswersTheIdentifyAndRegisterReadsAsTheBridgeDoes) {
  test::PtyBridge pty(simtest::Quiet(2, 5));
  pty.WithStack([](SimStack& s) { return s.ApplyCommand({"cell", "1", "4", "3.912"}); });
  TtyBridge tty(pty.Path());
  EXPECT_EQ(simtest::Transact(tty, "IZ", 34, 200), SimStack::kIdentity);
  simtest::Transact(tty, "MSxS10X", 0);  // cell conversion
  const simtest::RegisterReply cells = simtest::ReadRegisters(tty, 1, 0x04, 18);
  ASSERT_TRUE(cells.PecMatches());
  EXPECT_EQ(simtest::UnpackCells(cells.bytes)[3], simtest::Counts(3.912));
}

// Each tick's identify used to wait out its 200 ms (it asks for 50
// characters, the line has 34), so thirty ticks took about 6 s; now a tick's
// transactions take a few milliseconds and the cycle the timer's 3 s.
TEST(PtyCycle, TenBoardsAreReadInThirtyTicksOfTheTimer) {
  test::PtyBridge pty;
  TtyBridge tty(pty.Path());
  const test::CycleResult r = test::RunContinuousCycle(tty, true);
  ASSERT_TRUE(r.started);
  ASSERT_EQ(r.tickMs.size(), 30u);
  std::printf(
      "ten-board cycle over tty: %.0f ms; per tick in transactions: mean %.1f ms, "
      "max %.1f ms; identify max %.1f ms\n",
      r.cycleMs, r.MeanTickMs(), r.MaxTickMs(), r.MaxIdentifyMs());
  EXPECT_TRUE(r.stillReading);
  EXPECT_EQ(r.boardsRead, 10);
  EXPECT_LT(r.MaxIdentifyMs(), 50.0);
  EXPECT_LT(r.MeanTickMs(), 40.0);
  EXPECT_LT(r.MaxTickMs(), 100.0);  // no tick overruns the timer's period
  EXPECT_LT(r.cycleMs, 3600.0);
}

}  // namespace
}  // namespace eb
