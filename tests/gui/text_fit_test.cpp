// Texts the window lays out by pixels: the padded rows of the duty-cycle
// table, the vertical board caption behind the board number, the address
// row over the lamps, the one-line button captions and the
// temperature-channel captions beside Frame2.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <sstream>

#include "app/control_widgets.h"
#include "app/form_view.h"
#include "app/main_window.h"
#include "app/qt_platform.h"
#include "app/qt_text.h"
#include "gui/window_fixture.h"
#include "support/fakes.h"
#include "window/form1.h"

namespace eb::app {
namespace {

using TextFit = WindowFixture;

TEST_F(TextFit, EveryDutyCycleRowFillsOneLineOfItsBox) {
  auto* box = widget<TextAreaView>(form.Text3);
  ASSERT_NE(box, nullptr);
  const QFontMetrics fm(box->font());
  for (int cdc = 0; cdc <= 7; ++cdc) {
    SCOPED_TRACE("CDC " + std::to_string(cdc));
    form.CDCreg[0] = static_cast<I16>(cdc);
    form.DISPLAY_CDC_EB2250();
    window.Sync();
    const QString text = box->text();
    // The first row ends in "| ", the second begins with "|"; no row holds
    // "| |" inside itself.
    const int secondRow = static_cast<int>(text.indexOf(QStringLiteral("| |"))) + 2;
    ASSERT_GT(secondRow, 2);
    const auto lines = box->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].start, 0);
    EXPECT_EQ(lines[1].start, secondRow);
    for (const auto& line : lines) {
      EXPECT_LE(TextWidth(fm, text, line.start, line.length), box->textArea().width());
    }
    EXPECT_LE(2 * LinePitch(box->font()), box->textArea().height() + 4);
  }
}

TEST_F(TextFit, BoardCaptionStaysWholeAboveTheBoardNumber) {
  // "B O A R D # 1" falls one character per line; the big number hides the
  // last two, and none of them may show below it.
  const QFont font = ToQFont(form.Label1.font);
  const QFontMetrics fm(font);
  const int pitch = LinePitch(font);
  const int baseline = (pitch - fm.height() + 1) / 2 + fm.ascent();
  const std::string glyphs = "BOARD#1";
  const int numberTop = form.Label21.top, numberBottom = form.Label21.top + form.Label21.height;
  for (int k = 0; k < static_cast<int>(glyphs.size()); ++k) {
    QRect ink = fm.tightBoundingRect(QString(QChar(glyphs[static_cast<size_t>(k)])));
    ink.translate(0, form.Label1.top + k * pitch + baseline);
    if (k < 5) {
      EXPECT_LT(ink.bottom(), numberTop) << glyphs[static_cast<size_t>(k)];
    } else {
      EXPECT_GE(ink.top(), numberTop) << glyphs[static_cast<size_t>(k)];
      EXPECT_LT(ink.bottom(), numberBottom) << glyphs[static_cast<size_t>(k)];
    }
  }
}

TEST_F(TextFit, EachAddressSitsCentredOnItsLamp) {
  form.INITIAL_BRDaddress_QT550_DEVELOPMENT();
  form.Combo1.setListIndex(9);
  window.Sync();
  const QFontMetrics fm(ToQFont(form.Label15.font));
  const QString caption = ToQString(form.Label15.caption);
  for (int b = 0; b <= 9; ++b) {
    const QString address = ToQString(form.BRDaddress[static_cast<size_t>(b)]);
    const int at = 8 + 6 * b;  // "ADDRESS ", then each address after four spaces
    ASSERT_EQ(caption.mid(at, 2), address);
    const double centre =
        form.Label15.left + TextWidth(fm, caption, 0, at) + TextWidth(fm, address) / 2.0;
    const double lamp = form.Shape12[b].left + form.Shape12[b].width / 2.0;
    EXPECT_NEAR(centre, lamp, 1.0) << "board " << b + 1;
  }
  // The word before them ends clear of the first lamp.
  const int wordEnd = form.Label15.left + fm.tightBoundingRect(QStringLiteral("ADDRESS")).right();
  EXPECT_LT(wordEnd, form.Shape12[0].left - 1);
}

TEST_F(TextFit, EveryOneLineButtonCaptionFitsItsButton) {
  // WRITE CONFIG in both of its forms (narrowed while a write is due).
  for (const int due : {1, 0}) {
    form.WRCFGBLINKflag = static_cast<I16>(due);
    form.BLINK_WRCFG_EB2250();
    for (ControlArray* group : {&form.Command1, &form.Command3, &form.Command5}) {
      for (const Control& button : *group) {
        if (button.multiLine || button.caption.empty()) continue;
        const QFontMetrics fm(ToQFont(button.font));
        // The caption is painted inside the bevel, one pixel in on each side.
        EXPECT_LE(TextWidth(fm, ToQString(button.caption)) + 4, button.width)
            << button.Label() << " \"" << button.caption << "\"";
      }
    }
  }
}

TEST_F(TextFit, TemperatureChannelCaptionsEndClearOfTheNextFrame) {
  const int visibleRight = form.Frame2.left - form.Frame5.left - 2;
  for (int i = 0; i <= 2; ++i) {
    auto* box = widget<CheckView>(form.Check7[i]);
    ASSERT_NE(box, nullptr);
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
    const QFontMetrics fm(box->font());
    const int textEnd = form.Check7[i].left + indicator.width() + 4 +
                        TextWidth(fm, ToQString(form.Check7[i].caption));
    EXPECT_LE(textEnd, visibleRight) << form.Check7[i].caption;
  }
}

}  // namespace
}  // namespace eb::app
