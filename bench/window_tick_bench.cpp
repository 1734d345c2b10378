// CPU per timer tick of the running window: the model's tick, bringing the
// widgets in line with the model, and painting what changed. Ten boards,
// continuous reading, on the simulated stack, in Qt's offscreen platform;
// with and without the trend window open.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTabWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/application.h"
#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/recording_trend_window.h"
#include "app/trend_chart.h"
#include "app/trend_window.h"
#include "support/recording_file.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace {

// Counts the paint events the widgets receive, by widget class.
class PaintCounter : public QObject {
 public:
  std::map<std::string, long> byClass;
  long total = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++total;
      ++byClass[watched->metaObject()->className()];
    }
    return false;
  }
};

struct RunningWindow {
  eb::Connection conn;
  std::ostringstream log;
  eb::app::QtPlatform platform{eb::app::QtPlatform::Boxes::AnswerAtOnce, log};
  std::unique_ptr<eb::Form1> form;
  std::unique_ptr<eb::app::MainWindow> window;

  RunningWindow() {
    std::string error;
    auto c = eb::OpenConnection("sim:boards=10,seed=1", &error);
    if (!c) throw std::runtime_error(error);
    conn = std::move(*c);
    form = std::make_unique<eb::Form1>(*conn.bridge, platform);
    window = std::make_unique<eb::app::MainWindow>(*form);
    platform.Attach(window.get());
    window->Start();
    window->show();
    form->Combo1.setListIndex(9);
    form->Command0_Click(1);  // duty cycle 1: the chips count as present
    form->Command1_click(5);  // broadcast configuration write
    form->Command1_click(6);
    form->Command1_click(10);  // continuous reading
    window->timer().stop();    // ticks come from the benchmark only
    window->Sync();
    Settle();
  }
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  bool Running() const { return form->OnOff == 1 && !form->Unloaded; }
};

// The model's tick alone (identify, one cycle step, blink).
void BM_WindowTickModel(benchmark::State& state) {
  RunningWindow w;
  for (auto _ : state) w.form->Timer1_Timer();
  if (!w.Running()) state.SkipWithError("continuous reading stopped");
}
BENCHMARK(BM_WindowTickModel)->Unit(benchmark::kMicrosecond);

// Tick and sync (the window syncs after every event): the widgets follow
// the model, nothing is painted yet.
void BM_WindowTickSync(benchmark::State& state) {
  RunningWindow w;
  for (auto _ : state) w.window->Tick();
  if (!w.Running()) state.SkipWithError("continuous reading stopped");
}
BENCHMARK(BM_WindowTickSync)->Unit(benchmark::kMicrosecond);

// What the running window costs per tick: model, sync and the repaint of
// every widget that changed.
void BM_WindowTickSyncPaint(benchmark::State& state) {
  RunningWindow w;
  PaintCounter paints;
  qApp->installEventFilter(&paints);
  for (auto _ : state) {
    w.window->Tick();
    RunningWindow::Settle();
  }
  qApp->removeEventFilter(&paints);
  if (!w.Running()) state.SkipWithError("continuous reading stopped");
  const double ticks = static_cast<double>(state.iterations());
  state.counters["paints/tick"] = static_cast<double>(paints.total) / ticks;
  if (std::getenv("EB_BENCH_PAINTS") != nullptr) {
    for (const auto& [name, n] : paints.byClass)
      std::fprintf(stderr, "%s %.2f/tick\n", name.c_str(), static_cast<double>(n) / ticks);
  }
}
BENCHMARK(BM_WindowTickSyncPaint)->Unit(benchmark::kMicrosecond);

// The running window, ticks 100 ms apart on the trend's clock, with every
// board's configuration read (choosing the stack size again does that), so
// that every board has temperatures:
//   0  trend window closed (its samples are still taken)
//   1  trend window open on its Cells tab
//   2  trend window open on its Temperatures tab
//   3  Cells tab zoomed out to the whole hour
// Five minutes of ticks (an hour for 3) go first, so that the charts hold as
// many points as they will before the measurement starts.
void BM_WindowTickSyncPaintTrend(benchmark::State& state) {
  const int variant = static_cast<int>(state.range(0));
  RunningWindow w;
  w.form->Combo1.setListIndex(8);
  w.form->Combo1.setListIndex(9);
  w.window->Sync();
  auto now = std::chrono::system_clock::now();
  w.window->SetTrendClock([&now] { return now; });
  eb::app::TrendWindow* trend = nullptr;
  if (variant > 0) {
    w.window->OpenTrend();
    trend = w.window->trendWindow();
    trend->tabs().setCurrentIndex(variant == 2 ? 1 : 0);
    if (variant == 3) {
      trend->view().ZoomAt(0, 1000);
      trend->Refresh();
    }
  }
  auto tick = [&] {
    now += std::chrono::milliseconds(100);
    w.window->Tick();
    RunningWindow::Settle();
  };
  for (int i = 0, n = variant == 3 ? 36'000 : 3'000; i < n; ++i) tick();

  PaintCounter paints;
  qApp->installEventFilter(&paints);
  const long refreshes = trend != nullptr ? trend->refreshes() : 0;
  for (auto _ : state) tick();
  qApp->removeEventFilter(&paints);
  if (!w.Running()) state.SkipWithError("continuous reading stopped");
  const double ticks = static_cast<double>(state.iterations());
  state.counters["paints/tick"] = static_cast<double>(paints.total) / ticks;
  if (trend != nullptr) {
    state.counters["redraws/tick"] = static_cast<double>(trend->refreshes() - refreshes) / ticks;
    int points = 0;
    for (auto which : {eb::trend::Chart::Cells, eb::trend::Chart::Stack, eb::trend::Chart::Etmp1,
                       eb::trend::Chart::Etmp2, eb::trend::Chart::Itmp})
      points += trend->chart(which).pointCount();
    state.counters["chart points"] = points;
  }
}
BENCHMARK(BM_WindowTickSyncPaintTrend)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

// The trend window of one day of a ten-board recording, 960 x 720 pixels,
// redrawn (lines computed, charts given them, the window painted) at a span
// of state.range(0) seconds about the middle of the day; state.range(1):
// 0 Cells tab, 1 Temperatures tab.
void BM_RecordingTrendDraw(benchmark::State& state) {
  QString error;
  std::unique_ptr<eb::app::RecordingTrendWindow> window(eb::app::RecordingTrendWindow::Open(
      QString::fromStdString(eb::test::DayRecordingFile()), nullptr, &error));
  if (!window) {
    state.SkipWithError(error.toStdString().c_str());
    return;
  }
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->setAttribute(Qt::WA_DontShowOnScreen);
  window->show();
  window->tabs().setCurrentIndex(static_cast<int>(state.range(1)));
  RunningWindow::Settle();
  const double middle = static_cast<double>(eb::test::DayOfTenBoards().startMs) + 12 * 3'600'000.0;
  const double span = static_cast<double>(state.range(0)) * 1000;
  double refresh = 0;
  for (auto _ : state) {
    // Alternately a little to each side, so that every redraw is a new one.
    const double shift = state.iterations() % 2 ? span / 10 : 0;
    window->view().Show(middle - span / 2 + shift, middle + span / 2 + shift);
    refresh += window->Refresh();
    benchmark::DoNotOptimize(window->grab());
  }
  // Of that, computing the lines and handing them to the charts.
  state.counters["refresh ms"] = refresh / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RecordingTrendDraw)
    ->ArgsProduct({{30, 3600, 86400}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  eb::app::ConfigureApplication(app);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
