#include "app/recording_trend_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/trend_chart.h"

namespace eb::app {

namespace {

constexpr int kCellsTab = 0;
constexpr int kScrollSteps = 10'000;
constexpr int kFollowMs = 2000;
// A recording's charts are drawn anew on every zoom: one series per run.
constexpr std::uint64_t kWholeRuns = std::uint64_t{1} << 20;
// Chart width taken by the value axis and the legend, not by columns.
constexpr int kChartMargin = 140;
// Chart height taken by the title and the time axis, not by rows.
constexpr int kChartTitleAndAxis = 70;

QString SpanText(double ms) {
  const long long s = std::llround(ms / 1000);
  if (s < 60) return QStringLiteral("%1 s").arg(s);
  if (s < 3600) return QStringLiteral("%1:%2 min").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
  if (s < 86400)
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1 d %2 h").arg(s / 86400).arg(s / 3600 % 24);
}

}  // namespace

RecordingTrendWindow* RecordingTrendWindow::Open(const QString& path, QWidget* parent,
                                                 QString* error) {
  error->clear();
  try {
    auto recording = std::make_unique<record::Recording>(path.toStdString());
    auto* window = new RecordingTrendWindow(std::move(recording), parent);
    QProgressDialog progress(tr("Reading %1…").arg(path), tr("Cancel"), 0, 1000, parent);
    progress.setWindowTitle(tr("Trend of a recording"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(1000);
    const bool read = window->view_->Load([&progress](double done) {
      progress.setValue(static_cast<int>(done * 1000));
      QApplication::processEvents();
      return !progress.wasCanceled();
    });
    progress.reset();
    if (!read) {
      delete window;
      return nullptr;
    }
    window->view_->ShowAll();
    window->follow_.start(kFollowMs);
    return window;
  } catch (const record::RecordingError& e) {
    *error = QString::fromStdString(e.what());
    return nullptr;
  }
}

RecordingTrendWindow::RecordingTrendWindow(std::unique_ptr<record::Recording> recording,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window),
      recording_(std::move(recording)),
      view_(std::make_unique<record::RecordingView>(*recording_)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(tr("Trend of %1").arg(QString::fromStdString(recording_->path())));
  resize(960, 720);

  board_ = new QComboBox(this);
  for (int b = 0; b < trend::kMaxBoards; ++b) board_->addItem(tr("Board %1").arg(b + 1));
  auto* whole = new QPushButton(tr("Whole recording"), this);
  span_ = new QLabel(this);
  readout_ = new QLabel(this);
  readout_->setMinimumWidth(280);
  readout_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  scroll_ = new QScrollBar(Qt::Horizontal, this);
  scroll_->setRange(0, kScrollSteps);

  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel(tr("Cells of:"), this));
  bar->addWidget(board_);
  bar->addWidget(whole);
  bar->addWidget(span_);
  bar->addStretch(1);
  bar->addWidget(readout_);

  charts_.resize(trend::kCharts, nullptr);
  auto make = [this](trend::Chart which, const QString& title) {
    auto* chart = new TrendChart(which, title, this, kWholeRuns);
    charts_[static_cast<std::size_t>(which)] = chart;
    connect(chart, &TrendChart::zoomRequested, this, &RecordingTrendWindow::Zoom);
    connect(chart, &TrendChart::cursorMoved, this, [this](double ms, double value) {
      readout_->setText(QStringLiteral("%1   %2 V")
                            .arg(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms))
                                     .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")))
                            .arg(value, 0, 'f', 3));
    });
    connect(chart, &TrendChart::cursorLeft, readout_, &QLabel::clear);
    return chart;
  };
  tabs_ = TrendTabs(this,
                    tr("Every board: mean cell voltage (solid), minimum and maximum (dotted); "
                       "thresholds of the board (dashed)"),
                    make);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(tabs_, 1);
  layout->addWidget(scroll_);

  connect(board_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { Refresh(); });
  connect(whole, &QPushButton::clicked, this, [this] {
    view_->ShowAll();
    Refresh();
  });
  connect(scroll_, &QScrollBar::valueChanged, this, &RecordingTrendWindow::Scrolled);
  connect(&follow_, &QTimer::timeout, this, &RecordingTrendWindow::Follow);
}

RecordingTrendWindow::~RecordingTrendWindow() = default;

TrendChart& RecordingTrendWindow::chart(trend::Chart which) {
  return *charts_.at(static_cast<std::size_t>(which));
}

double RecordingTrendWindow::Refresh() {
  QElapsedTimer clock;
  clock.start();
  const int board = board_->currentIndex();
  view_->SetBoard(board);
  const auto [uv, ov] = recording_->Thresholds(board + 1);
  view_->SetThresholds(uv, ov);
  const bool cellsTab = tabs_->currentIndex() == kCellsTab;
  TrendChart& sized = chart(cellsTab ? trend::Chart::Cells : trend::Chart::Etmp1);
  view_->SetColumns(std::max(100, sized.width() - kChartMargin));
  // The lowest chart of the tab: the Stack chart, or any temperature chart.
  TrendChart& lowest = chart(cellsTab ? trend::Chart::Stack : trend::Chart::Etmp1);
  view_->SetRows(std::max(50, lowest.height() - kChartTitleAndAxis));
  try {
    view_->Update();
  } catch (const record::RecordingError& e) {
    span_->setText(QString::fromStdString(e.what()));
    return 0;
  }
  const double span = view_->to() - view_->from();
  const QString format =
      span > 12 * 3'600'000.0 ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm:ss");
  for (TrendChart* c : charts_) c->timeAxis()->setFormat(format);
  chart(trend::Chart::Cells).SetTitle(tr("Cells of board %1").arg(board + 1));
  // Every board's legend entry: a recording does not say which boards were stacked.
  if (cellsTab) {
    chart(trend::Chart::Cells).Redraw(*view_, trend::kMaxBoards);
    chart(trend::Chart::Stack).Redraw(*view_, trend::kMaxBoards);
  } else {
    for (auto which : {trend::Chart::Etmp1, trend::Chart::Etmp2, trend::Chart::Itmp})
      chart(which).Redraw(*view_, trend::kMaxBoards);
  }
  // The scroll bar: where the view stands in the recording.
  const double whole = static_cast<double>(view_->last() - view_->first());
  const double room = whole - span;
  syncingScroll_ = true;
  scroll_->setEnabled(room > 0);
  scroll_->setPageStep(room > 0 ? std::max(1, static_cast<int>(kScrollSteps * span / whole)) : 1);
  scroll_->setValue(
      room > 0 ? static_cast<int>(std::lround(
                     (view_->from() - static_cast<double>(view_->first())) / room * kScrollSteps))
               : 0);
  syncingScroll_ = false;
  span_->setText(tr("%1 shown").arg(SpanText(span)));
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void RecordingTrendWindow::Follow() {
  const bool atEnd = view_->to() >= static_cast<double>(view_->last());
  const std::int64_t before = view_->samples();
  try {
    view_->Load();
  } catch (const record::RecordingError& e) {
    follow_.stop();
    span_->setText(QString::fromStdString(e.what()));
    return;
  }
  if (view_->samples() == before) return;
  if (atEnd) {
    const double span = view_->to() - view_->from();
    view_->Show(static_cast<double>(view_->last()) - span, static_cast<double>(view_->last()));
  }
  if (isVisible()) Refresh();
}

void RecordingTrendWindow::Zoom(double ms, double factor) {
  view_->ZoomAt(ms, factor);
  Refresh();
}

void RecordingTrendWindow::Scrolled(int value) {
  if (syncingScroll_) return;
  const double span = view_->to() - view_->from();
  const double room = static_cast<double>(view_->last() - view_->first()) - span;
  const double from = static_cast<double>(view_->first()) + room * value / kScrollSteps;
  view_->Show(from, from + span);
  Refresh();
}

void RecordingTrendWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isVisible()) Refresh();
}

}  // namespace eb::app
