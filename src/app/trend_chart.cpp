#include "app/trend_chart.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace eb::app {

namespace {

// Each wheel notch zooms the time axis by this factor.
constexpr double kZoomPerNotch = 1.25;
constexpr int kLegendWidth = 64;

// Lines one pixel wide whatever the scale: the painter draws cosmetic pens,
// dotted and dashed ones too, without stroking them as outlines first.
QPen LinePen(const QColor& colour, Qt::PenStyle style = Qt::SolidLine) {
  QPen pen(colour);
  pen.setWidth(1);
  pen.setCosmetic(true);
  pen.setStyle(style);
  return pen;
}

QString BoardName(int board) { return QStringLiteral("B%1").arg(board + 1); }

}  // namespace

// Twelve line colours that stay apart also for protan, deutan and tritan
// eyes (a muted qualitative set with black, violet and brown added): boards
// take the first ten, the cells all twelve, the thresholds the last two.
const QColor kLineColours[trend::kCells] = {
    QColor(0xcc, 0x66, 0x77), QColor(0x33, 0x22, 0x88), QColor(0xdd, 0xcc, 0x77),
    QColor(0x11, 0x77, 0x33), QColor(0x88, 0xcc, 0xee), QColor(0x88, 0x22, 0x55),
    QColor(0x44, 0xaa, 0x99), QColor(0x99, 0x99, 0x33), QColor(0xaa, 0x44, 0x99),
    QColor(0x00, 0x00, 0x00), QColor(0x88, 0x00, 0xee), QColor(0x66, 0x33, 0x00)};

QColor BoardColour(int board) { return kLineColours[board % trend::kMaxBoards]; }

QColor CellColour(int cell) { return kLineColours[cell % trend::kCells]; }

QColor ThresholdColour(int k) { return kLineColours[trend::kMaxBoards + k % 2]; }

QTabWidget* TrendTabs(QWidget* parent, const QString& stackTitle,
                      const std::function<TrendChart*(trend::Chart, const QString&)>& make) {
  auto* tabs = new QTabWidget(parent);
  auto* cells = new QWidget(tabs);
  auto* cellsLayout = new QVBoxLayout(cells);
  cellsLayout->setContentsMargins(0, 0, 0, 0);
  cellsLayout->addWidget(make(trend::Chart::Cells, QObject::tr("Cells of board 1")), 3);
  cellsLayout->addWidget(make(trend::Chart::Stack, stackTitle), 2);
  tabs->addTab(cells, QObject::tr("Cells"));
  auto* temps = new QWidget(tabs);
  auto* tempsLayout = new QVBoxLayout(temps);
  tempsLayout->setContentsMargins(0, 0, 0, 0);
  tempsLayout->addWidget(make(trend::Chart::Etmp1, QObject::tr("ETMP1")));
  tempsLayout->addWidget(make(trend::Chart::Etmp2, QObject::tr("ETMP2")));
  tempsLayout->addWidget(make(trend::Chart::Itmp, QObject::tr("ITMP")));
  tabs->addTab(temps, QObject::tr("Temperatures"));
  return tabs;
}

TrendChart::TrendChart(trend::Chart which, const QString& title, QWidget* parent,
                       std::uint64_t piecePoints)
    // The chart is given at construction: a chart set later in place of the
    // view's own leaves the time axis undrawn.
    : QChartView(new QChart, parent),
      which_(which),
      piecePoints_(std::max<std::uint64_t>(2, piecePoints)),
      chart_(QChartView::chart()),
      timeAxis_(new QDateTimeAxis),
      valueAxis_(new QValueAxis) {
  chart_->setTitle(title);
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->setBackgroundRoundness(0);
  chart_->setMargins(QMargins(2, 2, 2, 2));
  // Legends of one width, so that charts one above the other share their
  // time axis' place.
  chart_->legend()->setAlignment(Qt::AlignRight);
  chart_->legend()->setMinimumWidth(kLegendWidth);
  chart_->legend()->setMaximumWidth(kLegendWidth);
  timeAxis_->setFormat(QStringLiteral("hh:mm:ss"));
  timeAxis_->setTickCount(6);  // a minute apart in the five minutes first shown
  valueAxis_->setTickType(QValueAxis::TicksDynamic);
  valueAxis_->setTitleText(QStringLiteral("V"));
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  setRenderHint(QPainter::Antialiasing, false);
  setRubberBand(QChartView::NoRubberBand);
  viewport()->setMouseTracking(true);  // the cursor readout without a button held

  switch (which_) {
    case trend::Chart::Cells:
      for (int c = 0; c < trend::kCells; ++c)
        AddLine(QStringLiteral("C%1").arg(c + 1), LinePen(CellColour(c)));
      break;
    case trend::Chart::Stack:
      for (int b = 0; b < trend::kMaxBoards; ++b) {
        const QColor colour = BoardColour(b);
        AddLine(BoardName(b) + QStringLiteral(" min"), LinePen(colour, Qt::DotLine));
        AddLine(BoardName(b) + QStringLiteral(" max"), LinePen(colour, Qt::DotLine));
        AddLine(BoardName(b), LinePen(colour));
      }
      break;
    case trend::Chart::Etmp1:
    case trend::Chart::Etmp2:
    case trend::Chart::Itmp:
      for (int b = 0; b < trend::kMaxBoards; ++b) AddLine(BoardName(b), LinePen(BoardColour(b)));
      break;
  }
  if (which_ == trend::Chart::Stack) {
    const char* names[2] = {"VUV", "VOV"};
    for (int k = 0; k < 2; ++k) {
      thresholds_[k] = NewSeries(LinePen(ThresholdColour(k), Qt::DashLine));
      thresholds_[k]->setName(QString::fromLatin1(names[k]));
      SetLegendShown(thresholds_[k], false);
    }
  }
}

TrendChart::~TrendChart() = default;

void TrendChart::SetTitle(const QString& title) {
  if (chart_->title() != title) chart_->setTitle(title);
}

QLineSeries* TrendChart::NewSeries(const QPen& pen) {
  auto* series = new QLineSeries;
  series->setPen(pen);
  chart_->addSeries(series);
  series->attachAxis(timeAxis_);
  series->attachAxis(valueAxis_);
  SetLegendShown(series, false);
  return series;
}

void TrendChart::AddLine(const QString& name, const QPen& pen) {
  Line line;
  line.pen = pen;
  line.legend = NewSeries(pen);
  line.legend->setName(name);
  lines_.push_back(std::move(line));
}

void TrendChart::SetLegendShown(QLineSeries* series, bool shown) {
  // Set whatever isVisible() says: before the chart is first shown it
  // answers false for a marker that will be shown.
  for (QLegendMarker* marker : chart_->legend()->markers(series)) marker->setVisible(shown);
}

void TrendChart::Sync(const trend::ChartLines& view, int boards) {
  const double from = view.from(), to = view.to();
  const auto fromMs = static_cast<qint64>(from), toMs = static_cast<qint64>(to);
  // Scrolling draws every series anew from its points, a series given new
  // points draws itself anew too: series that are given points while the
  // chart scrolls do not hear of it, and are drawn once, by the scroll.
  const bool scrolls = fromMs != shownFromMs_ || toMs != shownToMs_;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    SyncLine(lines_[i], view.line(which_, static_cast<int>(i)), scrolls);
  SyncAxes(view);
  if (thresholds_[0] != nullptr) {
    SyncThreshold(0, view.underVoltage(), from, to);
    SyncThreshold(1, view.overVoltage(), from, to);
  }
  if (boards != shownBoards_) {
    // Legend entries: the cells, or the mean (and temperature) line of each
    // board of the stack.
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const int n = static_cast<int>(i);
      bool shown = true;
      if (which_ == trend::Chart::Stack) {
        shown = n % 3 == trend::kMean && n / 3 < boards;
      } else if (which_ != trend::Chart::Cells) {
        shown = n < boards;
      }
      SetLegendShown(lines_[i].legend, shown);
    }
    shownBoards_ = boards;
  }
}

void TrendChart::SyncAxes(const trend::ChartLines& view) {
  const auto fromMs = static_cast<qint64>(view.from()), toMs = static_cast<qint64>(view.to());
  const trend::Axis axis = view.valueAxis(which_);
  if (!(axis == shownAxis_)) {
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(axis.step) - 1e-9)));
    valueAxis_->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
    valueAxis_->setTickAnchor(axis.lo);
    valueAxis_->setTickInterval(axis.step);
    valueAxis_->setRange(axis.lo, axis.hi);
    shownAxis_ = axis;
  }
  if (fromMs != shownFromMs_ || toMs != shownToMs_) {
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(fromMs),
                        QDateTime::fromMSecsSinceEpoch(toMs));
    shownFromMs_ = fromMs;
    shownToMs_ = toMs;
  }
}

void TrendChart::Redraw(const trend::ChartLines& view, int boards) {
  // Emptied series, then the axes, then the new points: each series lays
  // out its points once (a change of either axis lays out every series
  // again).
  for (Line& line : lines_) {
    for (Piece& piece : line.pieces) {
      piece.series->clear();
      line.idle.push_back(piece.series);
    }
    line.pieces.clear();
  }
  SyncAxes(view);
  Sync(view, boards);
}

void TrendChart::SyncLine(Line& line, const trend::Trace& trace, bool scrolls) {
  const std::uint64_t stride = piecePoints_ - 1;
  auto release = [&line](std::size_t at) {
    Piece& piece = line.pieces[at];
    piece.series->clear();
    line.idle.push_back(piece.series);
    line.pieces.erase(line.pieces.begin() + static_cast<std::ptrdiff_t>(at));
  };
  QList<QPointF> dots;
  std::size_t j = 0;
  for (const auto& run : trace.runs()) {
    const std::uint64_t first = run.first;
    const std::uint64_t last = first + run.points.size() - 1;
    if (run.points.size() == 1) dots.append(QPointF(run.points[0].t, run.points[0].v));
    const std::uint64_t firstChunk = first / stride;
    const std::uint64_t lastChunk = std::max(firstChunk, last >= 1 ? (last - 1) / stride : 0);
    for (std::uint64_t c = firstChunk; c <= lastChunk; ++c) {
      // Pieces of runs or chunks no longer in view (they leave at the front).
      while (j < line.pieces.size() && line.pieces[j].before(run.id, c)) release(j);
      const std::uint64_t begin = std::max(first, c * stride);
      const std::uint64_t end = std::min(last, c * stride + stride);
      if (j == line.pieces.size() || line.pieces[j].run != run.id || line.pieces[j].chunk != c) {
        // An impossible range, so that the points are handed over below.
        line.pieces.insert(line.pieces.begin() + static_cast<std::ptrdiff_t>(j),
                           Piece{run.id, c, 1, 0, IdleOrNewSeries(line)});
      }
      Piece& piece = line.pieces[j++];
      if (piece.begin == begin && piece.end == end) continue;
      ShowPoints(piece, run, begin, end, scrolls);
    }
  }
  while (j < line.pieces.size()) release(j);

  SyncDots(line, dots);
}

QLineSeries* TrendChart::IdleOrNewSeries(Line& line) {
  if (line.idle.empty()) return NewSeries(line.pen);
  QLineSeries* series = line.idle.back();
  line.idle.pop_back();
  return series;
}

void TrendChart::ShowPoints(Piece& piece, const trend::Trace::Run& run, std::uint64_t begin,
                            std::uint64_t end, bool scrolls) {
  const std::uint64_t first = run.first;
  QList<QPointF> points;
  points.reserve(static_cast<qsizetype>(end - begin + 1));
  for (std::uint64_t i = begin; i <= end; ++i) {
    const trend::Point& p = run.points[static_cast<std::size_t>(i - first)];
    points.append(QPointF(p.t, p.v));
  }
  // One replacement is one redraw of the piece (appending point by
  // point would redraw it for every point), none when the chart scrolls
  // and redraws it anyway. (A scroll does not redraw an emptied series,
  // so only series with points keep quiet.)
  const bool quiet = scrolls && !points.isEmpty();
  if (quiet) piece.series->blockSignals(true);
  piece.series->replace(points);
  if (quiet) piece.series->blockSignals(false);
  piece.begin = begin;
  piece.end = end;
}

void TrendChart::SyncDots(Line& line, const QList<QPointF>& dots) {
  if (!dots.isEmpty() && line.dots == nullptr) {
    line.dots = new QScatterSeries;
    line.dots->setMarkerSize(4);
    line.dots->setColor(line.pen.color());
    line.dots->setBorderColor(line.pen.color());
    chart_->addSeries(line.dots);
    line.dots->attachAxis(timeAxis_);
    line.dots->attachAxis(valueAxis_);
    for (QLegendMarker* marker : chart_->legend()->markers(line.dots)) marker->setVisible(false);
  }
  if (line.dots != nullptr && line.dots->points() != dots) line.dots->replace(dots);
}

void TrendChart::SyncThreshold(int k, double volts, double from, double to) {
  QLineSeries* series = thresholds_[k];
  const bool shown = !std::isnan(volts);
  QList<QPointF> points;
  if (shown) points = {QPointF(from, volts), QPointF(to, volts)};
  if (series->points() != points) series->replace(points);
  SetLegendShown(series, shown);
}

bool TrendChart::ValueAt(const QPointF& viewPos, QPointF* value) const {
  const QPointF inChart = chart_->mapFromScene(mapToScene(viewPos.toPoint()));
  if (!chart_->plotArea().contains(inChart)) return false;
  *value = chart_->mapToValue(inChart, lines_.front().legend);
  return true;
}

void TrendChart::wheelEvent(QWheelEvent* event) {
  QPointF value;
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || !ValueAt(event->position(), &value)) {
    QChartView::wheelEvent(event);
    return;
  }
  emit zoomRequested(value.x(), std::pow(kZoomPerNotch, -notches));
  // The axes moved under the cursor: read out what it points at now.
  if (ValueAt(event->position(), &value)) emit cursorMoved(value.x(), value.y());
  event->accept();
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
  QPointF value;
  if (ValueAt(event->position(), &value)) {
    emit cursorMoved(value.x(), value.y());
  } else {
    emit cursorLeft();
  }
  QChartView::mouseMoveEvent(event);
}

void TrendChart::leaveEvent(QEvent* event) {
  emit cursorLeft();
  QChartView::leaveEvent(event);
}

int TrendChart::seriesCount() const { return static_cast<int>(chart_->series().size()); }

int TrendChart::pointCount() const {
  int n = 0;
  for (QAbstractSeries* s : chart_->series()) {
    if (auto* xy = qobject_cast<QXYSeries*>(s)) n += xy->count();
  }
  return n;
}

std::vector<const QLineSeries*> TrendChart::piecesOf(int line) const {
  std::vector<const QLineSeries*> pieces;
  for (const Piece& p : lines_.at(static_cast<std::size_t>(line)).pieces)
    pieces.push_back(p.series);
  return pieces;
}

int TrendChart::dotsOf(int line) const {
  const QScatterSeries* dots = lines_.at(static_cast<std::size_t>(line)).dots;
  return dots == nullptr ? 0 : dots->count();
}

const QLineSeries* TrendChart::threshold(int k) const { return thresholds_[k]; }

}  // namespace eb::app
