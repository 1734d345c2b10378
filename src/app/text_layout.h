// Line breaking of captions and multi-line text boxes the way the window's
// controls always broke them: only at spaces (the spaces at a break vanish),
// at explicit line breaks, and, in text boxes only, inside a word that is
// wider than the whole line.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;

namespace eb::app {

struct TextLine {
  int start = 0;   // index of the first character in the text
  int length = 0;  // characters shown on the line (trailing spaces excluded)
};

// Distance from one line of text to the next: a quarter of the font's pixel
// size more than the size (14 pixels for the 11-pixel default font), never
// less than the font's own height. The window's multi-line captions are laid
// out on this pitch.
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

// Paints lines in `area` in the painter's font: horizontal alignment per
// line, vertical alignment of the block (top or centre).
void PaintLines(QPainter& p, const QString& text, const std::vector<TextLine>& lines,
                const QRect& area, Qt::Alignment align);

}  // namespace eb::app
