// The small pictures of the window, drawn with QPainter: the logo, the board
// marker above the stack overview and the arrows of the picture buttons.
#pragma once

#include <string>

class QPainter;
class QRect;

namespace eb::app {

// Draws picture `name` ("logo", "marker", "arrow-up", "arrow-down") scaled
// into `area`. Unknown names draw nothing and return false. `enabled` false
// draws the picture greyed.
bool PaintDrawing(QPainter& painter, const QRect& area, const std::string& name, bool enabled);

}  // namespace eb::app
