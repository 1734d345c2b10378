// The demo's steps on its simulated stack: every board configured and read
// back, reading continuously, and the varied status the first picture shows.
#include "wiring/demo.h"

#include <gtest/gtest.h>

#include "support/scenario.h"

namespace eb {
namespace {

TEST(Demo, StepsLeaveAConfiguredStackReadingWithAVariedStatus) {
  const std::string checks = R"(tick 30
expect OnOff value 1
expect CARDSTACK value 3
expect RDCFGvalid 0 value 1
expect RDCFGvalid 1 value 1
expect RDCFGvalid 2 value 1
expect RDCFGvalid 3 value 1
expect CFGR0rd 3 value "E1"
expect CELLstatus 2 value 2
expect CELLstatus 6 value 5
expect CELLstatus 20 value 3
expect CELLstatus 0 value 1
expect CELLstatus 47 value 1
expect Shape12 3 fill "#00FF00"
expect-no-msgbox
)";
  auto r = test::RunScenario(kDemoConnection, std::string(kDemoScript) + checks);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_FALSE(r.Printed("IGNORED")) << r.out;
}

}  // namespace
}  // namespace eb
