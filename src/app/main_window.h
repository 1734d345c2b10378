// The application window: the client area of the control model in a main
// window, the 100 ms timer, the gate every event passes through, and the
// closing rules.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include "app/model_gate.h"

namespace eb {
class Form1;
}

namespace eb::app {

class FormView;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Form1& form, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs the window's start-up (Form_Load) through the gate.
  void Start();
  // One tick of the window timer: runs the timer's handler while the
  // model's timer is enabled; dropped while another handler runs.
  void Tick();
  // The model asked to be closed; the window closes once the running
  // handler has returned.
  void RequestClose();
  // Brings the widgets, the title and the timer in line with the model.
  void Sync();

  FormView& view() { return *view_; }
  ModelGate& gate() { return gate_; }
  QTimer& timer() { return timer_; }
  // True once the window has been closed, by the model or by the operator.
  bool closed() const { return closed_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AfterEvent();
  void SetupDatalog();

  Form1& form_;
  ModelGate gate_;
  FormView* view_ = nullptr;
  QTimer timer_;
  bool closeRequested_ = false;
  bool closing_ = false;
  bool closed_ = false;
};

}  // namespace eb::app
