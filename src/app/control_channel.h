// The control socket on the running window (--listen): the event loop
// watches the listener and its connections, and each line received runs
// through the window's gate between timer ticks, never inside one. Message
// boxes a line raises are answered at once and go into its answer.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "wiring/control_listener.h"
#include "wiring/control_server.h"

namespace eb {
class Form1;
class StackControl;
}  // namespace eb

namespace eb::app {

class MainWindow;
class QtPlatform;

class ControlChannel : public QObject {
 public:
  // Listens on `listen` (--listen), with the token in `tokenFile` when it
  // is not empty (--listen-token). Returns null with *error set (one line).
  static std::unique_ptr<ControlChannel> Start(MainWindow& window, Form1& form,
                                               QtPlatform& platform, StackControl* stack,
                                               const std::string& listen,
                                               const std::string& tokenFile, std::string* error);
  ~ControlChannel() override;

  // Where it listens: "unix:/path", "tcp:127.0.0.1:5025".
  const std::string& where() const { return listener_.where(); }

 private:
  ControlChannel(MainWindow& window, Form1& form, QtPlatform& platform, StackControl* stack,
                 const std::string& token);
  struct Watch {
    std::unique_ptr<QSocketNotifier> read, write;
  };
  void AcceptAll();
  void Read(int id);
  void Write(int id);
  void Drop(int id);
  void Update(int id);
  void UpdateAll();
  // Runs the next line (and checks the waits) when the window is free.
  void Pump();
  void Schedule(int ms = 0);
  // Checks the waits on the window, or only expires them while it is busy.
  void CheckWaits();
  void ArmDeadline();
  bool InGate(const std::function<void()>& call);

  MainWindow& window_;
  QtPlatform& platform_;
  ControlListener listener_;
  ControlServer server_;
  std::unique_ptr<QSocketNotifier> accept_;
  std::map<int, Watch> watches_;
  std::set<int> failed_;   // writes failed: dropped from the event loop
  std::set<int> closing_;  // closed once their answers are written
  QTimer pump_;
  QTimer deadline_;
};

}  // namespace eb::app
