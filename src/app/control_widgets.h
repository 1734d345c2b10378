// Widgets that paint the controls of the window. They only show what they are
// given; operator input is forwarded by FormView, never acted on here.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStyleOptionButton>
#include <QWidget>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/text_layout.h"
#include "window/control.h"

namespace eb::app {

QColor ToQColor(Rgb rgb);

// A frame: etched outline with the caption set into its top edge. Opaque in
// its back colour (or the colour of what lies behind when it has none).
class FrameBox : public QWidget {
  Q_OBJECT
 public:
  explicit FrameBox(QWidget* parent);
  void setCaption(const QString& caption);
  void setColors(std::optional<QColor> back, std::optional<QColor> fore);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  std::optional<QColor> back_, fore_;
};

// A label: word-wrapped text from the top edge; transparent unless it has a
// back colour.
class LabelView : public QWidget {
  Q_OBJECT
 public:
  explicit LabelView(QWidget* parent);
  void setText(const QString& text);
  void setAlign(Align align);
  void setMultiLine(bool multiLine);
  void setColors(std::optional<QColor> back, std::optional<QColor> fore);
  const QString& text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  Align align_ = Align::Left;
  bool multiLine_ = false;
  std::optional<QColor> back_, fore_;
  TextLayout layout_;
};

// A shape: rectangle, square, oval, circle or rounded rectangle with its
// border inside the bounds and a solid or transparent fill.
class ShapeView : public QWidget {
  Q_OBJECT
 public:
  explicit ShapeView(QWidget* parent);
  void setLook(ShapeType type, QColor fill, bool fillShown, QColor border, int borderWidth);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ShapeType type_ = ShapeType::Rectangle;
  QColor fill_ = Qt::white;
  bool fillShown_ = false;
  QColor border_ = Qt::black;
  int borderWidth_ = 1;
};

// A straight line between two points of the widget.
class LineView : public QWidget {
  Q_OBJECT
 public:
  explicit LineView(QWidget* parent);
  void setLine(QPoint from, QPoint to, QColor color, int width);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPoint from_, to_;
  QColor color_ = Qt::black;
  int width_ = 1;
};

// A picture box or image: one of our drawings over an optional back colour.
class PictureView : public QWidget {
  Q_OBJECT
 public:
  explicit PictureView(QWidget* parent);
  void setPicture(const std::string& name);
  void setBack(std::optional<QColor> back);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string picture_;
  std::optional<QColor> back_;
};

// A command button: raised bevel, caption word-wrapped and centred, or one
// of our drawings for picture buttons. Enter clicks it like Space.
class ButtonView : public QPushButton {
  Q_OBJECT
 public:
  explicit ButtonView(QWidget* parent);
  void setCaption(const QString& caption);
  void setPicture(const std::string& name);
  void setMultiLine(bool multiLine);
  void setColors(std::optional<QColor> back, std::optional<QColor> fore);
  const QString& caption() const { return caption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString caption_;
  bool multiLine_ = false;
  std::string picture_;
  std::optional<QColor> back_, fore_;
  TextLayout layout_;
};

// Paints a check box or option button: indicator at the left edge, caption
// beside it.
void PaintCheckLike(QWidget& w, QStyleOptionButton opt, bool radio, const QString& caption,
                    bool multiLine, const std::optional<QColor>& back,
                    const std::optional<QColor>& fore, TextLayout& layout);

// Check box and option button. The shown value comes from the model only: a
// click emits clicked() but leaves the shown state alone.
template <class Button>
class CheckLikeView : public Button {
 public:
  explicit CheckLikeView(QWidget* parent) : Button(parent) {}
  void setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    this->update();
  }
  const QString& caption() const { return caption_; }
  void setMultiLine(bool multiLine) {
    if (multiLine == multiLine_) return;
    multiLine_ = multiLine;
    this->update();
  }
  void setColors(std::optional<QColor> back, std::optional<QColor> fore) {
    back_ = back;
    fore_ = fore;
    this->update();
  }

 protected:
  void nextCheckState() override {}
  bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
  void paintEvent(QPaintEvent*) override {
    QStyleOptionButton opt;
    this->initStyleOption(&opt);
    PaintCheckLike(*this, opt, std::is_same_v<Button, QRadioButton>, caption_, multiLine_, back_,
                   fore_, layout_);
  }

 private:
  QString caption_;
  bool multiLine_ = false;
  TextLayout layout_;
  std::optional<QColor> back_, fore_;
};

class CheckView : public CheckLikeView<QCheckBox> {
  Q_OBJECT
 public:
  explicit CheckView(QWidget* parent) : CheckLikeView(parent) {}
};

class OptionView : public CheckLikeView<QRadioButton> {
  Q_OBJECT
 public:
  explicit OptionView(QWidget* parent) : CheckLikeView(parent) { setAutoExclusive(false); }
};

// A single-line text box. It shows the model's text and caret; getting the
// focus neither selects the text nor moves the caret.
class TextLineView : public QLineEdit {
  Q_OBJECT
 public:
  explicit TextLineView(QWidget* parent);
  void setCaret(int caret);  // position in the shown text

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  int caret_ = 0;
};

// A multi-line text box: sunken panel, text broken into lines at spaces,
// the caret drawn where the model has it while the box has the focus. It
// never edits its text itself.
class TextAreaView : public QWidget {
  Q_OBJECT
 public:
  explicit TextAreaView(QWidget* parent);
  void setText(const QString& text);
  void setCaret(int caret);  // position in the shown text
  void setAlign(Align align);
  void setLocked(bool locked);
  void setColors(QColor back, QColor fore);
  const QString& text() const { return text_; }
  // Position in the shown text nearest to a point of the widget.
  int positionAt(QPoint point) const;
  // The shown text broken into lines, and the area they are laid out in.
  std::vector<TextLine> lines() const;
  QRect textArea() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QString text_;
  int caret_ = 0;
  Align align_ = Align::Left;
  bool locked_ = false;
  mutable TextLayout layout_;
  QColor back_ = Qt::white;
  QColor fore_ = Qt::black;
};

}  // namespace eb::app
