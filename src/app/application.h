// The look every run of the window shares: Fusion style and the window's
// default font (Liberation Sans, metric-compatible with Arial, 11 pixels).
#pragma once

class QApplication;
class QIcon;

namespace eb::app {

void ConfigureApplication(QApplication& app);

// The program's icon: the desktop theme's (as installed with the program),
// else the one built into the program.
QIcon AppIcon();

}  // namespace eb::app
