// Line breaking of captions and multi-line text boxes the way the window's
// controls always broke them: only at spaces (the spaces at a break vanish),
// at explicit line breaks, and, in text boxes only, inside a word that is
// wider than the whole line.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace eb::app {

struct TextLine {
  int start = 0;   // index of the first character in the text
  int length = 0;  // characters shown on the line (trailing spaces excluded)
};

// Width of text[start, start + length) as the window measures text: the sum
// of each character's advance in whole pixels, the way the platform the
// window was designed on advanced its text. Padded texts then line up as
// they were written: in the default font two digits and four spaces are
// exactly 24 pixels, one column of the stack overview, and the rows of the
// duty-cycle table break where their padding ends.
int TextWidth(const QFontMetrics& fm, const QString& text, int start = 0, int length = -1);

// Distance from one line of text to the next: the height of the window's
// font (1.15 times its pixel size) and one pixel more (14 pixels for the
// 11-pixel default font, 23 for the 19-pixel board caption), never less than
// the font's own height here. The window's multi-line captions are laid out
// on this pitch.
int LinePitch(const QFont& font);

// Lines of `text` ("\n" breaks) within `width` pixels. With `wrap` false
// only the explicit breaks count.
std::vector<TextLine> BreakLines(const QString& text, const QFontMetrics& fm, int width, bool wrap,
                                 bool breakLongWords);

// How a caption is laid out in its control: wrapped when the control is
// multi-line, or when the caption is too wide and its wrapped lines fit the
// height; otherwise on one line, clipped.
std::vector<TextLine> CaptionLines(const QString& text, const QFont& font, const QRect& area,
                                   bool multiLine);

// How a text is broken into lines: as a caption (see CaptionLines), as a
// caption of a multi-line control, or as a multi-line text box (which also
// breaks a word wider than the line).
enum class Wrap { Caption, CaptionMultiLine, TextBox };

// A text laid out once and painted many times. The lines, their widths and
// their glyphs are kept until the text, the font, the width or height of the
// area, or the wrapping changes; a repaint of an unchanged caption only
// draws. Each widget keeps one.
class TextLayout {
 public:
  const std::vector<TextLine>& Lines(const QString& text, const QFont& font, QSize area, Wrap wrap);
  // Paints the lines in `area` with the painter's pen; horizontal alignment
  // per line, vertical alignment of the block (top or centre).
  void Paint(QPainter& p, const QString& text, const QFont& font, const QRect& area, Wrap wrap,
             Qt::Alignment align);
  // Width in pixels of line `i` of the current layout.
  int LineWidth(size_t i) const { return widths_[i]; }

 private:
  bool valid_ = false;
  QString text_;
  QFont font_;
  QSize area_;
  Wrap wrap_ = Wrap::Caption;
  std::vector<TextLine> lines_;
  std::vector<int> widths_;
  std::vector<QGlyphRun> runs_;  // per line; empty when the font lacks a glyph
};

}  // namespace eb::app
