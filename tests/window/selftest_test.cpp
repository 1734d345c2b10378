// Self tests on the simulated stack: conversions in self-test mode and the
// hex view of the converter codes.
#include <gtest/gtest.h>

#include "support/scenario.h"

namespace eb {
namespace {

using test::RunScenario;

TEST(SelfTest, CellSelfTestTwoShowsTwelveMatchingCodes) {
  auto r = RunScenario("sim:boards=2,seed=1", R"(
click Option2 1
expect SELFTEST_Lnib value "F"
expect Command5 0 tooltip "0x1F STCVAD SELF TEST ALL"
click Command5 0
expect SELFTESTflag value 1
expect Text1 4 text "0x000 "
click Command5 3
expect Text1 0 text "0xAAA "
expect Text1 11 text "0xAAA "
expect Text1 11 back "#FFFFFF"
expect Shape13 fill "#FFFFFF"
)");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.Count("MSxS1FX"), 1);
}

TEST(SelfTest, ComparisonUsesTheChoiceAtReadTime) {
  auto r = RunScenario("sim:boards=1,seed=1", R"(
click Command5 5
expect Shape13 fill "#8080FF"
click Option2 1
click Command5 3
expect Text1 0 text "0x555 "
expect Text1 0 back "#FF0000"
)");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.Count("MSxS6EX"), 1);
}

TEST(SelfTest, BoardSwitchShowsTheHexViewOfTheNewBoard) {
  auto r = RunScenario("sim:boards=2,seed=1", R"(
set Combo1 1
click Command5 2
expect SELFTESTTMPflag value 1
expect Text6 0 text " 0x000 "
click Command5 4
expect Text6 0 text " 0x555 "
expect Text6 2 back "#FFFFFF"
click Command4 1
expect Text6 1 back "#FF0000"
click Command1 9
expect SELFTESTTMPflag value 0
)");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.Count("MSxS3EX"), 1);
}

}  // namespace
}  // namespace eb
