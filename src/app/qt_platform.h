// The window logic's surroundings under Qt: modal message boxes, closing the
// window, the clock, the desktop's "open file" and the program's directory.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "window/platform.h"

namespace eb::app {

class MainWindow;

class QtPlatform : public Platform {
 public:
  enum class Boxes {
    Ask,          // a modal box with an OK button
    AnswerAtOnce  // no box: the text goes to `log`, OK is implied (screenshots)
  };
  explicit QtPlatform(Boxes boxes, std::ostream& log);

  // The window that shows the boxes and closes on Unload().
  void Attach(MainWindow* window);

  void MsgBox(const std::string& text) override;
  void Notice(const std::string& text) override;
  void Unload() override;
  std::chrono::system_clock::time_point Now() override;
  void ShellOpen(const std::string& path) override;
  std::string AppDirectory() override;
  // The datalog folder the operator chose (--datalog-dir); empty: the default.
  void SetDatalogFolder(std::string dir) { datalogFolder_ = std::move(dir); }

  // From now on every box is answered at once (the program is ending).
  void AnswerAtOnceFromNow() { mode_ = Boxes::AnswerAtOnce; }
  // While set, every box is answered at once and its text handed to `to`
  // (a line from the control socket: nobody at the window is asked).
  void DivertBoxes(std::function<void(const std::string&)> to) { divert_ = std::move(to); }

  // Number of message boxes shown (or answered at once).
  int boxes() const { return boxCount_; }

 private:
  std::string datalogFolder_;
  std::function<void(const std::string&)> divert_;
  Boxes mode_;
  std::ostream& log_;
  MainWindow* window_ = nullptr;
  bool unloadPending_ = false;
  int boxCount_ = 0;
};

}  // namespace eb::app
