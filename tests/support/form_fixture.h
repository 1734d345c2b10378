// A started window on the scripted stack: three boards at 80, 81, 82.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_stack.h"
#include "window/form1.h"

namespace eb::test {

class FormFixture : public ::testing::Test {
 protected:
  FakeStack stack;
  FakePlatform platform;
  Form1 form{stack.bridge, platform};

  void SetUp() override {
    stack.boards["80"] = {};
    stack.boards["81"] = {};
    stack.boards["82"] = {};
    form.Form_Load();
    ASSERT_FALSE(form.Unloaded);
    stack.bridge.writes.clear();
  }
  const std::vector<std::string>& Writes() const { return stack.bridge.writes; }
  int Count(const std::string& prefix) const { return stack.Count(prefix); }
  // Every control that reading locks is usable again (reading stopped or paused).
  void ExpectReadingControlsEnabled() {
    for (int i : {2, 3, 4, 6, 7, 8, 9}) EXPECT_TRUE(form.Command1[i].enabled) << i;
    std::vector<const Control*> others{&form.Command3[0], &form.Command3[1], &form.Check8[0],
                                       &form.Check8[1]};
    for (int i = 2; i <= 4; ++i) others.push_back(&form.Check5[i]);
    for (int i = 1; i <= 3; ++i) others.push_back(&form.Label18[i]);
    for (Control& c : form.Command5) others.push_back(&c);
    for (const Control* c : others) EXPECT_TRUE(c->enabled) << c->Label();
  }
  // The stack size as the operator chooses it in the board-count box.
  void SetBoards(int n) {
    form.Combo1.setListIndex(n - 1);
    stack.bridge.writes.clear();
  }
};

}  // namespace eb::test
