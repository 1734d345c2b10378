#include "app/qt_text.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>

namespace eb::app {

QString ToQString(const std::string& text) {
  bool ascii = true;
  for (unsigned char ch : text) {
    if (ch >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QFont ToQFont(const Font& font) {
  QString family = QString::fromStdString(font.name);
  const QString lower = family.toLower();
  if (lower == "arial" || lower.isEmpty()) {
    family = QStringLiteral("Liberation Sans");
  }
  QFont f(family);
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(font.size * 96.0 / 72.0))));
  f.setBold(font.bold);
  return f;
}

}  // namespace eb::app
