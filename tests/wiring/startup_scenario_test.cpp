// Start-up, identification and the timer on the simulated stack.
#include <gtest/gtest.h>

#include "support/scenario.h"

namespace eb {
namespace {

using test::RunScenario;

TEST(ScenarioStartUp, IdentifiesTheSimulatedChipAndRunsTheTimer) {
  auto r = RunScenario("sim:boards=1,seed=1", R"(
expect Timer1 enabled true
expect Label_IDstring caption "ZQM4417-2"
expect Initialize value -1
tick 3
expect Initialize value -1
)");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // Start-up: identify, then the selected board's configuration; each tick
  // identifies again.
  ASSERT_GE(r.trace.size(), 5u);
  EXPECT_EQ(r.trace[0].command, "IZ");
  EXPECT_EQ(r.trace[0].reply.substr(0, 9), "ZQM4417-2");
  EXPECT_EQ(r.trace[1].command, "MSxT80T02RRRRRRRX");
  EXPECT_EQ(r.trace[1].reply.size(), 18u);
  EXPECT_EQ(r.Count("IZ"), 4);
  EXPECT_EQ(r.trace.back().command, "IZ");
}

TEST(ScenarioStartUp, UnpluggedBridgeClosesTheWindowAtTheNextTick) {
  auto r = RunScenario("sim:boards=1", R"(
tick 2
sim unplug
tick 1
expect Initialize value -1
)");
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.Printed("CLOSED")) << r.out;
  EXPECT_FALSE(r.Printed("EXPECT FAILED"));
}

TEST(ScenarioStartUp, NoBridgeAtStartUpClosesAtOnce) {
  auto r = RunScenario("sim:boards=1", "");  // control run
  ASSERT_EQ(r.status, 0);
  auto closed = RunScenario("fault:unplug=0,seed=1/sim", "expect Initialize value -1\n");
  EXPECT_EQ(closed.status, 3);
  EXPECT_TRUE(closed.Printed("CLOSED"));
}

TEST(ScenarioStartUp, StandbyTickMakesNoTransaction) {
  auto r = RunScenario("sim:boards=2", R"(
click Command1 14
expect STBYflag value 1
tick 5
)");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_FALSE(r.trace.empty());
  EXPECT_EQ(r.trace.back().command, "MI");  // nothing after parking the bridge
}

TEST(ScenarioStartUp, ScriptErrorsNameTheLineAndStop) {
  auto r = RunScenario("sim", "tick 1\nclick Nope 3\ntick 1\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("scenario:2: "), std::string::npos) << r.err;
  auto bad = RunScenario("sim", "print Text1 12\n");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("bad index 12"), std::string::npos) << bad.err;
  auto unknown = RunScenario("sim", "frobnicate\n");
  EXPECT_EQ(unknown.status, 2);
  auto failed = RunScenario("sim", "expect Label21 caption \"2\"\ntick 1\n");
  EXPECT_EQ(failed.status, 1);
  EXPECT_TRUE(failed.Printed("EXPECT FAILED scenario:1: Label21.caption is \"1\", expected \"2\""))
      << failed.out;
}

}  // namespace
}  // namespace eb
