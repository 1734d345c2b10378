// The message box of a windowed run that identified no ZQM4417-2.
#include "app/identity_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

namespace eb::app {
namespace {

IdentityReport Report() {
  IdentityReport r;
  r.tried = "FTDI device vid 0403 pid 6001 index 0";
  r.wrong = "no permission to open FTDI device 0403:6001 (libftdi: usb_open() failed)";
  r.todo = {"install the udev rule <packaging/udev/60-eb2250-bridge.rules>",
            "or run with --simulate"};
  return r;
}

TEST(IdentityBox, SaysWhatWasTriedWhatWentWrongAndWhatToDo) {
  const IdentityReport report = Report();
  auto box = MakeIdentityBox(report);
  EXPECT_EQ(box->icon(), QMessageBox::Warning);
  EXPECT_EQ(box->windowTitle().toStdString(), "EB2250: no ZQM4417-2 found");
  EXPECT_EQ(box->text().toStdString(), report.BoxText());
  EXPECT_EQ(box->textFormat(), Qt::PlainText);  // "<...>" is shown, not taken for markup
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_NE(box->textInteractionFlags() & Qt::TextSelectableByMouse, 0);
}

TEST(IdentityBox, ShowingItWaitsForTheAnswer) {
  bool seen = false;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = box->text().toStdString() == Report().BoxText();
    box->button(QMessageBox::Ok)->click();
  });
  QElapsedTimer clock;
  clock.start();
  ShowIdentityBox(Report());
  EXPECT_TRUE(seen);
  EXPECT_GE(clock.elapsed(), 40);
}

}  // namespace
}  // namespace eb::app
