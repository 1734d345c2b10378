#include "app/drawings.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRect>
#include <algorithm>

namespace eb::app {

namespace {

const QColor kDarkRed(0x80, 0x00, 0x00);
const QColor kGreyed(0x80, 0x80, 0x80);

// A boxed "EB2250" word mark: dark red frame, white face, the name in bold
// dark red with a thin rule under it.
void PaintLogo(QPainter& p, const QRectF& r, bool enabled) {
  const QColor ink = enabled ? kDarkRed : kGreyed;
  p.setRenderHint(QPainter::Antialiasing, true);
  const qreal frame = std::max<qreal>(1.0, std::min(r.width(), r.height()) / 14.0);
  const QRectF box = r.adjusted(frame / 2, frame / 2, -frame / 2, -frame / 2);
  p.setPen(QPen(ink, frame));
  p.setBrush(Qt::white);
  p.drawRoundedRect(box, frame * 2, frame * 2);

  const QRectF face = box.adjusted(frame * 2, frame * 1.5, -frame * 2, -frame * 1.5);
  if (face.width() <= 2 || face.height() <= 2) return;
  QFont font("Liberation Sans");
  font.setBold(true);
  font.setPixelSize(100);
  const QString word = QStringLiteral("EB2250");
  QFontMetricsF fm(font);
  const qreal scale =
      std::min(face.width() / fm.horizontalAdvance(word), face.height() * 0.7 / fm.height());
  font.setPixelSize(std::max(1, static_cast<int>(100 * scale)));
  p.setFont(font);
  p.setPen(ink);
  QFontMetricsF small(font);
  const QRectF textRect(face.left(), face.top(), face.width(), face.height() * 0.8);
  p.drawText(textRect, Qt::AlignCenter, word);
  const qreal ruleY = textRect.center().y() + small.ascent() / 2 + frame;
  if (ruleY < face.bottom()) {
    const qreal half = std::min(face.width(), small.horizontalAdvance(word)) / 2;
    p.setPen(QPen(ink, std::max<qreal>(1.0, frame / 2)));
    p.drawLine(QPointF(face.center().x() - half, ruleY), QPointF(face.center().x() + half, ruleY));
  }
}

// A down-pointing marker: a short stem over a wide triangle, dark red.
void PaintMarker(QPainter& p, const QRectF& r, bool enabled) {
  const QColor ink = enabled ? kDarkRed : kGreyed;
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  const qreal stemW = r.width() / 3;
  const qreal stemH = r.height() * 0.4;
  p.drawRect(QRectF(r.center().x() - stemW / 2, r.top(), stemW, stemH));
  QPolygonF head;
  head << QPointF(r.left(), r.top() + stemH) << QPointF(r.right(), r.top() + stemH)
       << QPointF(r.center().x(), r.bottom());
  p.drawPolygon(head);
}

// A solid triangle pointing up or down, centred in the area.
void PaintArrow(QPainter& p, const QRectF& r, bool up, bool enabled) {
  const QColor ink = enabled ? Qt::black : kGreyed;
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  const qreal w = std::min(r.width(), r.height() * 1.6);
  const qreal h = w / 2;
  const QPointF c = r.center();
  QPolygonF tri;
  if (up) {
    tri << QPointF(c.x() - w / 2, c.y() + h / 2) << QPointF(c.x() + w / 2, c.y() + h / 2)
        << QPointF(c.x(), c.y() - h / 2);
  } else {
    tri << QPointF(c.x() - w / 2, c.y() - h / 2) << QPointF(c.x() + w / 2, c.y() - h / 2)
        << QPointF(c.x(), c.y() + h / 2);
  }
  p.drawPolygon(tri);
}

}  // namespace

bool PaintDrawing(QPainter& painter, const QRect& area, const std::string& name, bool enabled) {
  if (area.width() <= 0 || area.height() <= 0) return false;
  painter.save();
  const QRectF r(area);
  bool known = true;
  if (name == "logo") {
    PaintLogo(painter, r, enabled);
  } else if (name == "marker") {
    PaintMarker(painter, r, enabled);
  } else if (name == "arrow-up") {
    PaintArrow(painter, r, true, enabled);
  } else if (name == "arrow-down") {
    PaintArrow(painter, r, false, enabled);
  } else {
    known = false;
  }
  painter.restore();
  return known;
}

}  // namespace eb::app
