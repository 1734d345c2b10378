#include "app/identity_box.h"

#include "app/qt_text.h"

namespace eb::app {

std::unique_ptr<QMessageBox> MakeIdentityBox(const IdentityReport& report, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Warning,
                                           QStringLiteral("EB2250: no ZQM4417-2 found"),
                                           ToQString(report.BoxText()), QMessageBox::Ok, parent);
  box->setDefaultButton(QMessageBox::Ok);
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return box;
}

void ShowIdentityBox(const IdentityReport& report, QWidget* parent) {
  MakeIdentityBox(report, parent)->exec();
}

}  // namespace eb::app
