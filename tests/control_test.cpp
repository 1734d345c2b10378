#include <gtest/gtest.h>

#include "ui/control.h"

namespace eb {
namespace {

TEST(ControlModel, PlaceholderBuilds) {
  ControlModel m;
  Control c{m, Kind::Label, "Label1"};
  EXPECT_EQ(m.find("Label1", -1), &c);
}

}  // namespace
}  // namespace eb
