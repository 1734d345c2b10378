// The look every run of the window shares: Fusion style and the window's
// default font (Liberation Sans, metric-compatible with Arial, 11 pixels).
#pragma once

class QApplication;

namespace eb::app {

void ConfigureApplication(QApplication& app);

}  // namespace eb::app
