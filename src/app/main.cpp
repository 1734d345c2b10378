// eb2250-gui: the evaluation window for a stack of battery-monitor boards.
// See UsageText() (command_line.cpp) for the command line.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QStyleFactory>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/trend_window.h"
#include "link/trace_bridge.h"
#include "window/form1.h"
#include "wiring/connection.h"
#include "wiring/script_runner.h"

namespace {

constexpr const char* kProgram = "eb2250-gui";

// Time the screenshot mode lets the window run before taking its picture:
// start-up, a few timer ticks and the first paint.
constexpr int kScreenshotSettleMs = 500;

int Fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << std::endl;
  return 2;
}

// Non-printable reply characters as \xNN.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char ch : text) {
    if (ch >= 32 && ch < 127 && ch != '"' && ch != '\\') {
      out.push_back(static_cast<char>(ch));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", ch);
      out += buf;
    }
  }
  return out;
}

// The line printed when the window closed because the chip was not identified.
std::string IdentityFailure(const eb::Form1& form, const eb::Connection& connection) {
  const std::string where = connection.description.empty()
                                ? std::string(connection.bridge->Describe())
                                : connection.description;
  std::string line = std::string(kProgram) + ": ";
  if (form.IDreply.empty()) {
    line += "nothing answered on " + where;
  } else {
    line += "no ZQM4417-2 answered on " + where + " (identity reply \"" + Printable(form.IDreply) +
            "\")";
  }
  if (connection.sim == nullptr)
    line += "; run with --simulate to use the built-in simulated stack";
  return line;
}

bool ClosedForIdentity(const eb::Form1& form) { return form.Unloaded && form.Initialize == 0; }

// Saves a widget at one image pixel per window pixel, whatever the screen's
// scale. Reports a file that cannot be written.
bool SaveWidget(QWidget& widget, const std::string& path) {
  QImage picture(widget.size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  widget.render(&picture);
  if (picture.save(QString::fromStdString(path), "PNG")) return true;
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

void ConfigureApplication(QApplication& app) {
  app.setApplicationName(QStringLiteral("eb2250-gui"));
  app.setApplicationDisplayName(QStringLiteral("EB2250 stack evaluation"));
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  app.setFont(font);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  eb::app::Options options;
  std::string error;
  if (!eb::app::ParseCommandLine(args, &options, &error)) return Fail(error + " (see --help)");
  if (options.help) {
    std::cout << eb::app::UsageText();
    return 0;
  }

  std::optional<eb::Connection> connection = eb::OpenConnection(options.bridge, &error);
  if (!connection || !connection->bridge) {
    return Fail("bad connection string \"" + options.bridge + "\": " + error);
  }
  eb::Bridge* bridge = connection->bridge.get();

  std::ofstream traceFile;
  std::unique_ptr<eb::TraceBridge> trace;
  if (!options.trace.empty()) {
    traceFile.open(options.trace, std::ios::out | std::ios::trunc);
    if (!traceFile) return Fail("cannot write the trace file \"" + options.trace + "\"");
    trace = std::make_unique<eb::TraceBridge>(*bridge, traceFile);
    bridge = trace.get();
  }

  const bool screenshot = !options.screenshot.empty();
  if (!options.script.empty() && screenshot) {
    // Operator script, then a picture of the window as the script left it.
    std::ifstream script(options.script);
    if (!script) return Fail("cannot read the script \"" + options.script + "\"");
    if (!HaveDisplay()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ConfigureApplication(app);
    eb::ScriptRunner runner(std::cout, std::cerr);
    eb::Form1 form(*bridge, runner);
    eb::app::MainWindow window(form);
    // The trend samples the script's ticks, 100 ms apart on its time axis
    // however fast the script runs; "window trend" opens it off screen.
    auto trendNow = std::chrono::system_clock::now();
    window.SetTrendClock([&trendNow] { return trendNow; });
    runner.beforeTick = [&] {
      trendNow += std::chrono::milliseconds(form.Timer1.interval > 0 ? form.Timer1.interval : 100);
      window.BeforeModelTick();
    };
    runner.afterTick = [&window] { window.AfterModelTick(); };
    runner.openWindow = [&window](const std::string&) { window.OpenTrend(false); };
    const int status = runner.Run(form, script, options.script, connection->sim);
    if (ClosedForIdentity(form)) std::cerr << IdentityFailure(form, *connection) << std::endl;
    window.view().Sync();
    if (!SavePicture(window, options.screenshot)) return 1;
    return status;
  }

  if (!options.script.empty()) {
    // Operator script: no window and no display needed.
    std::ifstream script(options.script);
    if (!script) return Fail("cannot read the script \"" + options.script + "\"");
    eb::ScriptRunner runner(std::cout, std::cerr);
    eb::Form1 form(*bridge, runner);
    const int status = runner.Run(form, script, options.script, connection->sim);
    if (ClosedForIdentity(form)) std::cerr << IdentityFailure(form, *connection) << std::endl;
    return status;
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
  ConfigureApplication(app);
  eb::app::QtPlatform platform(
      screenshot ? eb::app::QtPlatform::Boxes::AnswerAtOnce : eb::app::QtPlatform::Boxes::Ask,
      std::cerr);
  eb::Form1 form(*bridge, platform);
  eb::app::MainWindow window(form);
  platform.Attach(&window);

  window.Start();
  if (form.Unloaded) {
    std::cerr << (ClosedForIdentity(form)
                      ? IdentityFailure(form, *connection)
                      : std::string(kProgram) + ": the window closed during start-up")
              << std::endl;
    return 1;
  }
  window.show();

  int screenshotStatus = 0;
  if (screenshot) {
    QTimer::singleShot(kScreenshotSettleMs, &window, [&] {
      if (!SavePicture(window, options.screenshot)) screenshotStatus = 1;
      app.exit(0);
    });
  }

  const int status = app.exec();
  if (ClosedForIdentity(form)) {
    std::cerr << IdentityFailure(form, *connection) << std::endl;
    return 1;
  }
  return status != 0 ? status : screenshotStatus;
}
