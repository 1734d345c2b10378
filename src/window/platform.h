// What the window logic needs from its surroundings besides the bridge:
// modal message boxes, closing the window, the clock and the desktop's
// "open file" action. The Qt front end, the script runner and the tests each
// provide their own.
#pragma once

#include <chrono>
#include <string>

namespace eb {

class Platform {
 public:
  virtual ~Platform() = default;
  // Modal message box with an OK button; returns when it is answered.
  virtual void MsgBox(const std::string& text) = 0;
  // Tells the operator something that must not stop the cycle (a broker
  // that refused the login): a box that waits for no answer. Where boxes
  // are not shown, it is one.
  virtual void Notice(const std::string& text) { MsgBox(text); }
  // The window asks to be closed; the front end closes it once the running
  // handler has returned, which ends the program.
  virtual void Unload() = 0;
  // Wall clock for datalog time stamps.
  virtual std::chrono::system_clock::time_point Now() = 0;
  // Opens a file with the desktop's associated application.
  virtual void ShellOpen(const std::string& path) = 0;
  // Directory of the application (stop exports are written there).
  virtual std::string AppDirectory() = 0;
};

}  // namespace eb
