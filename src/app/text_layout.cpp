#include "app/text_layout.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <map>

namespace eb::app {

namespace {

int Advance(const QFontMetrics& fm, const QString& text, int start, int length) {
  return TextWidth(fm, text, start, length);
}

// The glyphs of a font without shaping, kept per font: building them is far
// dearer than drawing a line.
const QRawFont& RawFontOf(const QFont& font) {
  static std::map<QString, QRawFont> cache;
  const QString key = font.key();
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, QRawFont::fromFont(font)).first;
  return it->second;
}

// The end of the line starting at lineStart (before end): the line grows
// word by word while it fits in width. A first word alone too wide is cut
// where it stops fitting (breakLongWords) or taken whole.
int FitLine(const QString& text, int lineStart, int end, const QFontMetrics& fm, int width,
            bool breakLongWords) {
  int fitEnd = -1;  // end of the last word that fits
  int i = lineStart;
  while (i < end) {
    // Skip spaces, then take one word.
    int wordEnd = i;
    while (wordEnd < end && text.at(wordEnd) == QLatin1Char(' ')) ++wordEnd;
    while (wordEnd < end && text.at(wordEnd) != QLatin1Char(' ')) ++wordEnd;
    if (Advance(fm, text, lineStart, wordEnd - lineStart) > width && fitEnd >= 0) break;
    if (Advance(fm, text, lineStart, wordEnd - lineStart) > width) {
      // The first word alone is too wide.
      if (breakLongWords) {
        int n = 1;
        while (lineStart + n < wordEnd && Advance(fm, text, lineStart, n + 1) <= width) ++n;
        fitEnd = lineStart + n;
      } else {
        fitEnd = wordEnd;
      }
      break;
    }
    fitEnd = wordEnd;
    i = wordEnd;
  }
  return fitEnd;
}

// Breaks one paragraph [begin, end) of the text.
void BreakParagraph(const QString& text, int begin, int end, const QFontMetrics& fm, int width,
                    bool wrap, bool breakLongWords, std::vector<TextLine>* out) {
  auto trimmedLength = [&](int start, int stop) {
    int n = stop - start;
    while (n > 0 && text.at(start + n - 1) == QLatin1Char(' ')) --n;
    return n;
  };
  if (!wrap) {
    out->push_back({begin, trimmedLength(begin, end)});
    return;
  }
  int lineStart = begin;
  while (true) {
    if (lineStart >= end) {
      if (out->empty() || lineStart == begin) out->push_back({lineStart, 0});
      return;
    }
    int fitEnd = FitLine(text, lineStart, end, fm, width, breakLongWords);
    if (fitEnd < 0) fitEnd = end;
    out->push_back({lineStart, trimmedLength(lineStart, fitEnd)});
    // The spaces at the break vanish.
    int next = fitEnd;
    while (next < end && text.at(next) == QLatin1Char(' ')) ++next;
    if (next >= end) return;
    lineStart = next;
  }
}

}  // namespace

int TextWidth(const QFontMetrics& fm, const QString& text, int start, int length) {
  const int end = length < 0 ? static_cast<int>(text.size())
                             : std::min(static_cast<int>(text.size()), start + length);
  int width = 0;
  for (int i = std::max(0, start); i < end; ++i) width += fm.horizontalAdvance(text.at(i));
  return width;
}

namespace {

// The glyph run of one line on whole-pixel advances, or an empty run when
// the font has no glyph for one of its characters.
QGlyphRun GlyphsOf(const QFont& font, const QString& line) {
  const QRawFont& raw = RawFontOf(font);
  if (!raw.isValid() || line.isEmpty()) return {};
  const QList<quint32> glyphs = raw.glyphIndexesForString(line);
  if (glyphs.size() != line.size() || std::find(glyphs.begin(), glyphs.end(), 0u) != glyphs.end()) {
    return {};
  }
  const QFontMetrics fm(font);
  QList<QPointF> positions;
  positions.reserve(line.size());
  int x = 0;
  for (QChar c : line) {
    positions.append(QPointF(x, 0));
    x += fm.horizontalAdvance(c);
  }
  QGlyphRun run;
  run.setRawFont(raw);
  run.setGlyphIndexes(glyphs);
  run.setPositions(positions);
  return run;
}

void DrawLine(QPainter& p, QPoint origin, const QString& line, const QGlyphRun& run) {
  if (line.isEmpty()) return;
  if (!run.glyphIndexes().isEmpty()) {
    p.drawGlyphRun(origin, run);
    return;
  }
  // Characters the font has no glyph for: let the painter find a font that
  // has them, still on whole-pixel advances.
  const QFontMetrics fm(p.font());
  int x = 0;
  for (QChar c : line) {
    p.drawText(origin + QPoint(x, 0), QString(c));
    x += fm.horizontalAdvance(c);
  }
}

}  // namespace

int LinePitch(const QFont& font) {
  const int height = QFontMetrics(font).height();
  const int px = font.pixelSize();
  if (px <= 0) return height;
  return std::max(height, static_cast<int>(std::lround(px * 1.15)) + 1);
}

std::vector<TextLine> BreakLines(const QString& text, const QFontMetrics& fm, int width, bool wrap,
                                 bool breakLongWords) {
  std::vector<TextLine> lines;
  int begin = 0;
  while (true) {
    const int stop = static_cast<int>(text.indexOf(QLatin1Char('\n'), begin));
    const int end = stop < 0 ? static_cast<int>(text.size()) : stop;
    std::vector<TextLine> para;
    BreakParagraph(text, begin, end, fm, width, wrap, breakLongWords, &para);
    lines.insert(lines.end(), para.begin(), para.end());
    if (stop < 0) break;
    begin = stop + 1;
  }
  return lines;
}

std::vector<TextLine> CaptionLines(const QString& text, const QFont& font, const QRect& area,
                                   bool multiLine) {
  const QFontMetrics fm(font);
  std::vector<TextLine> single = BreakLines(text, fm, area.width(), false, false);
  if (multiLine) return BreakLines(text, fm, area.width(), true, false);
  bool tooWide = false;
  for (const auto& line : single) {
    if (Advance(fm, text, line.start, line.length) > area.width()) tooWide = true;
  }
  if (!tooWide) return single;
  std::vector<TextLine> wrapped = BreakLines(text, fm, area.width(), true, false);
  if (static_cast<int>(wrapped.size()) * LinePitch(font) <= area.height()) return wrapped;
  return single;
}

const std::vector<TextLine>& TextLayout::Lines(const QString& text, const QFont& font, QSize area,
                                               Wrap wrap) {
  if (valid_ && text == text_ && font == font_ && area == area_ && wrap == wrap_) return lines_;
  valid_ = true;
  text_ = text;
  font_ = font;
  area_ = area;
  wrap_ = wrap;
  const QFontMetrics fm(font);
  switch (wrap) {
    case Wrap::TextBox: lines_ = BreakLines(text, fm, area.width(), true, true); break;
    case Wrap::CaptionMultiLine:
      lines_ = CaptionLines(text, font, QRect(QPoint(), area), true);
      break;
    case Wrap::Caption: lines_ = CaptionLines(text, font, QRect(QPoint(), area), false); break;
  }
  widths_.clear();
  runs_.clear();
  for (const TextLine& line : lines_) {
    const QString shown = text.mid(line.start, line.length);
    widths_.push_back(TextWidth(fm, shown));
    runs_.push_back(GlyphsOf(font, shown));
  }
  return lines_;
}

void TextLayout::Paint(QPainter& p, const QString& text, const QFont& font, const QRect& area,
                       Wrap wrap, Qt::Alignment align) {
  Lines(text, font, area.size(), wrap);
  p.setFont(font);
  const QFontMetrics fm(font);
  const int lineHeight = LinePitch(font);
  int y = area.top();
  if (align & Qt::AlignVCenter) {
    y = area.top() + (area.height() - lineHeight * static_cast<int>(lines_.size())) / 2;
  }
  const int baseline = (lineHeight - fm.height() + 1) / 2 + fm.ascent();
  for (size_t i = 0; i < lines_.size(); ++i) {
    const int w = widths_[i];
    int x = area.left();
    if (align & Qt::AlignRight) {
      x = area.right() + 1 - w;
    } else if (align & Qt::AlignHCenter) {
      x = area.left() + (area.width() - w) / 2;
    }
    DrawLine(p, QPoint(x, y + baseline), text.mid(lines_[i].start, lines_[i].length), runs_[i]);
    y += lineHeight;
  }
}

}  // namespace eb::app
