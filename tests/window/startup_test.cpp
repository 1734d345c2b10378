// Start-up, the default state, the timer tick and the measurement cycle.
#include <gtest/gtest.h>

#include <tuple>

#include "support/form_fixture.h"

namespace eb {
namespace {

using test::FakeStack;
class Cycle : public test::FormFixture {};

TEST(StartUp, NoBridgeClosesTheWindowWithoutAnything) {
  FakeStack stack;
  stack.bridge.openOk = false;
  test::FakePlatform platform;
  Form1 form(stack.bridge, platform);
  form.Form_Load();
  EXPECT_EQ(form.Initialize, 0);
  EXPECT_TRUE(form.Unloaded);
  EXPECT_TRUE(platform.unloaded);
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_EQ(form.Label_IDstring.caption, "");
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_TRUE(stack.bridge.writes.empty());
}

TEST(StartUp, IdentityMustBeTheExpectedVariant) {
  for (auto [reply, ok] : {std::pair{"ZQM4417-1 other", false},
                           std::pair{"ZQM4417-2 and more", true}, std::pair{"ZQM4417", false}}) {
    FakeStack stack;
    stack.identity = reply;
    test::FakePlatform platform;
    Form1 form(stack.bridge, platform);
    form.Form_Load();
    EXPECT_EQ(form.Initialize, ok ? -1 : 0) << reply;
    EXPECT_EQ(form.Unloaded, !ok) << reply;
    EXPECT_EQ(form.Label_IDstring.caption, std::string(reply).substr(0, 9)) << reply;
  }
}

TEST(StartUp, IdentifiesThenReadsTheSelectedBoardsConfigurationOnly) {
  FakeStack stack;
  stack.boards["80"] = {};
  test::FakePlatform platform;
  Form1 form(stack.bridge, platform);
  form.Form_Load();
  EXPECT_EQ(stack.bridge.writes, (std::vector<std::string>{"IZ", "MSxT80T02RRRRRRRX"}));
  EXPECT_TRUE(form.Timer1.enabled);
  EXPECT_EQ(form.Timer1.interval, 100);
  // The identify reads its reply as a line (it ends at the CR LF, 200 ms at
  // most); register reads wait for their count.
  EXPECT_EQ(stack.bridge.reads, (std::vector<std::string>{"line 50 200/50", "read 18 1000/1000"}));
  stack.bridge.reads.clear();
  form.Timer1_Timer();
  ASSERT_FALSE(stack.bridge.reads.empty());
  EXPECT_EQ(stack.bridge.reads[0], "line 50 200/50");
  for (std::size_t i = 1; i < stack.bridge.reads.size(); ++i) {
    EXPECT_EQ(stack.bridge.reads[i].rfind("read ", 0), 0u) << stack.bridge.reads[i];
  }
}

TEST_F(Cycle, DefaultStateAfterStartUp) {
  for (int b = 0; b <= 9; ++b) {
    EXPECT_EQ(form.BRDaddress[static_cast<size_t>(b)], "8" + std::to_string(b));
    EXPECT_EQ(form.CFGR0[static_cast<size_t>(b)], "E0");
    EXPECT_EQ(form.CFGR5[static_cast<size_t>(b)], "00");
    EXPECT_EQ(form.BCASTflag_WRCFG[static_cast<size_t>(b)], 1);
    EXPECT_EQ(form.BCASTflag_STCVAD[static_cast<size_t>(b)], 0);
    EXPECT_EQ(form.CFGR0Lnib[static_cast<size_t>(b)], "0");
  }
  EXPECT_EQ(form.Command4[0].caption, "BRD# 1    0x80");
  EXPECT_EQ(form.Command4[9].caption, "BRD#10   0x89");
  EXPECT_EQ(form.Combo1.listIndex(), 0);
  EXPECT_EQ(form.CARDSTACK, 0);
  EXPECT_EQ(form.Label12.caption, "BOARD#   1");
  EXPECT_EQ(form.Label15.caption, "ADDRESS 80");
  EXPECT_EQ(form.Label9[1].left, 536);
  EXPECT_TRUE(form.Command4[0].visible);
  EXPECT_FALSE(form.Command4[1].visible);
  EXPECT_TRUE(form.Shape1[11].visible);
  EXPECT_FALSE(form.Shape1[12].visible);
  EXPECT_FALSE(form.Shape12[1].visible);
  // Board 1 is the selected tab inside a one-board tab frame.
  EXPECT_EQ(std::tuple(form.Command4[0].height, form.Command4[0].top, form.Command4[1].top),
            std::tuple(30, 537, 492));
  EXPECT_EQ(std::pair(form.Shape15.top, form.Shape15.height), std::pair(532, 41));
  EXPECT_EQ(form.Shape2[0].borderWidth, 2);
  // Broadcast boxes: only the configuration write goes to all boards.
  EXPECT_EQ(form.Check5[5].value(), 1);
  EXPECT_EQ(form.Check5[5].caption, "BROADCAST");
  for (int k = 0; k <= 4; ++k) {
    EXPECT_EQ(form.Check5[k].value(), 0) << k;
    EXPECT_EQ(form.Check5[k].caption, "B'CAST") << k;
    EXPECT_EQ(form.Check5[k].width, 57) << k;
    EXPECT_TRUE(form.Label19[k].visible) << k;
  }
  EXPECT_EQ(form.Option1[1].value(), 1);
  EXPECT_EQ(form.Option3[1].value(), 1);
  EXPECT_EQ(form.GLOBALCFGRflag, 1);
  // The configuration frame shows board 1's pending default configuration.
  EXPECT_EQ(form.Text4[0].text, "   E0   ");
  EXPECT_EQ(form.Text4[0].fore, colors::LightGrey);
  EXPECT_EQ(form.WRCFGBLINKflag, 1);
  EXPECT_TRUE(form.Shape14.visible);
  EXPECT_EQ(form.Command1[5].left, 796);
  EXPECT_EQ(form.Text2[0].text, "0.000V ");
  // The start-up configuration read was shown and compared.
  EXPECT_EQ(form.Text5[0].text, "   E1   ");
  EXPECT_EQ(form.Text5[0].back, colors::Red);  // E1 read against E0 on screen
  EXPECT_EQ(form.Text5[1].back, colors::WindowBackground);
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
  EXPECT_EQ(form.Label_AUTOstatus.fore, colors::DarkRed);
  EXPECT_EQ(form.SELFTEST_Lnib, "E");
  EXPECT_EQ(form.PECtable[255], 0xF3);
  EXPECT_EQ(form.Text3.text.substr(0, 24), "|     Comparator Off    ");
}

TEST_F(Cycle, TickReidentifiesAndBlinksTheTabFrame) {
  form.Timer1_Timer();
  EXPECT_EQ(Writes(), (std::vector<std::string>{"IZ"}));
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_FALSE(form.TabBlinkState);
  form.Timer1_Timer();  // the fourth tick of four
  EXPECT_TRUE(form.TabBlinkState);
  form.Timer1_Timer();
  EXPECT_FALSE(form.TabBlinkState);
}

TEST_F(Cycle, LosingTheIdentityClosesAtTheNextTick) {
  form.OnOff = 1;
  stack.bridge.openOk = false;
  form.Timer1_Timer();
  EXPECT_TRUE(form.Unloaded);
  EXPECT_TRUE(platform.unloaded);
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_FALSE(form.Timer1.enabled);
  // Nothing runs after the close.
  form.Command1_click(7);
  EXPECT_TRUE(Writes().empty());
}

TEST_F(Cycle, StandbyTickMakesNoTransaction) {
  form.Command1_click(14);
  EXPECT_EQ(form.STBYflag, 1);
  EXPECT_EQ(Writes().back(), "MI");
  stack.bridge.writes.clear();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_TRUE(Writes().empty());
}

TEST_F(Cycle, CycleReadsCellsTemperaturesFlagsOfEveryBoardInTurn) {
  SetBoards(3);
  form.OnOff = 1;
  form.BRDread = 0;
  form.MEASUREflag = 0;
  std::vector<std::string> reads;
  for (int t = 0; t < 10; ++t) {
    stack.bridge.writes.clear();
    form.Timer1_Timer();
    for (const auto& w : Writes()) {
      if (w.rfind("MSxT8", 0) == 0) reads.push_back(w.substr(4, 5));
    }
  }
  EXPECT_EQ(reads, (std::vector<std::string>{"80T04", "80T08", "80T06", "81T04", "81T08", "81T06",
                                             "82T04", "82T08", "82T06", "80T04"}));
  EXPECT_EQ(form.BRDread, 0);
  EXPECT_EQ(form.MEASUREflag, 1);
  EXPECT_EQ(form.Image1.left, 504);
}

TEST_F(Cycle, SingleBoardCycleStaysOnBoardZero) {
  form.OnOff = 1;
  for (int t = 0; t < 6; ++t) form.Timer1_Timer();
  EXPECT_EQ(Count("MSxT80T04"), 2);
  EXPECT_EQ(Count("MSxT81"), 0);
  EXPECT_EQ(form.BRDread, 0);
}

TEST_F(Cycle, GiveUpInTheCycleSkipsTheStatusUpdateOnce) {
  form.Check_AUTO.setValue(1);
  form.Command1_click(10);  // start continuous reading
  ASSERT_EQ(form.OnOff, 1);
  stack.boards["80"].missing = true;
  for (int c = 0; c < 12; ++c) form.CELLstatus[static_cast<size_t>(c)] = 4;
  form.Timer1_Timer();
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].substr(0, 50),
            "Excessive READ CELL VOLTAGE Communication Errors! ");
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_EQ(form.MEASURESKIPflag, 0);  // consumed by the skipped update
  EXPECT_EQ(form.CELLstatus[0], 4);    // not rewritten by the flags
}

}  // namespace
}  // namespace eb
