// An operator script run on a window over the scripted fake stack (one
// board at 80 unless the stack given has others): its status and output.
#pragma once

#include <sstream>
#include <string>

#include "support/fake_stack.h"
#include "window/form1.h"
#include "wiring/script_runner.h"

namespace eb::test {

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

inline RunResult RunOnFake(const std::string& script, FakeStack* custom = nullptr,
                           StackControl* control = nullptr) {
  FakeStack own;
  FakeStack& stack = custom ? *custom : own;
  if (stack.boards.empty()) stack.boards["80"] = {};
  std::ostringstream out, err;
  ScriptRunner runner(out, err);
  Form1 form(stack.bridge, runner);
  std::istringstream in(script);
  const int status = runner.Run(form, in, "t.script", control);
  return {status, out.str(), err.str()};
}

}  // namespace eb::test
