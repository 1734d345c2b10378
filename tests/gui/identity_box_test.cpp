// The message box of a windowed run that identified no ZQM4417-2.
#include "app/identity_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

namespace eb::app {
namespace {

TEST(IdentityBox, SaysWhatWasTriedWhatWentWrongAndWhatToDoAndWaitsForOk) {
  IdentityReport report;
  report.tried = "FTDI device vid 0403 pid 6001 index 0";
  report.wrong = "no permission to open FTDI device 0403:6001";
  report.todo = {"install the udev rule <packaging/udev/60-eb2250-bridge.rules>"};
  auto box = MakeIdentityBox(report);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_EQ(box->text().toStdString(), report.BoxText());
  EXPECT_EQ(box->textFormat(), Qt::PlainText);  // "<...>" is text, not markup
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);

  std::string shown;
  QTimer::singleShot(50, [&] {
    auto* open = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(open, nullptr);
    shown = open->text().toStdString();
    open->button(QMessageBox::Ok)->click();
  });
  ShowIdentityBox(report);  // returns once answered
  EXPECT_EQ(shown, report.BoxText());
}

}  // namespace
}  // namespace eb::app
