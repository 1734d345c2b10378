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
  // The stack size as the operator chooses it in the board-count box.
  void SetBoards(int n) {
    form.Combo1.setListIndex(n - 1);
    stack.bridge.writes.clear();
  }
};

}  // namespace eb::test
