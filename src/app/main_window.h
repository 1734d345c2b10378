// The application window: the client area of the control model in a main
// window, the 100 ms timer, the gate every event passes through, and the
// closing rules.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "app/model_gate.h"
#include "trend/store.h"
#include "window/trend_sampler.h"

namespace eb {
class Form1;
}

namespace eb::app {

class FormView;
class TrendWindow;

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

  // The trend: every timer tick of the model is sampled from the start (the
  // script runner's ticks too, through these two calls); the trend window is
  // made when first opened (View > Trend). Off screen, it is laid out and
  // drawn as if shown but never appears (screenshots of scripts).
  void BeforeModelTick();
  void AfterModelTick();
  void OpenTrend(bool onScreen = true);
  TrendWindow* trendWindow() { return trend_; }
  const trend::Store& trendStore() const { return trendStore_; }
  // Time of the trend's samples; the wall clock unless set.
  using TrendClock = std::function<std::chrono::system_clock::time_point()>;
  void SetTrendClock(TrendClock clock) { trendClock_ = std::move(clock); }
  // The datalog folder the operator chose (--datalog-dir): the datalog setup
  // suggests its workbook there. Empty: in the home folder.
  void SetDatalogFolder(std::string dir) { datalogFolder_ = std::move(dir); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AfterEvent();
  void SetupDatalog();
  // File > Save setup… / Load setup…: a file dialog, then the file; what
  // went wrong (nothing changed then) in a message box.
  void SetupFile(bool load);

  Form1& form_;
  ModelGate gate_;
  FormView* view_ = nullptr;
  QTimer timer_;
  trend::Store trendStore_;
  TrendSampler trendSampler_{trendStore_};
  TrendClock trendClock_;
  TrendWindow* trend_ = nullptr;
  std::string datalogFolder_;
  bool closeRequested_ = false;
  bool closing_ = false;
  bool closed_ = false;
};

}  // namespace eb::app
