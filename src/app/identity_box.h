// The message box of a windowed run whose bridge identified no ZQM4417-2:
// what was tried, what went wrong and what to do, before the window closes.
#pragma once

#include <QMessageBox>
#include <memory>

#include "wiring/identity_report.h"

namespace eb::app {

// The box, not yet shown: a warning with an OK button, its text selectable
// so that the commands in it can be copied.
std::unique_ptr<QMessageBox> MakeIdentityBox(const IdentityReport& report,
                                             QWidget* parent = nullptr);

// Shows the box and returns once it is answered.
void ShowIdentityBox(const IdentityReport& report, QWidget* parent = nullptr);

}  // namespace eb::app
