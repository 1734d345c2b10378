// The window's widgets driven like an operator would, against the control
// model of a Form1 on a fake bridge (nothing is identified; handlers under
// test are replaced by counters where the test needs to count).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_widgets.h"
#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/qt_text.h"
#include "gui/window_fixture.h"
#include "support/datalog_support.h"
#include "support/fakes.h"
#include "window/form1.h"

namespace eb::app {
namespace {

// Answers every open message box after `ms` milliseconds; the texts land in *texts.
void AnswerMessageBoxesAfter(int ms, std::vector<std::string>* texts) {
  QTimer::singleShot(ms, [texts] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box != nullptr && box->isVisible()) {
        texts->push_back(box->text().toStdString());
        box->done(QMessageBox::Ok);
      }
    }
  });
}

class WindowTest : public WindowFixture {
 protected:
  QColor PixelAt(int x, int y) { return window.view().grab().toImage().pixelColor(x, y); }
};

TEST_F(WindowTest, ClientAreaIsTheModelsSizeAndTitle) {
  EXPECT_EQ(window.view().size(), QSize(894, 572));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());  // fixed size
  EXPECT_EQ(window.width(), 894);
  EXPECT_EQ(window.windowTitle().toStdString(), form.ui.caption);
  EXPECT_EQ(window.view().grab().size(), QSize(894, 572));
}

TEST_F(WindowTest, OperatorClickOnCheckBoxRunsItsHandlerOnce) {
  Control& box = form.Check_AUTO;
  int clicks = 0;
  box.onClick = [&] { ++clicks; };
  auto* w = widget<QCheckBox>(box);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(box.value(), 0);

  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  EXPECT_EQ(box.value(), 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(w->isChecked());
  EXPECT_EQ(form.ui.focused(), &box);

  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  EXPECT_EQ(box.value(), 0);
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(w->isChecked());

  // Space on the focused box is an operator click too.
  QTest::keyClick(w, Qt::Key_Space);
  EXPECT_EQ(box.value(), 1);
  EXPECT_EQ(clicks, 3);
  EXPECT_TRUE(w->isChecked());
}

TEST_F(WindowTest, ChangeFromCodeShowsAfterSyncWithoutRunningTheHandlerAgain) {
  Control& box = form.Check_AUTO;
  int clicks = 0;
  box.onClick = [&] { ++clicks; };
  auto* w = widget<CheckView>(box);
  ASSERT_NE(w, nullptr);

  box.setValue(1);  // code: the model runs the handler once
  EXPECT_EQ(clicks, 1);
  box.caption = "AUTO RETRY";
  window.Sync();
  EXPECT_TRUE(w->isChecked());
  EXPECT_EQ(w->caption(), QStringLiteral("AUTO RETRY"));
  EXPECT_EQ(clicks, 1);
  window.Sync();
  EXPECT_EQ(clicks, 1);
}

TEST_F(WindowTest, CascadeFromAnOperatorClickShowsEveryChange) {
  Control& first = form.Check5[0];
  Control& second = form.Check5[1];
  int firstClicks = 0;
  int secondClicks = 0;
  first.onClick = [&] {
    ++firstClicks;
    second.setValue(1 - second.value());  // handlers re-enter one another
    form.Label_AUTOstatus.caption = "CASCADE";
  };
  second.onClick = [&] { ++secondClicks; };
  const int before = second.value();
  auto* w = widget<QCheckBox>(first);
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  EXPECT_EQ(firstClicks, 1);
  EXPECT_EQ(secondClicks, 1);
  EXPECT_EQ(second.value(), 1 - before);
  EXPECT_EQ(widget<QCheckBox>(second)->isChecked(), second.value() == 1);
  EXPECT_EQ(widget<LabelView>(form.Label_AUTOstatus)->text(), QStringLiteral("CASCADE"));
}

TEST_F(WindowTest, OptionButtonsFollowTheModelsExclusivity) {
  Control& a = form.Option2[0];
  Control& b = form.Option2[1];
  int clicks = 0;
  b.onClick = [&] { ++clicks; };
  a.onClick = nullptr;
  ASSERT_EQ(a.value(), 1);
  auto* wa = widget<QRadioButton>(a);
  auto* wb = widget<QRadioButton>(b);
  ASSERT_FALSE(wb->autoExclusive());

  QTest::mouseClick(wb, Qt::LeftButton, {}, wb->rect().center());
  EXPECT_EQ(b.value(), 1);
  EXPECT_EQ(a.value(), 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(wb->isChecked());
  EXPECT_FALSE(wa->isChecked());
  // Clicking the selected option changes nothing and runs nothing.
  QTest::mouseClick(wb, Qt::LeftButton, {}, wb->rect().center());
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(wb->isChecked());
}

TEST_F(WindowTest, ComboChoiceGoesThroughTheModel) {
  Control& combo = form.Combo2;
  int clicks = 0;
  combo.onClick = [&] { ++clicks; };
  auto* w = widget<QComboBox>(combo);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->count(), 16);
  // The box starts on the entry its text names (it has no list index yet).
  const int start = w->currentIndex();
  ASSERT_EQ(w->currentText().toStdString(), combo.text);
  QTest::keyClick(w, Qt::Key_Down);
  EXPECT_EQ(combo.listIndex(), start + 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(w->currentIndex(), start + 1);
  EXPECT_EQ(w->currentText().toStdString(), combo.text);

  combo.setListIndex(10);  // from code: handler once, shown after sync
  window.Sync();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(w->currentText(), QStringLiteral("A"));
  // Text put there by code that is no entry of the list is shown as it is.
  combo.text = "?";
  window.Sync();
  EXPECT_EQ(w->currentIndex(), -1);
  EXPECT_EQ(w->placeholderText(), QStringLiteral("?"));
  EXPECT_EQ(clicks, 2);
}

TEST_F(WindowTest, KeysInATextBoxGoThroughTheKeyHandler) {
  Control& box = form.Text2[0];
  std::vector<int> keys;
  box.onKeyPress = [&](int key) {
    keys.push_back(key);
    return key == 'x' ? 0 : key;  // the handler drops "x"
  };
  box.onGotFocus = nullptr;
  box.onLostFocus = nullptr;
  box.text.clear();
  box.caret = 0;
  window.Sync();
  auto* line = widget<QLineEdit>(box);
  ASSERT_NE(line, nullptr);

  QTest::mouseClick(line, Qt::LeftButton, {}, line->rect().center());
  EXPECT_EQ(form.ui.focused(), &box);
  QTest::keyClicks(line, "3.x6");
  EXPECT_EQ(box.text, "3.6");
  EXPECT_EQ(line->text(), QStringLiteral("3.6"));
  QTest::keyClick(line, Qt::Key_Backspace);
  EXPECT_EQ(box.text, "3.");
  QTest::keyClick(line, Qt::Key_Left);
  EXPECT_EQ(box.caret, 1);
  QTest::keyClicks(line, "5");
  EXPECT_EQ(box.text, "35.");
  EXPECT_EQ(line->text(), QStringLiteral("35."));
  EXPECT_EQ(line->cursorPosition(), 2);
  QTest::keyClick(line, Qt::Key_Return);
  EXPECT_EQ(box.text, "35.");  // single line: Enter inserts nothing
  const std::vector<int> expected{'3', '.', 'x', '6', 8, '5', 13};
  EXPECT_EQ(keys, expected);

  // A display-only box takes no typing.
  Control& locked = form.Text1[0];
  const std::string before = locked.text;
  auto* lockedLine = widget<QLineEdit>(locked);
  QTest::keyClicks(lockedLine, "99");
  EXPECT_EQ(locked.text, before);
  EXPECT_EQ(lockedLine->text().toStdString(), before);
}

TEST_F(WindowTest, FocusMovesBetweenModelAndWindow) {
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  std::vector<std::string> events;
  Control& a = form.Command1[0];
  Control& b = form.Command1[1];
  a.onLostFocus = [&] { events.push_back("lost a"); };
  b.onGotFocus = [&] { events.push_back("got b"); };

  // Moved by code: the window follows.
  form.ui.setFocus(a);
  window.Sync();
  EXPECT_EQ(window.focusWidget(), window.view().widgetFor(a));
  EXPECT_TRUE(events.empty());

  // Moved by the operator (Tab): the model runs lost and got focus.
  QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(form.ui.focused(), &b);
  EXPECT_EQ(window.focusWidget(), window.view().widgetFor(b));
  EXPECT_EQ(events, (std::vector<std::string>{"lost a", "got b"}));

  // Tabbing into a text box neither selects its text nor moves the caret.
  Control& from = form.Text2[0];
  Control& into = form.Text2[1];
  for (Control* box : {&from, &into}) {
    box->onGotFocus = nullptr;
    box->onLostFocus = nullptr;
  }
  into.text = "4.200V ";
  into.caret = 2;
  form.ui.setFocus(from);
  window.Sync();
  QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(form.ui.focused(), &into);
  auto* line = widget<QLineEdit>(into);
  EXPECT_EQ(window.focusWidget(), line);
  EXPECT_FALSE(line->hasSelectedText());
  EXPECT_EQ(line->cursorPosition(), 2);
}

TEST_F(WindowTest, TicksAreDroppedWhileAHandlerRuns) {
  int ticks = 0;
  form.Timer1.onClick = [&] { ++ticks; };
  form.Timer1.enabled = true;
  form.Timer1.interval = 100;
  window.Sync();
  ASSERT_TRUE(window.timer().isActive());

  Control& button = form.Command1[0];
  int ticksDuringHandler = -1;
  bool closedDuringHandler = false;
  std::vector<std::string> answered;
  button.onClick = [&] {
    window.Tick();  // a tick arriving now must not enter
    AnswerMessageBoxesAfter(450, &answered);
    form.MsgBox("busy");  // modal: a nested event loop, the timer fires meanwhile
    ticksDuringHandler = ticks;
    closedDuringHandler = window.closed();
  };
  const long droppedBefore = window.gate().dropped();
  auto* w = widget<QPushButton>(button);
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  EXPECT_EQ(answered, std::vector<std::string>{"busy"});
  EXPECT_EQ(ticksDuringHandler, 0);
  EXPECT_FALSE(closedDuringHandler);
  EXPECT_GE(window.gate().dropped() - droppedBefore, 2);  // the direct tick and timer ticks

  QTest::qWait(350);
  EXPECT_GT(ticks, 0);  // the timer runs again once the handler has returned

  form.Timer1.enabled = false;
  window.Sync();
  EXPECT_FALSE(window.timer().isActive());
}

TEST_F(WindowTest, UnloadClosesTheWindowAfterTheHandlerReturns) {
  Control& button = form.Command1[0];
  bool visibleAfterUnload = false;
  button.onClick = [&] {
    form.UnloadMe();
    visibleAfterUnload = window.isVisible() && !window.closed();
  };
  form.Timer1.enabled = true;
  window.Sync();
  auto* w = widget<QPushButton>(button);
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
  EXPECT_TRUE(visibleAfterUnload);
  EXPECT_TRUE(window.closed());
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.timer().isActive());
}

TEST_F(WindowTest, ShapeFillAndBorderRender) {
  for (Control* c : form.ui.controls()) c->visible = false;
  Control& lamp = form.Shape3;
  lamp.visible = true;
  lamp.left = 100;
  lamp.top = 100;
  lamp.width = 60;
  lamp.height = 40;
  lamp.shape = ShapeType::Rectangle;
  lamp.fill = 0x00FF00;
  lamp.fillShown = true;
  lamp.border = 0x0000FF;
  lamp.borderWidth = 3;
  window.Sync();
  EXPECT_EQ(PixelAt(130, 120), QColor(0x00, 0xFF, 0x00));
  EXPECT_EQ(PixelAt(101, 101), QColor(0x00, 0x00, 0xFF));
  EXPECT_EQ(PixelAt(158, 138), QColor(0x00, 0x00, 0xFF));
  EXPECT_EQ(PixelAt(98, 98), QColor(0xC0, 0xC0, 0xC0));

  lamp.fill = 0xFF0000;
  window.Sync();
  EXPECT_EQ(PixelAt(130, 120), QColor(0xFF, 0x00, 0x00));
  lamp.fillShown = false;  // transparent: the window shows through
  window.Sync();
  EXPECT_EQ(PixelAt(130, 120), QColor(0xC0, 0xC0, 0xC0));
  lamp.visible = false;
  window.Sync();
  EXPECT_EQ(PixelAt(101, 101), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(WindowTest, LabelsShowTheirBackColourAndCaption) {
  for (Control* c : form.ui.controls()) c->visible = false;
  Control& label = form.Label21;
  label.visible = true;
  label.caption = "";
  label.back = 0x800000;
  window.Sync();
  EXPECT_EQ(PixelAt(label.left + 2, label.top + 2), QColor(0x80, 0x00, 0x00));
  label.back.reset();  // transparent
  window.Sync();
  EXPECT_EQ(PixelAt(label.left + 2, label.top + 2), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(WindowTest, LightweightControlsLieBelowWindowedOnes) {
  // A shape placed over a button is drawn under it, whatever the creation order.
  Control& button = form.Command1[0];
  Control& shape = form.Shape3;
  shape.left = button.left;
  shape.top = button.top;
  shape.width = button.width;
  shape.height = button.height;
  shape.fill = 0x00FF00;
  shape.fillShown = true;
  window.Sync();
  const QColor middle = PixelAt(button.left + 3, button.top + button.height / 2);
  EXPECT_NE(middle, QColor(0x00, 0xFF, 0x00));
}

TEST_F(WindowTest, KeptCaptionLayoutsPaintExactlyAsFreshOnes) {
  // Captions and texts are laid out once and kept; a change must lay them
  // out again, and going back must give the very same pixels.
  window.Sync();
  const QImage first = window.view().grab().toImage();
  std::vector<std::pair<Control*, std::string>> saved;
  for (Control* c : form.ui.controls()) {
    if (!c->caption.empty()) saved.emplace_back(c, c->caption);
    c->caption = c->caption.empty() ? c->caption : c->caption + " x";
    if (!c->text.empty() && c->kind != Kind::ComboBox) c->text += " x";
  }
  window.Sync();
  const QImage changed = window.view().grab().toImage();
  EXPECT_NE(changed, first);
  for (Control* c : form.ui.controls()) {
    if (!c->text.empty() && c->kind != Kind::ComboBox) c->text.resize(c->text.size() - 2);
  }
  for (auto& [c, caption] : saved) c->caption = caption;
  window.Sync();
  EXPECT_EQ(window.view().grab().toImage(), first);
}

TEST_F(WindowTest, SyncIsCheap) {
  double worstUnchanged = 0;
  for (int i = 0; i < 50; ++i) {
    window.Sync();
    worstUnchanged = std::max(worstUnchanged, window.view().lastSyncMicros());
  }
  // A busy tick: every cell lamp, every reading and a few captions change.
  for (int i = 0; i < 120; ++i) {
    form.Shape1[i].fill = (i % 2) != 0 ? 0x00FF00 : 0xFFFF00;
    form.Shape1[i].borderWidth = 2;
  }
  for (int c = 0; c < 12; ++c) form.Text1[c].text = " 3.6" + std::to_string(c) + "V  ";
  form.Label_AUTOstatus.caption = "CONTINUOUS READ";
  window.Sync();
  const double busy = window.view().lastSyncMicros();
  std::cout << "[ sync     ] unchanged model: " << worstUnchanged
            << " us (worst of 50); busy tick: " << busy << " us; " << form.ui.controls().size()
            << " controls\n";
  EXPECT_LT(worstUnchanged, 5000.0);
  EXPECT_LT(busy, 5000.0);
}

TEST_F(WindowTest, DatalogSetupSuggestsTheFolderAndShowsTheNameWritten) {
  test::ScratchDir dir;
  window.SetDatalogFolder(dir.path());
  QString suggested, written;
  QTimer::singleShot(50, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("datalogFile"));
    auto* shown = dialog->findChild<QLabel*>(QStringLiteral("datalogWritten"));
    ASSERT_TRUE(file != nullptr && shown != nullptr);
    suggested = file->text();
    file->setText(ToQString(dir / "run1.xls"));
    written = shown->text();
    dialog->reject();
  });
  window.menuBar()->actions().at(1)->menu()->actions().at(0)->trigger();  // Datalog > Setup…
  EXPECT_EQ(suggested.toStdString(), dir / "eb2250_datalog.xlsx");
  EXPECT_EQ(written.toStdString(), "Written as: " + dir / "run1.xlsx");
}

TEST(WindowBuild, BuildsQuickly) {
  QElapsedTimer clock;
  clock.start();
  test::FakeBridge bridge;
  std::ostringstream log;
  QtPlatform platform(QtPlatform::Boxes::AnswerAtOnce, log);
  Form1 form(bridge, platform);
  MainWindow window(form);
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  std::cout << "[ build    ] model and window with " << form.ui.controls().size()
            << " controls: " << ms << " ms; first full sync " << window.view().maxSyncMicros()
            << " us\n";
  EXPECT_LT(ms, 1000.0);
}

TEST(QtPlatformTest, AnswersBoxesAtOnceWhenTold) {
  std::ostringstream log;
  QtPlatform platform(QtPlatform::Boxes::AnswerAtOnce, log);
  platform.MsgBox("VUV must be less than VOV");
  EXPECT_EQ(log.str(), "eb2250-gui: message box: VUV must be less than VOV\n");
  EXPECT_EQ(platform.boxes(), 1);
  EXPECT_FALSE(platform.AppDirectory().empty());
}

}  // namespace
}  // namespace eb::app

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
