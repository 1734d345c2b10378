// eb2250-gui: the evaluation window for a stack of battery-monitor boards.
// See UsageText() (command_line.cpp) for the command line; kRunModes below
// picks the run mode it asks for.

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
#include "app/control_channel.h"
#include "app/form_view.h"
#include "app/identity_box.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/recording_dialogs.h"
#include "app/stop_signals.h"
#include "app/trend_window.h"
#include "link/fault_bridge.h"
#include "link/ftdi_functions.h"
#include "link/replay_bridge.h"
#include "link/trace_bridge.h"
#include "record/export_command.h"
#include "sheet/datalog_folder.h"
#include "sheet/replacing_file.h"
#include "window/datalog_journal.h"
#include "window/form1.h"
#include "window/setup.h"
#include "wiring/connection.h"
#include "wiring/demo.h"
#include "wiring/identity_report.h"
#include "wiring/junit_report.h"
#include "wiring/probe.h"
#include "wiring/script_runner.h"

namespace {

// The --version line without its line break, stored beside a recording's samples.
std::string VersionLine() {
  std::string line = eb::app::VersionText();
  while (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

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

// A stop signal is said once, when the program acts on it.
void SaySignal() {
  std::cerr << kProgram << ": " << eb::app::StopSignalName(eb::app::StopSignal())
            << " received: closing as the window closes (a second one ends the program at once)"
            << std::endl;
}

// What every run that drives the stack opens first: the connection (traced
// when asked), the script, the recovered journal's message.
struct Bench {
  explicit Bench(const eb::app::Options& o) : options(o) {}
  const eb::app::Options& options;
  std::ofstream traceFile;  // outlives the transport stack that writes to it
  std::optional<eb::Connection> connection;
  eb::TraceBridge* trace = nullptr;
  std::ifstream script;
  std::string recovered;  // the message of a recovered recording, or ""

  eb::Bridge& bridge() { return *connection->bridge; }
  bool TraceFailed() const { return trace != nullptr && trace->WriteFailed(); }
  void ReportRecovery() const {
    if (!recovered.empty()) std::cerr << kProgram << ": " << recovered << std::endl;
  }
  // Every way the run ends goes through here: a trace that could not be
  // written makes the run a failure, and the fault wrapper's counters are
  // reported.
  int Finish(int status) const {
    if (TraceFailed()) {
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
  }
};

// The script is checked and opened before any output file is created, and
// no output may be the script or the setup file (the trace would truncate
// either before it is read, the screenshot replace it). Returns 0, or the
// status to end with.
int OpenScript(Bench* bench) {
  const eb::app::Options& options = bench->options;
  if (!options.script.empty()) {
    std::error_code ec;
    if (std::filesystem::is_directory(options.script, ec)) {
      return Fail("cannot read the script \"" + options.script + "\": it is a directory");
    }
    errno = 0;
    bench->script.open(options.script);
    if (!bench->script) {
      return Fail("cannot read the script \"" + options.script + "\"" + Reason(errno));
    }
  }
  const std::pair<std::string, std::string> inputs[] = {{"the script", options.script},
                                                        {"the setup", options.loadSetup}};
  const std::pair<std::string, std::string> outputs[] = {
      {"--trace", options.trace}, {"--screenshot", options.screenshot}, {"--junit", options.junit}};
  for (const auto& [what, input] : inputs) {
    for (const auto& [option, file] : outputs) {
      if (!input.empty() && !file.empty() && SameFile(input, file)) {
        return Fail(option + " \"" + file + "\" names " + what + " \"" + input +
                    "\"; choose another file");
      }
    }
  }
  // The trace being replayed was read at the start; writing the new trace
  // over it would lose the recording.
  const eb::ReplayBridge* replay = bench->connection->replay;
  if (replay != nullptr && !options.trace.empty() && SameFile(replay->Path(), options.trace)) {
    return Fail("--trace \"" + options.trace +
                "\" is the trace being replayed; choose another file");
  }
  if (!options.trace.empty() && !options.screenshot.empty() &&
      SameFile(options.trace, options.screenshot)) {
    return Fail("--trace and --screenshot name the same file \"" + options.trace + "\"");
  }
  return 0;
}

// Opens everything a run on the stack needs, in the order that keeps a bad
// argument from leaving files behind. Returns 0, or the status to end with.
int OpenBench(Bench* bench) {
  const eb::app::Options& options = bench->options;
  if (!eb::app::CatchStopSignals()) {
    std::cerr << kProgram << ": stop signals cannot be caught" << Reason(errno)
              << "; a SIGTERM or Ctrl-C ends the program without saving a datalog" << std::endl;
  }
  // A datalog folder the operator chose must be usable from the start: the
  // samples of a long recording are not to find out at STOP that it is not.
  if (!options.datalogDir.empty()) {
    const eb::datalog::FolderChoice folder =
        eb::datalog::ChooseDatalogFolder(options.datalogDir, eb::datalog::ProgramFolder());
    if (!folder.error.empty()) return Fail("--datalog-dir: " + folder.error);
  }
  // A broker's URL or credentials that cannot be used end the run before
  // anything starts; the broker itself is waited for.
  if (!options.mqtt.empty()) {
    const std::string refused = eb::CheckPublishing(options.mqtt, options.mqttAuth);
    if (!refused.empty()) return Fail("--mqtt: " + refused);
  }
  std::string error;
  bench->connection = eb::OpenConnection(options.bridge, &error);
  if (!bench->connection || !bench->connection->bridge) {
    return Fail("bad connection string \"" + options.bridge + "\": " + error);
  }
  if (const int status = OpenScript(bench)) return status;
  if (!options.trace.empty()) {
    errno = 0;
    bench->traceFile.open(options.trace, std::ios::out | std::ios::trunc);
    if (!bench->traceFile) {
      return Fail("cannot write the trace file \"" + options.trace + "\"" + Reason(errno));
    }
    auto traced =
        std::make_unique<eb::TraceBridge>(std::move(bench->connection->bridge), bench->traceFile);
    bench->trace = traced.get();
    bench->connection->bridge = std::move(traced);
  }
  // A recording that never ended (a crash, a kill, a power cut) left its
  // journal in the datalog folder: its samples become a recovered workbook
  // before anything else runs. An export that was cut short left a hidden
  // temporary, which goes.
  const std::string datalogFolder = eb::datalog::CurrentDatalogFolder(options.datalogDir);
  eb::datalog::CleanStaleTemporaries(datalogFolder);
  bench->recovered = eb::datalog::RecoveryMessage(
      eb::datalog::RecoverJournal(datalogFolder, std::chrono::system_clock::now()));
  return 0;
}

// --script: no window and no display needed, unless a picture of the window
// as the script left it is asked for (with --screenshot).
int RunScript(Bench& bench, int argc, char** argv) {
  const eb::app::Options& options = bench.options;
  const bool screenshot = !options.screenshot.empty();
  std::unique_ptr<QApplication> app;
  if (screenshot) {
    if (!HaveDisplay()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app = std::make_unique<QApplication>(argc, argv);
    eb::app::ConfigureApplication(*app);
  }
  bench.ReportRecovery();
  eb::ScriptRunner runner(std::cout, std::cerr);
  runner.SetAppDirectory(options.datalogDir);
  runner.SetProvenance(VersionLine(), options.bridge);
  if (!options.record.empty()) runner.RecordFromStart(options.record);
  if (!options.mqtt.empty()) runner.PublishFromStart(options.mqtt, options.mqttAuth);
  runner.StopWhen([&] { return bench.TraceFailed() || eb::app::StopSignal() != 0; });
  eb::Form1 form(bench.bridge(), runner);
  std::unique_ptr<eb::app::MainWindow> window;
  // The trend samples the script's ticks, 100 ms apart on its time axis
  // however fast the script runs; "window trend" opens it off screen.
  auto trendNow = std::chrono::system_clock::now();
  if (screenshot) {
    window = std::make_unique<eb::app::MainWindow>(form);
    window->SetTrendClock([&trendNow] { return trendNow; });
    runner.beforeTick = [&] {
      trendNow += std::chrono::milliseconds(form.Timer1.interval > 0 ? form.Timer1.interval : 100);
      window->BeforeModelTick();
    };
    runner.afterTick = [&window] { window->AfterModelTick(); };
    runner.openWindow = [&window](const std::string&) { window->OpenTrend(false); };
  }
  // --load-setup goes through the script's own load-setup; a file refused
  // ends the run before the script's first line.
  std::string setupRefused;
  if (!options.loadSetup.empty()) {
    runner.afterStartUp = [&](eb::Form1& f) {
      const std::string refused = eb::LoadSetupFile(f, options.loadSetup);
      if (!refused.empty()) setupRefused = "--load-setup: " + refused;
      return setupRefused;
    };
  }
  std::vector<eb::ScriptCheck> checks;
  runner.onCheck = [&checks](const eb::ScriptCheck& check) { checks.push_back(check); };
  int status = runner.Run(form, bench.script, options.script, bench.connection->control.get());
  if (!setupRefused.empty()) Fail(setupRefused);
  if (!options.junit.empty()) {
    // Written whatever the status: a script that ended early says why in it.
    const std::string why = eb::WriteJUnitReport(options.junit, options.script, checks);
    if (!why.empty()) {
      std::cerr << kProgram << ": cannot write the JUnit report \"" << options.junit
                << "\": " << why << std::endl;
      status = 2;
    }
  }
  if (eb::app::StopSignal() != 0) SaySignal();
  if (ClosedForIdentity(form))
    std::cerr << IdentityFailure(form, *bench.connection).line << std::endl;
  if (window == nullptr || bench.TraceFailed() || !setupRefused.empty())
    return bench.Finish(status);
  window->view().Sync();
  if (!SavePicture(*window, options.screenshot)) return bench.Finish(1);
  return bench.Finish(status);
}

// A stop signal closes the window as the operator would: an open box or
// dialog is answered, every later box writes its text to stderr, and the
// close is tried until no handler runs.
class StopSignalWatch {
 public:
  StopSignalWatch(eb::app::MainWindow& window, eb::app::QtPlatform& platform)
      : notifier_(eb::app::StopSignalFd(), QSocketNotifier::Read) {
    closeAgain_.setInterval(20);
    QObject::connect(&closeAgain_, &QTimer::timeout, &window, [this, &window] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      if (window.close()) closeAgain_.stop();
    });
    QObject::connect(&notifier_, &QSocketNotifier::activated, &window, [this, &platform] {
      char byte;
      while (read(eb::app::StopSignalFd(), &byte, 1) > 0) {
      }
      notifier_.setEnabled(false);
      SaySignal();
      platform.AnswerAtOnceFromNow();
      closeAgain_.start();
    });
    notifier_.setEnabled(eb::app::StopSignalFd() >= 0);
  }

 private:
  QSocketNotifier notifier_;
  QTimer closeAgain_;
};

// The demo's steps run in the window as an operator's would; what a step
// has to say about itself goes to stderr.
void RunDemo(eb::app::MainWindow& window, eb::Form1& form, Bench& bench) {
  std::ostringstream steps;
  std::istringstream demo(eb::kDemoScript);
  eb::ScriptRunner runner(steps, std::cerr);
  window.gate().Run([&] { runner.RunSteps(form, demo, "demo", bench.connection->control.get()); });
}

// --load-setup: 0, or the status that ends the run (the file refused).
int LoadSetupAtStart(eb::app::MainWindow& window, eb::Form1& form, Bench& bench) {
  const std::string& file = bench.options.loadSetup;
  if (file.empty()) return 0;
  std::string refused;
  window.gate().Run([&] { refused = eb::LoadSetupFile(form, file); });
  if (refused.empty()) return 0;
  bench.ReportRecovery();
  return bench.Finish(Fail("--load-setup: " + refused));
}

// What the command line starts once the window shows: the recording, the
// publishing, the demo's steps; a refusal is said in a box.
void StartChosen(eb::app::MainWindow& window, eb::app::QtPlatform& platform, eb::Form1& form,
                 Bench& bench) {
  const eb::app::Options& options = bench.options;
  if (!options.record.empty()) {
    const std::string refused = window.StartRecording(options.record);
    if (!refused.empty()) platform.MsgBox(refused);
  }
  if (!options.mqtt.empty()) {
    const std::string refused = window.StartPublishing(options.mqtt, options.mqttAuth);
    if (!refused.empty()) platform.MsgBox(refused);
  }
  if (options.demo) RunDemo(window, form, bench);
}

// The window, interactive or (with --screenshot) pictured after a short run
// with every message box answered at once.
int RunWindow(Bench& bench, int argc, char** argv, bool screenshot) {
  const eb::app::Options& options = bench.options;
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
  eb::Form1 form(bench.bridge(), platform);
  eb::app::MainWindow window(form);
  window.SetDatalogFolder(options.datalogDir);
  window.SetRecordingProvenance(VersionLine(), options.bridge);
  platform.Attach(&window);
  // A trace that stops being written ends the event loop at once.
  if (bench.trace != nullptr) bench.trace->OnWriteFailure([] { QCoreApplication::exit(2); });

  // Launched from a desktop menu, nobody reads stderr: a windowed run says
  // in a box why it closes when the chip is not identified (a screenshot
  // run only writes the line).
  auto reportIdentity = [&] {
    const eb::IdentityReport report = IdentityFailure(form, *bench.connection);
    std::cerr << report.line << std::endl;
    if (!screenshot) eb::app::ShowIdentityBox(report);
  };

  // The control socket is opened before start-up: an address it cannot
  // take ends the run at once.
  std::unique_ptr<eb::app::ControlChannel> control;
  if (!options.listen.empty()) {
    std::string error;
    control =
        eb::app::ControlChannel::Start(window, form, platform, bench.connection->control.get(),
                                       options.listen, options.listenToken, &error);
    if (!control) return Fail(error);
    std::cerr << kProgram << ": listening on " << control->where() << std::endl;
  }

  window.Start();
  if (bench.TraceFailed()) return bench.Finish(2);
  if (form.Unloaded) {
    bench.ReportRecovery();
    if (ClosedForIdentity(form)) {
      reportIdentity();
    } else {
      std::cerr << kProgram << ": the window closed during start-up" << std::endl;
    }
    return bench.Finish(1);
  }
  // --load-setup as File > Load setup applies it, before the window shows:
  // a file refused ends the run with nothing changed and nothing shown.
  if (const int status = LoadSetupAtStart(window, form, bench)) return status;
  window.show();
  if (!bench.recovered.empty()) platform.MsgBox(bench.recovered);
  StartChosen(window, platform, form, bench);
  StopSignalWatch stopSignals(window, platform);

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
    return bench.Finish(1);
  }
  return bench.Finish(status != 0 ? status : screenshotStatus);
}

int RunScreenshot(Bench& bench, int argc, char** argv) {
  return RunWindow(bench, argc, argv, true);
}

// --export: a recording's samples to CSV or a workbook, without bridge or display.
int RunExport(const eb::app::Options& o) {
  std::string message;
  const int status =
      eb::record::RunExport({o.exportFrom, o.from, o.to, o.boards, o.csv, o.xlsx}, &message);
  if (status != 0) return Fail(message);
  std::cout << message << std::endl;
  return 0;
}

// --trend REC.db: the trend window of a recording file alone; with
// --screenshot FILE only its picture, which needs no screen.
int RunTrend(const eb::app::Options& o) {
  if (!o.screenshot.empty() && !HaveDisplay()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!HaveDisplay()) return Fail("no display to open the trend window on (DISPLAY is not set)");
  int argc = 1;
  char name[] = "eb2250-gui";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  eb::app::ConfigureApplication(app);
  if (o.screenshot.empty())
    return eb::app::RunRecordingTrend(QString::fromStdString(o.trend), kProgram);
  return eb::app::RunRecordingTrend(QString::fromStdString(o.trend), kProgram,
                                    [&o](QWidget& w) { return SaveWidget(w, o.screenshot); });
}

int RunInteractive(Bench& bench, int argc, char** argv) {
  return RunWindow(bench, argc, argv, false);
}

// The run modes, first that applies wins. A mode that drives the stack gets
// an opened Bench; one without a Bench runs on the options alone.
struct RunMode {
  const char* name;
  bool (*applies)(const eb::app::Options&);
  int (*alone)(const eb::app::Options&);  // nullptr: needs the bench
  int (*onBench)(Bench&, int argc, char** argv);
};

constexpr RunMode kRunModes[] = {
    {"help", [](const eb::app::Options& o) { return o.help; },
     [](const eb::app::Options&) {
       std::cout << eb::app::UsageText();
       return 0;
     },
     nullptr},
    {"version", [](const eb::app::Options& o) { return o.version; },
     [](const eb::app::Options&) {
       std::cout << eb::app::VersionText();
       return 0;
     },
     nullptr},
    {"probe", [](const eb::app::Options& o) { return o.probe; },
     [](const eb::app::Options&) {
       return eb::ProbeFtdiDevices(eb::SystemFtdi(), std::cout, std::cerr, kProgram);
     },
     nullptr},
    {"export", [](const eb::app::Options& o) { return !o.exportFrom.empty(); }, RunExport, nullptr},
    {"trend", [](const eb::app::Options& o) { return !o.trend.empty(); }, RunTrend, nullptr},
    {"script", [](const eb::app::Options& o) { return !o.script.empty(); }, nullptr, RunScript},
    {"screenshot", [](const eb::app::Options& o) { return !o.screenshot.empty(); }, nullptr,
     RunScreenshot},
    {"window", [](const eb::app::Options&) { return true; }, nullptr, RunInteractive},
};

// The program's run; a stop signal ends it through the same close as the
// window's, and main then ends the process as that signal would.
int Run(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  eb::app::Options options;
  std::string error;
  if (!eb::app::ParseCommandLine(args, &options, &error)) return Fail(error + " (see --help)");
  for (const RunMode& mode : kRunModes) {
    if (!mode.applies(options)) continue;
    if (mode.alone != nullptr) return mode.alone(options);
    Bench bench(options);
    if (const int status = OpenBench(&bench)) return status;
    return mode.onBench(bench, argc, argv);
  }
  return 0;  // not reached: the window applies to every run
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Run(argc, argv);
  if (eb::app::StopSignal() != 0) eb::app::EndBySignal(eb::app::StopSignal());
  return status;
}
