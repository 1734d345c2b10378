// The one door into the window logic. A handler runs to completion before the
// next event may enter; a modal message box inside a handler spins a nested
// event loop, and whatever arrives there (timer ticks, stray input) is dropped.
#pragma once

#include <exception>
#include <functional>
#include <iostream>

namespace eb::app {

class ModelGate {
 public:
  // Called after the outermost call has returned (bring the widgets in line
  // with the model, close the window when asked to).
  std::function<void()> afterEvent;

  // Runs `call` unless another call is still running. Returns false when the
  // event was dropped.
  bool Run(const std::function<void()>& call) {
    if (depth_ > 0) {
      ++dropped_;
      return false;
    }
    ++depth_;
    try {
      call();
    } catch (const std::exception& e) {
      std::cerr << "eb2250-gui: internal error in an event handler: " << e.what() << '\n';
    }
    --depth_;
    if (afterEvent) afterEvent();
    return true;
  }

  bool busy() const { return depth_ > 0; }
  // Events dropped because a handler was running.
  long dropped() const { return dropped_; }

 private:
  int depth_ = 0;
  long dropped_ = 0;
};

}  // namespace eb::app
