#include "app/trend_window.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/trend_chart.h"
#include "window/form1.h"
#include "window/trend_sampler.h"

namespace eb::app {

namespace {

constexpr int kCellsTab = 0;

QString SpanText(double ms) {
  const auto seconds = static_cast<int>(std::lround(ms / 1000));
  if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
  return QStringLiteral("%1:%2 min").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

TrendWindow::TrendWindow(const Form1& form, const trend::Store& store,
                         std::function<double()> nowMs, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(form), nowMs_(std::move(nowMs)), view_(store) {
  setWindowTitle(tr("Trend"));
  resize(960, 720);

  board_ = new QComboBox(this);
  board_->addItem(tr("Board selected in the main window"));
  for (int b = 0; b < trend::kMaxBoards; ++b) board_->addItem(tr("Board %1").arg(b + 1));
  pause_ = new QPushButton(tr("Pause"), this);
  pause_->setCheckable(true);
  span_ = new QLabel(this);
  readout_ = new QLabel(this);
  readout_->setMinimumWidth(240);
  readout_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel(tr("Cells of:"), this));
  bar->addWidget(board_);
  bar->addWidget(pause_);
  bar->addWidget(span_);
  bar->addStretch(1);
  bar->addWidget(readout_);

  charts_.resize(trend::kCharts, nullptr);
  auto make = [this](trend::Chart which, const QString& title) {
    auto* chart = new TrendChart(which, title, this);
    charts_[static_cast<std::size_t>(which)] = chart;
    connect(chart, &TrendChart::zoomRequested, this, &TrendWindow::Zoom);
    connect(chart, &TrendChart::cursorMoved, this, &TrendWindow::ShowCursor);
    connect(chart, &TrendChart::cursorLeft, readout_, &QLabel::clear);
    return chart;
  };

  tabs_ = TrendTabs(this, QString(), make);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(tabs_, 1);

  connect(board_, &QComboBox::currentIndexChanged, this, &TrendWindow::Refresh);
  connect(tabs_, &QTabWidget::currentChanged, this, &TrendWindow::Refresh);
  connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
    view_.SetPaused(paused);
    pause_->setText(paused ? tr("Resume") : tr("Pause"));
    Refresh();
  });
}

TrendWindow::~TrendWindow() = default;

TrendChart& TrendWindow::chart(trend::Chart which) {
  return *charts_.at(static_cast<std::size_t>(which));
}

int TrendWindow::Board() const {
  const int chosen = board_->currentIndex();
  if (chosen >= 1) return chosen - 1;
  return std::clamp<int>(form_.BRDnumber, 0, trend::kMaxBoards - 1);
}

void TrendWindow::OnTick() {
  if (!isVisible()) return;
  if (++ticks_ < kTicksPerRefresh) return;
  Refresh();
}

void TrendWindow::Refresh() {
  ticks_ = 0;
  const int board = Board();
  view_.SetBoard(board);
  const auto [uv, ov] = TrendThresholds(form_, board);
  view_.SetThresholds(uv, ov);
  view_.Update(nowMs_());

  const int boards = std::clamp<int>(form_.CARDSTACK + 1, 1, trend::kMaxBoards);
  chart(trend::Chart::Cells).SetTitle(tr("Cells of board %1").arg(board + 1));
  chart(trend::Chart::Stack)
      .SetTitle(tr("Every board: mean cell voltage (solid), minimum and maximum (dotted); "
                   "under- and over-voltage thresholds of board %1 (dashed)")
                    .arg(board + 1));
  // Only the tab shown is drawn; the other catches up when it is chosen.
  if (tabs_->currentIndex() == kCellsTab) {
    chart(trend::Chart::Cells).Sync(view_, boards);
    chart(trend::Chart::Stack).Sync(view_, boards);
  } else {
    for (auto which : {trend::Chart::Etmp1, trend::Chart::Etmp2, trend::Chart::Itmp})
      chart(which).Sync(view_, boards);
  }
  span_->setText(
      (view_.paused() ? tr("paused, %1 shown") : tr("last %1")).arg(SpanText(view_.span())));
  ++refreshes_;
}

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

void TrendWindow::Zoom(double ms, double factor) {
  view_.ZoomAt(ms, factor);
  Refresh();
}

void TrendWindow::ShowCursor(double ms, double value) {
  readout_->setText(QStringLiteral("%1   %2 V")
                        .arg(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms))
                                 .toString(QStringLiteral("hh:mm:ss.zzz")))
                        .arg(value, 0, 'f', 3));
}

}  // namespace eb::app
