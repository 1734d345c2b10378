// The application window: the client area of the control model in a main
// window, the 100 ms timer, the gate every event passes through, and the
// closing rules.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/model_gate.h"
#include "trend/store.h"
#include "window/sample_tap.h"
#include "window/trend_sampler.h"
#include "wiring/publishing.h"
#include "wiring/recorder.h"

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

  // The recording (Datalog > Record to file…, --record): every sample of
  // the cycle to a database file. `program` is the --version line, `bridge`
  // the connection string, stored beside the samples.
  void SetRecordingProvenance(const std::string& program, const std::string& bridge);
  // Starts recording to `path`; "" or why it cannot (for the operator).
  // Inside a handler too (a control-socket line).
  std::string StartRecording(const std::string& path);
  void StopRecording();
  Recorder& recorder() { return *recorder_; }
  // Publishing to an MQTT broker (Datalog > Publish to MQTT…, --mqtt): the
  // samples, the configuration and the status. Starts at once (an absent
  // broker is waited for); "" or why it cannot (for the operator).
  std::string StartPublishing(const std::string& url, const std::string& authFile);
  void StopPublishing();
  Publishing& publishing() { return *publishing_; }
  // The tap that hands the cycle's samples to the recording and any other sink.
  SampleTap& sampleTap() { return sampleTap_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AfterEvent();
  void SetupDatalog();
  // File > Save setup… / Load setup…: a file dialog, then the file; what
  // went wrong (nothing changed then) in a message box.
  void SetupFile(bool load);
  void RecordToFile();
  void SyncRecordActions();
  void PublishDialog();
  void SyncPublishActions();

  Form1& form_;
  ModelGate gate_;
  FormView* view_ = nullptr;
  QTimer timer_;
  trend::Store trendStore_;
  TrendSampler trendSampler_{trendStore_};
  TrendClock trendClock_;
  SampleTap sampleTap_;
  std::unique_ptr<Recorder> recorder_;
  QAction* recordAction_ = nullptr;
  QAction* stopRecordAction_ = nullptr;
  std::unique_ptr<Publishing> publishing_;
  QAction* publishAction_ = nullptr;
  QAction* stopPublishAction_ = nullptr;
  // Sends what waits for the broker while the timer's ticks do not run.
  QTimer publishPoll_;
  TrendWindow* trend_ = nullptr;
  std::string datalogFolder_;
  bool closeRequested_ = false;
  bool closing_ = false;
  bool closed_ = false;
};

}  // namespace eb::app
