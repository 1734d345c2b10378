// A main window showing the control model of a Form1 on a fake bridge
// (nothing identified), exposed in Qt's offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <sstream>

#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "support/fakes.h"
#include "window/form1.h"

namespace eb::app {

class WindowFixture : public ::testing::Test {
 protected:
  WindowFixture() {
    platform.Attach(&window);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  template <typename W>
  W* widget(const Control& c) {
    return qobject_cast<W*>(window.view().widgetFor(c));
  }

  test::FakeBridge bridge;
  std::ostringstream log;
  QtPlatform platform{QtPlatform::Boxes::Ask, log};
  Form1 form{bridge, platform};
  MainWindow window{form};
};

}  // namespace eb::app
