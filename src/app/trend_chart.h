// One chart of the trend window: draws one chart of a trend::View with Qt
// Charts. Every line of the view is a legend entry; its runs between gaps are
// drawn by line series of their own (a line series cannot leave a gap), each
// run cut into pieces of at most kPiecePoints points, one series each, kept
// in the chart and reused. A piece is handed to its series again only when
// its points changed: new readings redraw the last piece of a run, trimming
// the first, so that the cost of a redraw does not grow with the points in
// view (Qt Charts redraws a series wholly whenever its points change). A run
// of a single reading, which a line cannot show, is a dot.
//
// The mouse wheel asks for a zoom of the time axis about the time under the
// cursor; moving the mouse over the plot reports the time and value there.
#pragma once

#include <QChartView>
#include <QColor>
#include <QPen>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "trend/view.h"

QT_BEGIN_NAMESPACE
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QTabWidget;
class QValueAxis;
QT_END_NAMESPACE

namespace eb::app {

class TrendChart : public QChartView {
  Q_OBJECT
 public:
  static constexpr std::uint64_t kPiecePoints = 32;

  // `piecePoints`: points per line series (a recording's charts, drawn
  // anew on every zoom, take whole runs: fewer series draw faster).
  TrendChart(trend::Chart which, const QString& title, QWidget* parent = nullptr,
             std::uint64_t piecePoints = kPiecePoints);
  ~TrendChart() override;

  // Brings the chart in line with the view. `boards`: boards in the stack,
  // whose lines have legend entries (the Cells chart has twelve always).
  void Sync(const trend::ChartLines& view, int boards);
  // Draws every line anew, as after a zoom of a recording's view.
  void Redraw(const trend::ChartLines& view, int boards);
  void SetTitle(const QString& title);

  trend::Chart which() const { return which_; }
  // For tests and measurements: line series in the chart (legend entries
  // and thresholds included), points they hold, and the series of line i.
  int seriesCount() const;
  int pointCount() const;
  std::vector<const QLineSeries*> piecesOf(int line) const;
  int dotsOf(int line) const;
  const QLineSeries* threshold(int k) const;  // Stack chart: 0 under-, 1 over-voltage
  QDateTimeAxis* timeAxis() const { return timeAxis_; }
  QValueAxis* valueAxis() const { return valueAxis_; }

 signals:
  // The wheel turned over the plot: zoom the time axis by `factor` about
  // time `ms` (milliseconds since the epoch).
  void zoomRequested(double ms, double factor);
  // The mouse is over the plot at time `ms` and value `value`.
  void cursorMoved(double ms, double value);
  void cursorLeft();

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Piece `chunk` of run `run` holds the run's points begin … end (their
  // places in the run, Trace::Run::first on); piece c of a run starts at
  // point c * (piecePoints_ - 1), sharing it with the end of piece c - 1.
  struct Piece {
    std::uint64_t run = 0;
    std::uint64_t chunk = 0;
    std::uint64_t begin = 0, end = 0;
    QLineSeries* series = nullptr;
    bool before(std::uint64_t r, std::uint64_t c) const {
      return run < r || (run == r && chunk < c);
    }
  };
  struct Line {
    QLineSeries* legend = nullptr;  // holds no points: the legend entry
    QPen pen;
    std::deque<Piece> pieces;        // in the order of runs and chunks
    std::vector<QLineSeries*> idle;  // emptied series kept for new runs
    QScatterSeries* dots = nullptr;  // made when first needed
  };

  void AddLine(const QString& name, const QPen& pen);
  QLineSeries* NewSeries(const QPen& pen);
  void SyncLine(Line& line, const trend::Trace& trace, bool scrolls);
  // SyncLine's steps: a series for a new piece (an idle one if there is
  // one), the points [begin, end] of run on a piece, the single-point runs.
  QLineSeries* IdleOrNewSeries(Line& line);
  void ShowPoints(Piece& piece, const trend::Trace::Run& run, std::uint64_t begin,
                  std::uint64_t end, bool scrolls);
  void SyncDots(Line& line, const QList<QPointF>& dots);
  void SyncAxes(const trend::ChartLines& view);
  void SyncThreshold(int k, double volts, double from, double to);
  void SetLegendShown(QLineSeries* series, bool shown);
  bool ValueAt(const QPointF& viewPos, QPointF* value) const;

  trend::Chart which_;
  std::uint64_t piecePoints_;
  QChart* chart_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  std::vector<Line> lines_;
  QLineSeries* thresholds_[2] = {nullptr, nullptr};
  qint64 shownFromMs_ = 0, shownToMs_ = 0;
  trend::Axis shownAxis_{0, 0, 0};
  int shownBoards_ = -1;
};

// Colour of board b's lines, of cell c's, and of the under- (k = 0) and
// over-voltage (k = 1) threshold lines.
QColor BoardColour(int board);
QColor CellColour(int cell);
QColor ThresholdColour(int k);

// The two tabs of a trend window: "Cells" (the Cells chart above the Stack
// chart, titled `stackTitle`) and "Temperatures" (ETMP1, ETMP2, ITMP), each
// chart made by `make` (chart, title).
QTabWidget* TrendTabs(QWidget* parent, const QString& stackTitle,
                      const std::function<TrendChart*(trend::Chart, const QString&)>& make);

}  // namespace eb::app
