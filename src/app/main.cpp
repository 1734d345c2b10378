// eb2250-gui: the evaluation window for a stack of battery-monitor boards.
// See UsageText() (command_line.cpp) for the command line.

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/command_line.h"
#include "app/form_view.h"
#include "app/identity_box.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/stop_signals.h"
#include "app/trend_window.h"
#include "link/fault_bridge.h"
#include "link/ftdi_functions.h"
#include "link/replay_bridge.h"
#include "link/trace_bridge.h"
#include "sheet/datalog_folder.h"
#include "sheet/replacing_file.h"
#include "window/datalog_journal.h"
#include "window/form1.h"
#include "wiring/connection.h"
#include "wiring/demo.h"
#include "wiring/identity_report.h"
#include "wiring/probe.h"
#include "wiring/script_runner.h"

namespace {

constexpr const char* kProgram = "eb2250-gui";

// Time the screenshot mode lets the window run before taking its picture:
// start-up, a few timer ticks and the first paint.
constexpr int kScreenshotSettleMs = 500;
// With --demo, long enough for two passes over the four boards, so the
// picture shows every reading and status.
constexpr int kDemoSettleMs = 2800;

int Fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << std::endl;
  return 2;
}

// What was tried when the chip was not identified, and why nothing
// answered (or what answered instead), with what to do about it.
eb::IdentityReport IdentityFailure(const eb::Form1& form, const eb::Connection& connection) {
  return eb::ReportIdentityFailure(*connection.bridge, form.IDreply, connection.sim != nullptr,
                                   kProgram);
}

// Whether two paths name the same file: the same file on disk when both
// exist, otherwise the same path once made absolute.
bool SameFile(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code errorA, errorB;
  if (fs::exists(a, errorA) && fs::exists(b, errorB)) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
  }
  const fs::path pathA = fs::weakly_canonical(a, errorA);
  const fs::path pathB = fs::weakly_canonical(b, errorB);
  return !errorA && !errorB && pathA == pathB;
}

// The system's reason for the last failed call, as ": reason" ("" when none).
std::string Reason(int error) { return error != 0 ? std::string(": ") + std::strerror(error) : ""; }

bool ClosedForIdentity(const eb::Form1& form) { return form.Unloaded && form.Initialize == 0; }

// Saves a widget at one image pixel per window pixel, whatever the screen's
// scale, in the format the file's name asks for. Reports a file that cannot
// be written.
bool SaveWidget(QWidget& widget, const std::string& path) {
  QImage picture(widget.size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  widget.render(&picture);
  if (picture.save(QString::fromStdString(path), eb::app::ScreenshotFormat(path))) return true;
  std::cerr << kProgram << ": cannot write the screenshot \"" << path << "\"" << std::endl;
  return false;
}

// Saves the client area, and the trend window when it is open (as the file
// named by TrendScreenshotPath), drawn up to the last tick.
bool SavePicture(eb::app::MainWindow& window, const std::string& path) {
  if (!SaveWidget(window.view(), path)) return false;
  eb::app::TrendWindow* trend = window.trendWindow();
  if (trend == nullptr || !trend->isVisible()) return true;
  trend->Refresh();
  QCoreApplication::processEvents();  // the charts' layouts
  return SaveWidget(*trend, eb::app::TrendScreenshotPath(path));
}

// Whether Qt has a screen to put the window on: a platform chosen
// explicitly, or an X11 or Wayland display.
bool HaveDisplay() {
#if defined(__linux__)
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
#else
  return true;
#endif
}

}  // namespace

namespace {

// The program's run; a stop signal ends it through the same close as the
// window's, and main then ends the process as that signal would.
int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  eb::app::Options options;
  std::string error;
  if (!eb::app::ParseCommandLine(args, &options, &error)) return Fail(error + " (see --help)");
  if (options.help) {
    std::cout << eb::app::UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << eb::app::VersionText();
    return 0;
  }
  if (options.probe) return eb::ProbeFtdiDevices(eb::SystemFtdi(), std::cout, std::cerr, kProgram);
  if (!eb::app::CatchStopSignals()) {
    std::cerr << kProgram << ": stop signals cannot be caught" << Reason(errno)
              << "; a SIGTERM or Ctrl-C ends the program without saving a datalog" << std::endl;
  }
  // A stop signal is said once, when the program acts on it.
  auto saySignal = [] {
    std::cerr << kProgram << ": " << eb::app::StopSignalName(eb::app::StopSignal())
              << " received: closing as the window closes (a second one ends the program at once)"
              << std::endl;
  };

  // The trace file outlives the transport stack that writes to it.
  std::ofstream traceFile;
  // A datalog folder the operator chose must be usable from the start: the
  // samples of a long recording are not to find out at STOP that it is not.
  if (!options.datalogDir.empty()) {
    const eb::datalog::FolderChoice folder =
        eb::datalog::ChooseDatalogFolder(options.datalogDir, eb::datalog::ProgramFolder());
    if (!folder.error.empty()) return Fail("--datalog-dir: " + folder.error);
  }

  std::optional<eb::Connection> connection = eb::OpenConnection(options.bridge, &error);
  if (!connection || !connection->bridge) {
    return Fail("bad connection string \"" + options.bridge + "\": " + error);
  }

  // The script is checked and opened before any output file is created, and
  // no output may be the script itself (the trace would truncate it before
  // it is read, the screenshot replace it).
  std::ifstream script;
  if (!options.script.empty()) {
    std::error_code ec;
    if (std::filesystem::is_directory(options.script, ec)) {
      return Fail("cannot read the script \"" + options.script + "\": it is a directory");
    }
    errno = 0;
    script.open(options.script);
    if (!script) return Fail("cannot read the script \"" + options.script + "\"" + Reason(errno));
    const std::pair<std::string, std::string> outputs[] = {{"--trace", options.trace},
                                                           {"--screenshot", options.screenshot}};
    for (const auto& [option, file] : outputs) {
      if (!file.empty() && SameFile(options.script, file)) {
        return Fail(option + " \"" + file + "\" names the script \"" + options.script +
                    "\"; choose another file");
      }
    }
  }
  // The trace being replayed was read at the start; writing the new trace
  // over it would lose the recording.
  if (connection->replay != nullptr && !options.trace.empty() &&
      SameFile(connection->replay->Path(), options.trace)) {
    return Fail("--trace \"" + options.trace +
                "\" is the trace being replayed; choose another file");
  }
  if (!options.trace.empty() && !options.screenshot.empty() &&
      SameFile(options.trace, options.screenshot)) {
    return Fail("--trace and --screenshot name the same file \"" + options.trace + "\"");
  }

  eb::TraceBridge* trace = nullptr;
  if (!options.trace.empty()) {
    errno = 0;
    traceFile.open(options.trace, std::ios::out | std::ios::trunc);
    if (!traceFile) {
      return Fail("cannot write the trace file \"" + options.trace + "\"" + Reason(errno));
    }
    auto traced = std::make_unique<eb::TraceBridge>(std::move(connection->bridge), traceFile);
    trace = traced.get();
    connection->bridge = std::move(traced);
  }
  eb::Bridge& bridge = *connection->bridge;

  // Every way the run ends goes through here: a trace that could not be
  // written makes the run a failure, and the fault wrapper's counters are
  // reported.
  auto finish = [&](int status) {
    if (trace != nullptr && trace->WriteFailed()) {
      const std::string& why = trace->WriteError();
      std::cerr << kProgram << ": cannot write the trace file \"" << options.trace << "\""
                << (why.empty() ? "" : ": " + why) << std::endl;
      status = 2;
    }
    if (connection->fault != nullptr) {
      std::cerr << kProgram << ": " << eb::FormatFaultCounters(connection->fault->Counters())
                << std::endl;
    }
    // A replay that left its trace did not reproduce the recorded session.
    if (connection->replay != nullptr) {
      std::cerr << kProgram << ": " << connection->replay->Summary() << std::endl;
      if (connection->replay->Diverged() && status == 0) status = 1;
    }
    return status;
  };
  auto traceFailed = [trace] { return trace != nullptr && trace->WriteFailed(); };

  // A recording that never ended (a crash, a kill, a power cut) left its
  // journal in the datalog folder: its samples become a recovered workbook
  // before anything else runs. An export that was cut short left a hidden
  // temporary, which goes.
  const std::string datalogFolder = eb::datalog::CurrentDatalogFolder(options.datalogDir);
  eb::datalog::CleanStaleTemporaries(datalogFolder);
  const std::string recovered = eb::datalog::RecoveryMessage(
      eb::datalog::RecoverJournal(datalogFolder, std::chrono::system_clock::now()));
  auto reportRecovery = [&recovered] {
    if (!recovered.empty()) std::cerr << kProgram << ": " << recovered << std::endl;
  };

  const bool screenshot = !options.screenshot.empty();
  if (!options.script.empty()) {
    // Operator script: no window and no display needed, unless a picture of
    // the window as the script left it is asked for.
    std::unique_ptr<QApplication> app;
    if (screenshot) {
      if (!HaveDisplay()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
      app = std::make_unique<QApplication>(argc, argv);
      eb::app::ConfigureApplication(*app);
    }
    reportRecovery();
    eb::ScriptRunner runner(std::cout, std::cerr);
    runner.SetAppDirectory(options.datalogDir);
    runner.StopWhen([&] { return traceFailed() || eb::app::StopSignal() != 0; });
    eb::Form1 form(bridge, runner);
    std::unique_ptr<eb::app::MainWindow> window;
    // The trend samples the script's ticks, 100 ms apart on its time axis
    // however fast the script runs; "window trend" opens it off screen.
    auto trendNow = std::chrono::system_clock::now();
    if (screenshot) {
      window = std::make_unique<eb::app::MainWindow>(form);
      window->SetTrendClock([&trendNow] { return trendNow; });
      runner.beforeTick = [&] {
        trendNow +=
            std::chrono::milliseconds(form.Timer1.interval > 0 ? form.Timer1.interval : 100);
        window->BeforeModelTick();
      };
      runner.afterTick = [&window] { window->AfterModelTick(); };
      runner.openWindow = [&window](const std::string&) { window->OpenTrend(false); };
    }
    const int status = runner.Run(form, script, options.script, connection->control.get());
    if (eb::app::StopSignal() != 0) saySignal();
    if (ClosedForIdentity(form)) std::cerr << IdentityFailure(form, *connection).line << std::endl;
    if (window == nullptr || traceFailed()) return finish(status);
    window->view().Sync();
    if (!SavePicture(*window, options.screenshot)) return finish(1);
    return finish(status);
  }

  if (!HaveDisplay()) {
    // A screenshot needs no screen; an interactive window does.
    if (!screenshot) {
      return Fail(
          "no display to open the window on (DISPLAY is not set); use --script to run "
          "without a window, or --screenshot");
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  QApplication app(argc, argv);
  eb::app::ConfigureApplication(app);
  eb::app::QtPlatform platform(
      screenshot ? eb::app::QtPlatform::Boxes::AnswerAtOnce : eb::app::QtPlatform::Boxes::Ask,
      std::cerr);
  platform.SetDatalogFolder(options.datalogDir);
  eb::Form1 form(bridge, platform);
  eb::app::MainWindow window(form);
  window.SetDatalogFolder(options.datalogDir);
  platform.Attach(&window);
  // A trace that stops being written ends the event loop at once.
  if (trace != nullptr) trace->OnWriteFailure([] { QCoreApplication::exit(2); });

  // Launched from a desktop menu, nobody reads stderr: a windowed run says
  // in a box why it closes when the chip is not identified (a screenshot
  // run only writes the line).
  auto reportIdentity = [&] {
    const eb::IdentityReport report = IdentityFailure(form, *connection);
    std::cerr << report.line << std::endl;
    if (!screenshot) eb::app::ShowIdentityBox(report);
  };

  window.Start();
  if (traceFailed()) return finish(2);
  if (form.Unloaded) {
    reportRecovery();
    if (ClosedForIdentity(form)) {
      reportIdentity();
    } else {
      std::cerr << kProgram << ": the window closed during start-up" << std::endl;
    }
    return finish(1);
  }
  window.show();
  if (!recovered.empty()) platform.MsgBox(recovered);
  if (options.demo) {
    // The demo's steps run in the window as an operator's would; what a
    // step has to say about itself goes to stderr.
    std::ostringstream steps;
    std::istringstream demo(eb::kDemoScript);
    eb::ScriptRunner runner(steps, std::cerr);
    window.gate().Run([&] { runner.RunSteps(form, demo, "demo", connection->control.get()); });
  }

  // A stop signal closes the window as the operator would: an open box or
  // dialog is answered, every later box writes its text to stderr, and the
  // close is tried until no handler runs.
  QSocketNotifier stopSignals(eb::app::StopSignalFd(), QSocketNotifier::Read);
  QTimer closeAgain;
  closeAgain.setInterval(20);
  QObject::connect(&closeAgain, &QTimer::timeout, &window, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    if (window.close()) closeAgain.stop();
  });
  QObject::connect(&stopSignals, &QSocketNotifier::activated, &window, [&] {
    char byte;
    while (read(eb::app::StopSignalFd(), &byte, 1) > 0) {
    }
    stopSignals.setEnabled(false);
    saySignal();
    platform.AnswerAtOnceFromNow();
    closeAgain.start();
  });
  stopSignals.setEnabled(eb::app::StopSignalFd() >= 0);

  int screenshotStatus = 0;
  if (screenshot) {
    QTimer::singleShot(options.demo ? kDemoSettleMs : kScreenshotSettleMs, &window, [&] {
      if (!SavePicture(window, options.screenshot)) screenshotStatus = 1;
      app.exit(0);
    });
  }

  const int status = app.exec();
  if (ClosedForIdentity(form)) {
    reportIdentity();
    return finish(1);
  }
  return finish(status != 0 ? status : screenshotStatus);
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Run(argc, argv);
  if (eb::app::StopSignal() != 0) eb::app::EndBySignal(eb::app::StopSignal());
  return status;
}
