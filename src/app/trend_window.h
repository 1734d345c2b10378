// The trend window: cell voltages and temperatures of the stack against time,
// from the readings the measurement cycle already makes (no extra bridge
// traffic). The "Cells" tab shows the twelve cells of one board (the main
// window's selected board unless another is chosen here) and, below, the
// minimum, maximum and mean cell voltage of every board of the stack with the
// board's under- and over-voltage thresholds; the "Temperatures" tab shows
// ETMP1, ETMP2 and ITMP of every board.
//
// The charts are redrawn at most once a second of ticks (every
// kTicksPerRefresh timer ticks), not on every tick: each redraw takes the
// records that arrived meanwhile, and only the tab shown is redrawn.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "trend/store.h"
#include "trend/view.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
QT_END_NAMESPACE

namespace eb {
class Form1;
}

namespace eb::app {

class TrendChart;

class TrendWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTicksPerRefresh = 10;

  // `nowMs`: the time of the newest tick, milliseconds since the epoch.
  TrendWindow(const Form1& form, const trend::Store& store, std::function<double()> nowMs,
              QWidget* parent = nullptr);
  ~TrendWindow() override;

  // After every timer tick: redraws when it is time to.
  void OnTick();
  // Redraws now.
  void Refresh();

  trend::View& view() { return view_; }
  TrendChart& chart(trend::Chart which);
  QComboBox& boardChoice() { return *board_; }
  QPushButton& pauseButton() { return *pause_; }
  QTabWidget& tabs() { return *tabs_; }
  QLabel& readout() { return *readout_; }
  // Redraws so far (for tests and measurements).
  long refreshes() const { return refreshes_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Zoom(double ms, double factor);
  void ShowCursor(double ms, double value);
  int Board() const;

  const Form1& form_;
  std::function<double()> nowMs_;
  trend::View view_;
  QComboBox* board_;
  QPushButton* pause_;
  QLabel* span_;
  QLabel* readout_;
  QTabWidget* tabs_;
  std::vector<TrendChart*> charts_;  // indexed by trend::Chart
  int ticks_ = 0;
  long refreshes_ = 0;
};

}  // namespace eb::app
