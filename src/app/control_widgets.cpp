#include "app/control_widgets.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStyleOptionFrame>
#include <algorithm>

#include "app/drawings.h"
#include "app/text_layout.h"

namespace eb::app {

QColor ToQColor(Rgb rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

namespace {

Qt::Alignment HorizontalAlign(Align align) {
  switch (align) {
    case Align::Right: return Qt::AlignRight;
    case Align::Center: return Qt::AlignHCenter;
    case Align::Left: break;
  }
  return Qt::AlignLeft;
}

// Disabled captions are drawn in the classic dark grey: the style's own
// disabled colour vanishes on the light grey form background.
const QColor kDisabledInk(0x80, 0x80, 0x80);

QColor TextColor(const QWidget& w, const std::optional<QColor>& fore) {
  if (!w.isEnabled()) return kDisabledInk;
  return fore.value_or(w.palette().color(QPalette::Active, QPalette::WindowText));
}

void DrawFocusRect(QWidget& w, QPainter& p, const QRect& r) {
  QStyleOptionFocusRect focus;
  focus.initFrom(&w);
  focus.rect = r;
  focus.backgroundColor = w.palette().color(QPalette::Window);
  w.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, &w);
}

}  // namespace

// Check box and option button: the indicator at the left edge, vertically
// centred, the caption beside it.
void PaintCheckLike(QWidget& w, QStyleOptionButton opt, bool radio, const QString& caption,
                    bool multiLine, const std::optional<QColor>& back,
                    const std::optional<QColor>& fore, TextLayout& layout) {
  QPainter p(&w);
  if (back) p.fillRect(w.rect(), *back);
  const auto indicatorElement =
      radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
  QRect indicator = w.style()->subElementRect(indicatorElement, &opt, &w);
  indicator.moveLeft(0);
  indicator.moveTop((w.height() - indicator.height()) / 2);
  QStyleOptionButton ind = opt;
  ind.rect = indicator;
  ind.text.clear();
  w.style()->drawPrimitive(radio ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox,
                           &ind, &p, &w);
  if (caption.isEmpty()) {
    if (w.hasFocus()) DrawFocusRect(w, p, indicator.adjusted(-1, -1, 1, 1));
    return;
  }
  const QRect textArea(indicator.right() + 4, 0, std::max(0, w.width() - indicator.right() - 4),
                       w.height());
  p.setPen(TextColor(w, fore));
  const Wrap wrap = multiLine ? Wrap::CaptionMultiLine : Wrap::Caption;
  layout.Paint(p, caption, w.font(), textArea, wrap, Qt::AlignLeft | Qt::AlignVCenter);
  if (w.hasFocus()) {
    const auto& lines = layout.Lines(caption, w.font(), textArea.size(), wrap);
    int widest = 0;
    for (size_t i = 0; i < lines.size(); ++i) widest = std::max(widest, layout.LineWidth(i));
    const int h = std::min(w.height(), LinePitch(w.font()) * static_cast<int>(lines.size()));
    QRect used(textArea.left(), (w.height() - h) / 2, std::min(widest, textArea.width()), h);
    DrawFocusRect(w, p, used.adjusted(-1, 0, 1, 0).intersected(w.rect()));
  }
}

// ---------------------------------------------------------------- FrameBox

FrameBox::FrameBox(QWidget* parent) : QWidget(parent) {}

void FrameBox::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void FrameBox::setColors(std::optional<QColor> back, std::optional<QColor> fore) {
  back_ = back;
  fore_ = fore;
  update();
}

void FrameBox::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  if (back_) p.fillRect(rect(), *back_);
  // A control inside the frame that changes repaints the frame behind it;
  // the outline and caption are drawn only where the region reaches them.
  const QRect inside = rect().adjusted(2, 0, -3, -3);
  const QFontMetrics fm(font());
  if (inside.adjusted(0, fm.height(), 0, 0).contains(event->region().boundingRect())) return;
  const int top = fm.height() / 2;
  const QColor shadow(0x80, 0x80, 0x80);
  const QColor light(0xFF, 0xFF, 0xFF);
  const int w = width();
  const int h = height();
  // Etched outline: a grey rectangle with a white one offset by a pixel.
  p.setPen(light);
  p.drawRect(1, top + 1, w - 2, h - top - 2);
  p.setPen(shadow);
  p.drawRect(0, top, w - 2, h - top - 2);
  if (caption_.isEmpty()) return;
  const int x = 6;
  const int textWidth = std::min(fm.horizontalAdvance(caption_) + 4, std::max(0, w - x - 2));
  const QRect textRect(x, 0, textWidth, fm.height());
  p.fillRect(textRect, back_.value_or(palette().color(QPalette::Window)));
  p.setFont(font());
  p.setPen(TextColor(*this, fore_));
  p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             QStringLiteral(" ") + caption_);
}

// ---------------------------------------------------------------- LabelView

LabelView::LabelView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LabelView::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void LabelView::setAlign(Align align) {
  align_ = align;
  update();
}

void LabelView::setMultiLine(bool multiLine) {
  if (multiLine == multiLine_) return;
  multiLine_ = multiLine;
  update();
}

void LabelView::setColors(std::optional<QColor> back, std::optional<QColor> fore) {
  back_ = back;
  fore_ = fore;
  update();
}

void LabelView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (back_) p.fillRect(rect(), *back_);
  if (text_.isEmpty()) return;
  p.setPen(TextColor(*this, fore_));
  layout_.Paint(p, text_, font(), rect(), multiLine_ ? Wrap::CaptionMultiLine : Wrap::Caption,
                HorizontalAlign(align_) | Qt::AlignTop);
}

// ---------------------------------------------------------------- ShapeView

ShapeView::ShapeView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeView::setLook(ShapeType type, QColor fill, bool fillShown, QColor border,
                        int borderWidth) {
  type_ = type;
  fill_ = fill;
  fillShown_ = fillShown;
  border_ = border;
  borderWidth_ = borderWidth;
  update();
}

void ShapeView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRectF bounds(rect());
  if (type_ == ShapeType::Square || type_ == ShapeType::Circle) {
    const qreal side = std::min(bounds.width(), bounds.height());
    bounds = QRectF(bounds.center().x() - side / 2, bounds.center().y() - side / 2, side, side);
  }
  const int bw = std::max(0, borderWidth_);
  // The border lies inside the bounds.
  const qreal inset = bw / 2.0;
  QRectF body = bounds.adjusted(inset, inset, -inset, -inset);
  if (bw == 1) body = bounds.adjusted(0.5, 0.5, -0.5, -0.5);
  if (bw > 0) {
    QPen pen(border_, bw);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
  } else {
    p.setPen(Qt::NoPen);
  }
  p.setBrush(fillShown_ ? QBrush(fill_) : QBrush(Qt::NoBrush));
  switch (type_) {
    case ShapeType::Rectangle:
    case ShapeType::Square: p.drawRect(body); break;
    case ShapeType::RoundedRectangle: {
      const qreal r = std::min(body.width(), body.height()) / 5;
      p.setRenderHint(QPainter::Antialiasing, true);
      p.drawRoundedRect(body, r, r);
      break;
    }
    case ShapeType::Oval:
    case ShapeType::Circle:
      p.setRenderHint(QPainter::Antialiasing, true);
      p.drawEllipse(body);
      break;
  }
}

// ---------------------------------------------------------------- LineView

LineView::LineView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineView::setLine(QPoint from, QPoint to, QColor color, int width) {
  from_ = from;
  to_ = to;
  color_ = color;
  width_ = width;
  update();
}

void LineView::paintEvent(QPaintEvent*) {
  if (width_ <= 0) return;
  QPainter p(this);
  QPen pen(color_, width_);
  pen.setCapStyle(Qt::FlatCap);
  p.setPen(pen);
  if (from_ == to_) {
    p.drawPoint(from_);
    return;
  }
  p.drawLine(from_, to_);
}

// ---------------------------------------------------------------- PictureView

PictureView::PictureView(QWidget* parent) : QWidget(parent) {}

void PictureView::setPicture(const std::string& name) {
  picture_ = name;
  update();
}

void PictureView::setBack(std::optional<QColor> back) {
  back_ = back;
  update();
}

void PictureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (back_) p.fillRect(rect(), *back_);
  PaintDrawing(p, rect(), picture_, isEnabled());
}

// ---------------------------------------------------------------- ButtonView

ButtonView::ButtonView(QWidget* parent) : QPushButton(parent) { setAutoDefault(false); }

void ButtonView::setCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update();
}

void ButtonView::setPicture(const std::string& name) {
  picture_ = name;
  update();
}

void ButtonView::setMultiLine(bool multiLine) {
  if (multiLine == multiLine_) return;
  multiLine_ = multiLine;
  update();
}

void ButtonView::setColors(std::optional<QColor> back, std::optional<QColor> fore) {
  back_ = back;
  fore_ = fore;
  update();
}

void ButtonView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  opt.text.clear();
  opt.icon = QIcon();
  opt.features &= ~QStyleOptionButton::HasMenu;
  if (back_) opt.palette.setColor(QPalette::Button, *back_);
  style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, this);
  QRect content = rect().adjusted(1, 1, -1, -1);
  if (isDown()) content.translate(1, 1);
  if (!picture_.empty()) {
    PaintDrawing(p, content.adjusted(2, 2, -2, -2), picture_, isEnabled());
  } else if (!caption_.isEmpty()) {
    QColor ink = isEnabled()
                     ? fore_.value_or(palette().color(QPalette::Active, QPalette::ButtonText))
                     : kDisabledInk;
    p.setPen(ink);
    p.setClipRect(content.adjusted(0, 0, 0, 1));
    layout_.Paint(p, caption_, font(), content, multiLine_ ? Wrap::CaptionMultiLine : Wrap::Caption,
                  Qt::AlignHCenter | Qt::AlignVCenter);
    p.setClipping(false);
  }
  if (hasFocus()) DrawFocusRect(*this, p, rect().adjusted(3, 3, -3, -3));
}

void ButtonView::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    event->accept();
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

// ---------------------------------------------------------------- TextLineView

TextLineView::TextLineView(QWidget* parent) : QLineEdit(parent) {
  setContextMenuPolicy(Qt::NoContextMenu);
  setDragEnabled(false);
  setTextMargins(0, 0, 0, 0);
}

void TextLineView::setCaret(int caret) {
  caret_ = caret;
  setCursorPosition(caret);
}

void TextLineView::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  deselect();
  setCursorPosition(caret_);
}

// ---------------------------------------------------------------- TextAreaView

TextAreaView::TextAreaView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setCursor(Qt::IBeamCursor);
}

void TextAreaView::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

void TextAreaView::setCaret(int caret) {
  if (caret == caret_) return;
  caret_ = caret;
  update();
}

void TextAreaView::setAlign(Align align) {
  align_ = align;
  update();
}

void TextAreaView::setLocked(bool locked) {
  locked_ = locked;
  update();
}

void TextAreaView::setColors(QColor back, QColor fore) {
  back_ = back;
  fore_ = fore;
  update();
}

void TextAreaView::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TextAreaView::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

QRect TextAreaView::textArea() const { return rect().adjusted(3, 2, -3, -2); }

std::vector<TextLine> TextAreaView::lines() const {
  return layout_.Lines(text_, font(), textArea().size(), Wrap::TextBox);
}

void TextAreaView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.rect = rect();
  frame.lineWidth = 1;
  frame.palette.setColor(QPalette::Base, back_);
  frame.state |= QStyle::State_Sunken;
  if (locked_) frame.state |= QStyle::State_ReadOnly;
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &p, this);

  const QRect area = textArea();
  p.setClipRect(area);
  p.setFont(font());
  p.setPen(isEnabled() ? fore_ : kDisabledInk);
  const QFontMetrics fm(font());
  const auto lines = this->lines();
  layout_.Paint(p, text_, font(), area, Wrap::TextBox, HorizontalAlign(align_) | Qt::AlignTop);
  if (!hasFocus() || locked_ || !isEnabled()) return;
  // The caret: on the line holding the position, after the characters before it.
  int row = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (caret_ >= lines[i].start) row = static_cast<int>(i);
  }
  const TextLine& line = lines[static_cast<size_t>(row)];
  const int lineWidth = TextWidth(fm, text_, line.start, line.length);
  int x = area.left();
  if (align_ == Align::Right) {
    x = area.right() + 1 - lineWidth;
  } else if (align_ == Align::Center) {
    x = area.left() + (area.width() - lineWidth) / 2;
  }
  x += TextWidth(fm, text_, line.start, std::max(0, caret_ - line.start));
  const int pitch = LinePitch(font());
  const int y = area.top() + row * pitch;
  p.setPen(fore_);
  p.drawLine(x, y + 1, x, y + pitch - 1);
}

int TextAreaView::positionAt(QPoint point) const {
  const QRect area = textArea();
  const QFontMetrics fm(font());
  const auto lines = this->lines();
  const int row = std::clamp((point.y() - area.top()) / std::max(1, LinePitch(font())), 0,
                             static_cast<int>(lines.size()) - 1);
  const TextLine& line = lines[static_cast<size_t>(row)];
  const int lineWidth = TextWidth(fm, text_, line.start, line.length);
  int x = area.left();
  if (align_ == Align::Right) {
    x = area.right() + 1 - lineWidth;
  } else if (align_ == Align::Center) {
    x = area.left() + (area.width() - lineWidth) / 2;
  }
  int best = line.start;
  int bestDistance = std::abs(point.x() - x);
  for (int n = 1; n <= line.length; ++n) {
    const int d = std::abs(point.x() - (x + TextWidth(fm, text_, line.start, n)));
    if (d < bestDistance) {
      bestDistance = d;
      best = line.start + n;
    }
  }
  return best;
}

}  // namespace eb::app
