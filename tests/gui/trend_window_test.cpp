// The trend window on a running window over the simulated stack: opened from
// the View menu, drawn from the samples of the main window's ticks, gaps as
// gaps, thresholds following the configuration, zoom, cursor readout, pause;
// and the trend window of a recording file.
#include "app/trend_window.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/recording_trend_window.h"
#include "app/trend_chart.h"
#include "sim/sim_stack.h"
#include "support/datalog_support.h"
#include "support/recording_file.h"
#include "trend/stats.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb::app {
namespace {

using trend::Chart;

// Four boards, board 3 (index 2) missing, reading continuously; ticks come
// from the test, 100 ms apart on the trend's clock.
class TrendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    auto c = OpenConnection("sim:boards=4,seed=5,missing=2", &error);
    ASSERT_TRUE(c) << error;
    conn = std::move(*c);
    form = std::make_unique<Form1>(*conn.bridge, platform);
    window = std::make_unique<MainWindow>(*form);
    platform.Attach(window.get());
    window->SetTrendClock([this] { return now; });
    window->Start();
    window->show();
    form->Command0_Click(1);
    form->Command1_click(5);
    form->Command1_click(6);
    form->Combo1.setListIndex(3);
    form->Command1_click(10);
    // Every handler restarts the window's timer; cut it off so that a slow
    // machine cannot slip a tick of its own between the test's ticks.
    QObject::disconnect(&window->timer(), &QTimer::timeout, window.get(), nullptr);
    window->timer().stop();
    window->Sync();
    ASSERT_EQ(form->OnOff, 1);
  }
  void TearDown() override {
    // The trend window is the main window's child: it goes with it.
    window.reset();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      now += std::chrono::milliseconds(100);
      window->Tick();
    }
    QCoreApplication::processEvents();
  }
  void Sim(const std::vector<std::string>& words) {
    const std::string error = conn.sim->ApplyCommand(words);
    if (!error.empty()) throw std::runtime_error(error);
  }
  TrendWindow& Open() {
    window->OpenTrend();
    TrendWindow* trend = window->trendWindow();
    if (trend == nullptr) throw std::runtime_error("no trend window");
    EXPECT_TRUE(QTest::qWaitForWindowExposed(trend));
    return *trend;
  }
  // Points a line draws: every point of every piece, the points shared by
  // neighbouring pieces once.
  static std::vector<QPointF> Drawn(const TrendChart& chart, int line) {
    std::vector<QPointF> points;
    for (const QLineSeries* piece : chart.piecesOf(line)) {
      for (const QPointF& p : piece->points()) {
        if (points.empty() || points.back() != p) points.push_back(p);
      }
    }
    return points;
  }
  static void MoveMouse(TrendChart& chart, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, chart.viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(chart.viewport(), &move);
  }
  // Where a point in the chart's own coordinates lies in its view's viewport.
  static QPoint ViewportPoint(TrendChart& chart, QPointF inPlot) {
    const QPointF inScene = chart.chart()->mapToScene(inPlot);
    return chart.mapFromScene(inScene);
  }

  Connection conn;
  std::ostringstream log;
  QtPlatform platform{QtPlatform::Boxes::AnswerAtOnce, log};
  std::unique_ptr<Form1> form;
  std::unique_ptr<MainWindow> window;
  std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
};

TEST_F(TrendTest, ViewMenuOpensOneTrendWindowBesideAnUnchangedMainWindow) {
  QAction* trendAction = nullptr;
  QStringList menus;
  for (QAction* menu : window->menuBar()->actions()) {
    menus << menu->text();
    if (menu->text() == QStringLiteral("&View")) {
      for (QAction* a : menu->menu()->actions())
        if (a->text() == QStringLiteral("&Trend")) trendAction = a;
    }
  }
  EXPECT_EQ(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Datalog"),
                                QStringLiteral("&View")}));
  ASSERT_NE(trendAction, nullptr);
  EXPECT_EQ(window->trendWindow(), nullptr);  // made when first opened

  trendAction->trigger();
  TrendWindow* trend = window->trendWindow();
  ASSERT_NE(trend, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowExposed(trend));
  EXPECT_TRUE(trend->isWindow());
  trendAction->trigger();
  EXPECT_EQ(window->trendWindow(), trend);

  EXPECT_EQ(window->view().size(), QSize(894, 572));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());

  // Closing the main window closes the trend window.
  window->close();
  EXPECT_FALSE(trend->isVisible());
}

TEST_F(TrendTest, DrawsTheReadingsTheTicksMadeBeforeAndAfterItOpened) {
  Ticks(120);  // ten cycles of four boards before the window opens
  EXPECT_EQ(window->trendStore().cells.size(), 40u);
  TrendWindow& trend = Open();
  TrendChart& cells = trend.chart(Chart::Cells);

  // Cell 5 of board 1, as read: every record of board 0 in the store.
  std::vector<QPointF> expected;
  const auto& ring = window->trendStore().cells;
  for (auto s = ring.firstSeq(); s < ring.endSeq(); ++s) {
    if (ring.at(s).board == 0)
      expected.emplace_back(static_cast<double>(ring.at(s).ms), ring.at(s).volts[4]);
  }
  ASSERT_EQ(expected.size(), 10u);
  const std::vector<QPointF> drawn = Drawn(cells, 4);
  ASSERT_EQ(drawn.size(), expected.size());
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_DOUBLE_EQ(drawn[i].x(), expected[i].x());
    EXPECT_FLOAT_EQ(static_cast<float>(drawn[i].y()), static_cast<float>(expected[i].y()));
  }
  EXPECT_FLOAT_EQ(static_cast<float>(drawn.back().y()), form->CELLvolt[5]);

  // Every board's statistics but the missing one's, which is a gap.
  TrendChart& stack = trend.chart(Chart::Stack);
  for (int b : {0, 1, 3}) {
    for (int k : {trend::kMin, trend::kMax, trend::kMean})
      EXPECT_EQ(Drawn(stack, 3 * b + k).size(), 10u) << "board " << b;
  }
  for (int k : {trend::kMin, trend::kMax, trend::kMean}) EXPECT_TRUE(stack.piecesOf(6 + k).empty());
  // Mean of board 4 at its last reading.
  double sum = 0;
  for (int c = 1; c <= 12; ++c) sum += form->CELLvolt[static_cast<std::size_t>(36 + c)];
  EXPECT_NEAR(Drawn(stack, 9 + trend::kMean).back().y(), sum / 12, 1e-5);

  // The temperatures, when their tab is chosen; the missing board has none.
  trend.tabs().setCurrentIndex(1);
  TrendChart& itmp = trend.chart(Chart::Itmp);
  EXPECT_EQ(Drawn(itmp, 0).size(), 10u);
  EXPECT_TRUE(itmp.piecesOf(2).empty());
  EXPECT_FLOAT_EQ(static_cast<float>(Drawn(itmp, 3).back().y()),
                  form->CELLvolt[static_cast<std::size_t>(120 + 3 * 3 + 3)]);

  // Another board's cells, chosen in the trend window.
  trend.tabs().setCurrentIndex(0);
  trend.boardChoice().setCurrentIndex(2);  // "Board 2"
  EXPECT_EQ(cells.chart()->title(), QStringLiteral("Cells of board 2"));
  EXPECT_FLOAT_EQ(static_cast<float>(Drawn(cells, 0).back().y()), form->CELLvolt[13]);
  trend.boardChoice().setCurrentIndex(3);  // the missing board: nothing drawn
  for (int c = 0; c < 12; ++c) EXPECT_TRUE(cells.piecesOf(c).empty());
}

TEST_F(TrendTest, AGapBreaksTheLineAndNoSeriesCrossesIt) {
  Open();
  Ticks(60);
  const double gapFrom = static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  Sim({"zeros", "1", "1"});  // board 2 answers zeros: no believable reading
  Ticks(60);
  const double gapTo = static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  Sim({"zeros", "1", "0"});
  Ticks(60);
  // Board 2 answers again: its newest record has readings.
  const auto& ring = window->trendStore().cells;
  ASSERT_EQ(ring.at(ring.endSeq() - 3).board, 1);
  ASSERT_EQ(trend::StatsOf(ring.at(ring.endSeq() - 3)).count, 12);

  TrendChart& stack = window->trendWindow()->chart(Chart::Stack);
  const auto pieces = stack.piecesOf(3 + trend::kMean);
  ASSERT_GE(pieces.size(), 2u);
  int before = 0, after = 0;
  for (const QLineSeries* piece : pieces) {
    const QPointF first = piece->points().front(), last = piece->points().back();
    // No piece has a point in the gap, nor reaches across it.
    for (const QPointF& p : piece->points()) EXPECT_FALSE(p.x() > gapFrom && p.x() < gapTo);
    EXPECT_FALSE(first.x() < gapFrom && last.x() > gapTo);
    before += last.x() <= gapFrom ? 1 : 0;
    after += first.x() >= gapTo ? 1 : 0;
  }
  EXPECT_GE(before, 1);
  EXPECT_GE(after, 1);
  // No zero was drawn for the board: its lines stay near its cells.
  for (const QPointF& p : Drawn(stack, 3 + trend::kMin)) EXPECT_GT(p.y(), 1.0);
  // Board 1 was read throughout: one unbroken line.
  const std::vector<QPointF> board1 = Drawn(stack, trend::kMean);
  EXPECT_EQ(board1.size(), 15u);  // 180 ticks, one reading every 12
}

TEST_F(TrendTest, ThresholdsFollowTheConfigurationBeingEdited) {
  TrendWindow& trend = Open();
  Ticks(20);
  const QLineSeries* under = trend.chart(Chart::Stack).threshold(0);
  const QLineSeries* over = trend.chart(Chart::Stack).threshold(1);
  EXPECT_EQ(under->count(), 0);  // 0: not compared, not drawn
  EXPECT_EQ(over->count(), 0);

  // The operator steps the limits of board 1 with the arrows.
  for (int i = 0; i < 150; ++i) form->Command2_Click(3);  // VOV up
  for (int i = 0; i < 140; ++i) form->Command2_Click(1);  // VUV up
  Ticks(10);
  ASSERT_EQ(under->count(), 2);
  ASSERT_EQ(over->count(), 2);
  EXPECT_NEAR(under->at(0).y(), 140 * 0.024, 1e-9);
  EXPECT_NEAR(over->at(1).y(), 150 * 0.024, 1e-9);
  // Across the whole time axis, and within the value axis.
  EXPECT_DOUBLE_EQ(under->at(0).x(), trend.view().from());
  EXPECT_DOUBLE_EQ(under->at(1).x(), trend.view().to());
  EXPECT_LE(trend.view().valueAxis(Chart::Stack).lo, 140 * 0.024);
  EXPECT_GE(trend.view().valueAxis(Chart::Stack).hi, 150 * 0.024);

  // The limits of the board whose cells are drawn: board 2 has none.
  trend.boardChoice().setCurrentIndex(2);
  EXPECT_EQ(under->count(), 0);
  trend.boardChoice().setCurrentIndex(0);
  EXPECT_EQ(over->count(), 2);
  form->Command2_Click(2);  // VOV one step down
  Ticks(10);
  EXPECT_NEAR(over->at(0).y(), 149 * 0.024, 1e-9);
}

TEST_F(TrendTest, WheelZoomsTheTimeAndTheCursorReadsTimeAndValue) {
  TrendWindow& trend = Open();
  Ticks(600);
  TrendChart& cells = trend.chart(Chart::Cells);
  ASSERT_EQ(trend.view().span(), trend::kDefaultSpanMs);
  const QRectF plot = cells.chart()->plotArea();
  const QPoint at = ViewportPoint(cells, plot.center());

  QWheelEvent in(at, cells.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(cells.viewport(), &in);
  EXPECT_DOUBLE_EQ(trend.view().span(), trend::kDefaultSpanMs / 1.25);
  QWheelEvent out(at, cells.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -240), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(cells.viewport(), &out);
  EXPECT_DOUBLE_EQ(trend.view().span(), trend::kDefaultSpanMs * 1.25);
  // The axis shows the span at once.
  const auto axis = cells.timeAxis();
  EXPECT_NEAR(static_cast<double>(axis->min().msecsTo(axis->max())), trend::kDefaultSpanMs * 1.25,
              1);

  // A zoom under a resting cursor reads out what the cursor points at now:
  // the time under it moved with the zoom.
  const QPoint left =
      ViewportPoint(cells, QPointF(plot.left() + plot.width() / 4, plot.center().y()));
  MoveMouse(cells, left);
  const QString before = trend.readout().text();
  QWheelEvent zoomAt(left, cells.viewport()->mapToGlobal(left), QPoint(), QPoint(0, 120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(cells.viewport(), &zoomAt);
  const QString after = trend.readout().text();
  MoveMouse(cells, at);
  MoveMouse(cells, left);
  EXPECT_NE(after, before);
  EXPECT_EQ(after, trend.readout().text());

  MoveMouse(cells, at);
  const QString text = trend.readout().text();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}   \\d\\.\\d{3} V$"))
                  .match(text)
                  .hasMatch())
      << text.toStdString();
  // The value under the cursor: the middle of the value axis.
  const trend::Axis values = trend.view().valueAxis(Chart::Cells);
  const double shown = text.section(QLatin1Char(' '), -2, -2).toDouble();
  EXPECT_NEAR(shown, (values.lo + values.hi) / 2, 0.01);
  // Outside the plot there is nothing to read.
  MoveMouse(cells, QPoint(1, 1));
  EXPECT_TRUE(trend.readout().text().isEmpty());
}

// The line colours of each chart stay apart for normal, protan, deutan and
// tritan eyes: CIELAB distance after a full-strength simulation of each.
TEST(TrendColours, StayApartAlsoForColourBlindEyes) {
  using M = std::array<double, 9>;
  const M kinds[] = {
      {1, 0, 0, 0, 1, 0, 0, 0, 1},
      {0.152286, 1.052583, -0.204868, 0.114503, 0.786281, 0.099216, -0.003882, -0.048116, 1.051998},
      {0.367322, 0.860646, -0.227968, 0.280085, 0.672501, 0.047413, -0.011820, 0.042940, 0.968881},
      {1.255528, -0.076749, -0.178779, -0.078411, 0.930809, 0.147602, 0.004733, 0.691367,
       0.303900}};
  auto lab = [](const QColor& c, const M& m) {
    auto lin = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double in[3] = {lin(c.redF()), lin(c.greenF()), lin(c.blueF())};
    double rgb[3];
    for (int r = 0; r < 3; ++r)
      rgb[r] = std::clamp(m[3 * r] * in[0] + m[3 * r + 1] * in[1] + m[3 * r + 2] * in[2], 0.0, 1.0);
    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    const double x = f((0.4124 * rgb[0] + 0.3576 * rgb[1] + 0.1805 * rgb[2]) / 0.95047);
    const double y = f(0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2]);
    const double z = f((0.0193 * rgb[0] + 0.1192 * rgb[1] + 0.9505 * rgb[2]) / 1.08883);
    return std::array<double, 3>{116 * y - 16, 500 * (x - y), 200 * (y - z)};
  };
  // The cells chart, and the stack chart's boards with its two thresholds.
  std::vector<QColor> charts[2];
  for (int c = 0; c < trend::kCells; ++c) charts[0].push_back(CellColour(c));
  for (int b = 0; b < trend::kMaxBoards + 2; ++b)
    charts[1].push_back(b < trend::kMaxBoards ? BoardColour(b) : ThresholdColour(b % 2));
  for (const auto& colours : charts) {
    for (const M& m : kinds) {
      for (size_t i = 0; i < colours.size(); ++i) {
        for (size_t j = i + 1; j < colours.size(); ++j) {
          const auto a = lab(colours[i], m), b = lab(colours[j], m);
          EXPECT_GT(std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]), 15)
              << "lines " << i + 1 << " and " << j + 1 << " under matrix " << m[0];
        }
      }
    }
  }
}

TEST_F(TrendTest, PauseHoldsTheViewWhileSamplesGoOn) {
  TrendWindow& trend = Open();
  Ticks(200);
  QTest::mouseClick(&trend.pauseButton(), Qt::LeftButton);
  EXPECT_TRUE(trend.view().paused());
  const QDateTimeAxis* axis = trend.chart(Chart::Cells).timeAxis();
  const QDateTime min = axis->min(), max = axis->max();
  const std::size_t records = window->trendStore().cells.size();
  const std::size_t drawn = Drawn(trend.chart(Chart::Cells), 0).size();
  Ticks(300);
  EXPECT_EQ(axis->min(), min);
  EXPECT_EQ(axis->max(), max);
  EXPECT_EQ(Drawn(trend.chart(Chart::Cells), 0).size(), drawn);
  EXPECT_EQ(window->trendStore().cells.size(), records + 100);

  QTest::mouseClick(&trend.pauseButton(), Qt::LeftButton);
  EXPECT_FALSE(trend.view().paused());
  EXPECT_GT(axis->max(), max);
  EXPECT_EQ(Drawn(trend.chart(Chart::Cells), 0).size(), drawn + 25);
}

TEST_F(TrendTest, RedrawsOncePerTenTicksInShortPieces) {
  TrendWindow& trend = Open();
  const long opened = trend.refreshes();
  Ticks(1200);  // two minutes
  EXPECT_EQ(trend.refreshes() - opened, 120);
  TrendChart& cells = trend.chart(Chart::Cells);
  // 100 readings of board 1 in 2 minutes (one every 12 ticks), drawn in
  // pieces of at most 32 points that share their ends.
  const auto pieces = cells.piecesOf(0);
  EXPECT_EQ(Drawn(cells, 0).size(), 100u);
  EXPECT_EQ(pieces.size(), 4u);
  for (const QLineSeries* piece : pieces)
    EXPECT_LE(piece->count(), static_cast<int>(TrendChart::kPiecePoints));

  // A closed trend window is not redrawn; opened again, it catches up.
  trend.close();
  const long closed = trend.refreshes();
  Ticks(100);
  EXPECT_EQ(trend.refreshes(), closed);
  window->OpenTrend();
  EXPECT_EQ(Drawn(cells, 0).size(), 109u);
}

// The window's ticks feed the recording too: Datalog > Record to file…
// (here StartRecording, which the menu calls) records each pass of each
// board until Stop recording.
TEST_F(TrendTest, TheWindowRecordsEachPassOfItsTicksUntilStopped) {
  const std::string db = ::testing::TempDir() + "window_record.db";
  unlink(db.c_str());
  QAction* record = nullptr;
  for (QAction* menu : window->menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (a->text() == "&Record to file…") record = a;
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(window->StartRecording(db), "");
  EXPECT_NE(record->text().toStdString().find(db), std::string::npos);
  Ticks(24);  // two passes of four boards
  window->StopRecording();
  Ticks(12);
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  auto text = [h](const char* sql) {
    sqlite3_stmt* st = nullptr;
    std::string v;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr)
      v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return v;
  };
  EXPECT_EQ(text("SELECT group_concat(board) FROM samples"), "1,2,3,4,1,2,3,4");
  EXPECT_EQ(text("SELECT count(*) FROM samples WHERE board = 3 AND c1 IS NULL"), "2");  // missing
  EXPECT_EQ(text("SELECT count(*) FROM samples WHERE c12 > 1"), "6");
  EXPECT_EQ(text("SELECT value FROM recording WHERE key = 'program'").rfind("eb2250-gui ", 0), 0u);
  sqlite3_close(h);
}

}  // namespace
}  // namespace eb::app

namespace eb::app {
namespace {

// A recording file in its own trend window: the whole recording shown at
// first, the spike in the Cells chart's series, a zoom in to 30 s read from
// the file, the Temperatures tab drawn when chosen.
TEST(RecordingTrend, OpensAFileAndZoomsFromTheWholeToThirtySeconds) {
  test::ScratchDir dir;
  test::SyntheticRecording r;
  r.passes = 3000;  // 30,000 samples: the whole from the levels
  test::WriteRecording(dir / "rec.db", r);
  QString error;
  std::unique_ptr<RecordingTrendWindow> window(
      RecordingTrendWindow::Open(QString::fromStdString(dir / "rec.db"), nullptr, &error));
  ASSERT_TRUE(window) << error.toStdString();
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  window->boardChoice().setCurrentIndex(r.spikeBoard - 1);
  auto highest = [&](Chart which, int line) {
    double hi = 0;
    for (const QLineSeries* piece : window->chart(which).piecesOf(line))
      for (const QPointF& p : piece->points()) hi = std::max(hi, p.y());
    return hi;
  };
  struct Step {
    double span;
    bool direct;
  };
  for (const Step& step :
       {Step{1e12, false}, Step{3'600'000, false}, Step{300'000, true}, Step{30'000, true}}) {
    SCOPED_TRACE(step.span);
    const double spike = static_cast<double>(r.Ms(r.spikePass, r.spikeBoard));
    window->view().Show(spike - step.span / 2, spike + step.span / 2);
    window->Refresh();
    EXPECT_EQ(window->view().direct(), step.direct);
    EXPECT_NEAR(highest(Chart::Cells, r.spikeCell - 1), r.spikeVolts, 1e-4);
    EXPECT_NEAR(highest(Chart::Stack, 3 * (r.spikeBoard - 1) + trend::kMax), r.spikeVolts, 1e-4);
    // One series per run of a line.
    EXPECT_EQ(window->chart(Chart::Cells).piecesOf(0).size(), 1u);
  }
  window->tabs().setCurrentIndex(1);
  EXPECT_GT(window->chart(Chart::Itmp).pointCount(), 0);
  // The wheel's zoom keeps the span within 30 s … the whole recording.
  window->view().ZoomAt(window->view().from(), 1e-6);
  EXPECT_DOUBLE_EQ(window->view().to() - window->view().from(), 30'000);

  EXPECT_EQ(RecordingTrendWindow::Open(QString::fromStdString(dir / "none.db"), nullptr, &error),
            nullptr);
  EXPECT_TRUE(error.contains("No such file or directory")) << error.toStdString();
}

}  // namespace
}  // namespace eb::app
