// Text and font conversions between the window model and Qt.
#pragma once

#include <QFont>
#include <QString>
#include <string>

#include "window/control.h"

namespace eb::app {

// Model texts are bytes: UTF-8 when they form valid UTF-8, else Latin-1
// (typed characters are single bytes 32 … 255).
QString ToQString(const std::string& text);

// The model's font as a Qt font: "Arial" resolves to Liberation Sans, the
// metric-compatible face; sizes are
// points at the window's 96 pixels per inch, so the layout does not depend on
// the screen's resolution.
QFont ToQFont(const Font& font);

}  // namespace eb::app
