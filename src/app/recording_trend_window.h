// The trend window of a recording file: the charts of the live trend window
// (cells of one board and every board's minimum, maximum and mean; the
// temperatures) drawn from the file, from 30 s to the whole recording. The
// mouse wheel zooms about the cursor, the scroll bar moves along the
// recording, "Whole recording" shows all of it. A recording still being
// written is followed: every few seconds the window takes the new samples,
// and a view that showed the end moves on with it.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "record/recording.h"
#include "record/recording_view.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QLabel;
class QScrollBar;
class QTabWidget;
QT_END_NAMESPACE

namespace eb::app {

class TrendChart;

class RecordingTrendWindow : public QWidget {
  Q_OBJECT
 public:
  // Opens `path` and reads its levels, showing progress when that takes
  // over a second. Returns nullptr with *error set when the file cannot be
  // read (or *error empty when the operator cancelled).
  static RecordingTrendWindow* Open(const QString& path, QWidget* parent, QString* error);
  ~RecordingTrendWindow() override;

  record::RecordingView& view() { return *view_; }
  TrendChart& chart(trend::Chart which);
  QComboBox& boardChoice() { return *board_; }
  QTabWidget& tabs() { return *tabs_; }
  // Redraws the shown tab now; returns the milliseconds it took.
  double Refresh();
  // Takes what was written since (called by the timer).
  void Follow();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  RecordingTrendWindow(std::unique_ptr<record::Recording> recording, QWidget* parent);
  void Zoom(double ms, double factor);
  void Scrolled(int value);

  std::unique_ptr<record::Recording> recording_;
  std::unique_ptr<record::RecordingView> view_;
  QComboBox* board_;
  QLabel* span_;
  QLabel* readout_;
  QScrollBar* scroll_;
  QTabWidget* tabs_;
  std::vector<TrendChart*> charts_;  // indexed by trend::Chart
  QTimer follow_;
  bool syncingScroll_ = false;
};

}  // namespace eb::app
