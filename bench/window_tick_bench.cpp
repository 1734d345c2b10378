// CPU per timer tick of the running window: the model's tick, bringing the
// widgets in line with the model, and painting what changed. Ten boards,
// continuous reading, on the simulated stack, in Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QObject>
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
