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

// Width of text[start, start + length) as the window measures text: the sum
// of each character's advance in whole pixels, the way the platform the
// window was designed on advanced its text. Padded texts then line up as
// they were written: in the default font two digits and four spaces are
// exactly 24 pixels, one column of the stack overview, and the rows of the
// duty-cycle table break where their padding ends.
int TextWidth(const QFontMetrics& fm, const QString& text, int start = 0, int length = -1);

// Draws one line with its baseline starting at `origin`, each character
// advanced by its whole-pixel width (see TextWidth).
void DrawTextLine(QPainter& p, QPoint origin, const QString& line);

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

// Paints lines in `area` in the painter's font: horizontal alignment per
// line, vertical alignment of the block (top or centre).
void PaintLines(QPainter& p, const QString& text, const std::vector<TextLine>& lines,
                const QRect& area, Qt::Alignment align);

}  // namespace eb::app
