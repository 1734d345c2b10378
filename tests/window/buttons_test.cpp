// Command buttons, their command strings and continuous reading.
#include <gtest/gtest.h>

#include "support/form_fixture.h"

namespace eb {
namespace {

using test::FakeStack;

class Buttons : public test::FormFixture {};

TEST_F(Buttons, AddressedSingleCellConversionString) {
  SetBoards(4);
  form.Command4_Click(3);  // board 4, address 83
  stack.bridge.writes.clear();
  form.Check6[4].setValue(1);  // READ Only on cell 5: addressed single-cell mode
  EXPECT_EQ(form.SINGLECELL_Lnib, "5");
  EXPECT_EQ(form.SINGLEcellADDRmode, 1);
  form.Command1_click(2);
  EXPECT_EQ(Writes(), (std::vector<std::string>{"MSxS83S15X"}));
  // The open-wire start always converts every cell.
  stack.bridge.writes.clear();
  form.Command1_click(3);
  EXPECT_EQ(Writes(), (std::vector<std::string>{"MSxS83S20X"}));
  EXPECT_EQ(form.Text1[0].text, " 0.000V  ");
  EXPECT_EQ(form.RDCVmode, 1);
  EXPECT_EQ(form.ui.focused(), &form.Command1[7]);
}

TEST_F(Buttons, BroadcastConfigurationWriteUsesTheSelectedBoardsTexts) {
  form.CFGR4[0] = "71";
  form.CFGR5[0] = "AB";
  form.CFGR1[1] = "FF";  // another board's text plays no part
  form.Command1_click(5);
  EXPECT_EQ(Writes(), (std::vector<std::string>{"MSxT01SE0S00S00S00S71SABX"}));
  EXPECT_EQ(form.CFGR1wr[0], "00");
  EXPECT_EQ(form.CFGR4wr[0], "71");
  EXPECT_EQ(form.RDCFGflag, 0);
  EXPECT_EQ(form.Text5[0].text, "");
  EXPECT_EQ(form.WRCFGBLINKflag, 0);
  EXPECT_FALSE(form.Shape14.visible);
  EXPECT_EQ(form.Command1[5].width, 97);
  EXPECT_EQ(form.RDCFGmode, 1);
  EXPECT_EQ(form.ui.focused(), &form.Command1[6]);
  EXPECT_TRUE(form.Shape16[0].visible || form.Command1[6].width == 97);  // blinks with the reminder
  EXPECT_EQ(form.RDCFGmark[0], 1);
  // The read moves the mode on to 2, and the click's tail then removes the
  // indication.
  form.Command1_click(6);
  EXPECT_EQ(form.RDCFGmode, 0);
  EXPECT_EQ(form.RDCFGmark[0], 0);
  EXPECT_FALSE(form.Shape16[0].visible);
}

TEST_F(Buttons, AddressedConfigurationWrite) {
  form.Check5[5].setValue(0);  // per-board write: thresholds and CFGR0 go per board too
  EXPECT_EQ(form.GLOBALCFGRflag, 0);
  EXPECT_EQ(form.Option3[0].value(), 1);
  EXPECT_EQ(form.Option1[0].value(), 1);
  EXPECT_TRUE(form.Label19[5].visible);
  form.Command1_click(5);
  EXPECT_EQ(Writes(), (std::vector<std::string>{"MSxT80T01SE0S00S00S00S00S00X"}));
}

TEST_F(Buttons, PollLeavesChipSelectLowUntilTheNextButton) {
  form.Command1_click(0);
  EXPECT_EQ(Writes().back(), "MSxS80S40");
  EXPECT_EQ(form.POLLflag, 1);
  stack.bridge.writes.clear();
  form.Command1_click(7);
  ASSERT_GE(Writes().size(), 2u);
  EXPECT_EQ(Writes()[0], "MSX");
  EXPECT_EQ(Writes()[1].substr(0, 9), "MSxT80T04");
  stack.bridge.writes.clear();
  form.Command1_click(7);
  EXPECT_EQ(Count("MSX"), 0);  // only once
  form.Command1_click(1);
  EXPECT_EQ(Writes().back(), "MSxS80S50");
}

TEST_F(Buttons, PollWhileIdleRunsTheStopPath) {
  form.Command1[2].enabled = false;
  form.Command1[10].caption = "x";
  form.Command1_click(0);
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_TRUE(form.Command1[2].enabled);
  EXPECT_EQ(form.Command1[10].caption, "START CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Red);
}

TEST_F(Buttons, ContinuousStartAndStop) {
  SetBoards(2);
  form.Command1_click(10);
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_EQ(form.Command1[10].caption, "STOP  CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Green);
  for (int i : {2, 3, 4, 7, 8, 9}) EXPECT_FALSE(form.Command1[i].enabled) << i;
  EXPECT_TRUE(form.Command1[6].enabled);
  EXPECT_FALSE(form.Command3[0].enabled);
  EXPECT_FALSE(form.Command5[6].enabled);
  EXPECT_EQ(form.Check5[2].value(), 1);
  EXPECT_EQ(form.Check5[4].value(), 1);
  EXPECT_FALSE(form.Check5[2].enabled);
  EXPECT_FALSE(form.Label18[2].enabled);
  EXPECT_EQ(form.BCASTflag_STCVAD[0], 1);  // the cycle converts every board
  EXPECT_EQ(form.SINGLESHOTflag, 0);
  EXPECT_EQ(Count("MSxT80T02"), 2);  // configuration read of the start, then the READ CONFIG action
  for (int t = 0; t < 6; ++t) form.Timer1_Timer();
  EXPECT_GT(form.CELLvolt[1], -1.0f);
  form.CELLvolt[5] = 3.3f;
  form.CELLvolt[13] = 3.3f;
  form.CELLvolt[124] = 1.0f;
  form.Command1_click(10);
  EXPECT_EQ(form.OnOff, 0);
  ExpectReadingControlsEnabled();
  EXPECT_EQ(form.Check5[2].value(), 1);
  EXPECT_EQ(form.Command1[10].caption, "START CONTINUOUS READ CELLS");
  for (int i : {5, 13, 124}) EXPECT_EQ(form.CELLvolt[static_cast<size_t>(i)], 0.0f) << i;
  EXPECT_EQ(form.BRDread, form.BRDnumber);
  EXPECT_EQ(form.RDCVvalid[0], 0);
}

TEST_F(Buttons, AGiveUpWhileContinuousReadingStartsLeavesTheWindowIdleAndUsable) {
  form.Check_AUTO.setValue(1);
  stack.boards["80"].badPecReads = 10;  // the start's configuration read gives up
  form.Command1_click(10);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].rfind("Excessive READ CONFIG Communication Errors! ", 0), 0u);
  // The give-up stopped the reading; the start must not lock the window.
  EXPECT_EQ(form.OnOff, 0);
  EXPECT_EQ(form.Command1[10].caption, "START CONTINUOUS READ CELLS");
  EXPECT_EQ(form.Shape3.fill, colors::Red);
  ExpectReadingControlsEnabled();
  // One press starts reading again.
  form.Command1_click(10);
  EXPECT_EQ(form.OnOff, 1);
  EXPECT_FALSE(form.Command1[7].enabled);
}

TEST_F(Buttons, HoldDischargeBoxesAlwaysSayWhatTheCommandDoes) {
  SetBoards(2);
  form.Command1_click(10);  // ticks every cell-conversion broadcast box on board 1
  form.Command1_click(10);
  ASSERT_EQ(form.Check8[0].value(), 1);
  form.Command4_Click(1);
  EXPECT_EQ(form.Check8[0].value(), 1);
  EXPECT_EQ(form.BCASTflag_STCVDC[1], 1);
  EXPECT_EQ(form.BCASTflag_STOWDC[1], 1);
  stack.bridge.writes.clear();
  form.Command3_Click(0);
  form.Command3_Click(1);
  EXPECT_EQ(Count("MSxS60X"), 1);  // broadcast, as the ticked box says
  EXPECT_EQ(Count("MSxS70X"), 1);
  EXPECT_EQ(Count("MSxS81S"), 0);
}

TEST_F(Buttons, StartCellVoltWithAndWithoutBroadcastClearsStatusOfOneOrAllBoards) {
  SetBoards(3);
  form.CELLstatus.fill(1);
  form.Command1_click(2);  // addressed
  EXPECT_EQ(Writes().back(), "MSxS80S10X");
  EXPECT_EQ(form.CELLstatus[0], 0);
  EXPECT_EQ(form.CELLstatus[12], 1);
  form.Check5[2].setValue(1);  // broadcast
  form.Command1_click(2);
  EXPECT_EQ(Writes().back(), "MSxS10X");
  EXPECT_EQ(form.CELLstatus[12], 0);
  EXPECT_EQ(form.CELLstatus[35], 0);
}

TEST_F(Buttons, HoldDischargeStartLightsTheLampAndMarksTheRead) {
  form.Command3_Click(0);
  EXPECT_EQ(Writes().back(), "MSxS80S60X");
  EXPECT_EQ(form.Shape13.fill, colors::LightBlue);
  EXPECT_EQ(form.Command1[7].caption, "READCELL");
  EXPECT_TRUE(form.Shape16[1].visible);
  form.Command1_click(7);
  EXPECT_EQ(form.Command1[7].caption, "READCELLVOLT");
  EXPECT_FALSE(form.Shape16[1].visible);
  form.Command1_click(2);
  EXPECT_EQ(form.Shape13.fill, colors::White);
}

TEST_F(Buttons, RetryModeFollowsTheCheckBox) {
  form.Check_AUTO.setValue(1);
  EXPECT_EQ(form.AUTORESTARTflag, 1);
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ONLY VALID DATA TRANSFERS!");
  EXPECT_EQ(form.Label_AUTOstatus.fore, colors::DarkGreen);
  form.Command1_click(8);  // a single read turns retries off, then restores them
  EXPECT_EQ(form.AUTORESTARTflag, 1);
  form.Check_AUTO.setValue(0);
  form.Command1_click(8);
  EXPECT_EQ(form.Label_AUTOstatus.caption, "DISPLAY ALL DATA TRANSFERS!");
}

TEST_F(Buttons, DutyCycleArrowsWrapAround) {
  SetBoards(3);
  form.Command0_Click(0);
  EXPECT_EQ(form.CDCreg[0], 7);
  EXPECT_EQ(form.CFGR0[0], "E7");
  EXPECT_EQ(form.CFGR0[2], "E7");  // global configuration copies it to the stack
  form.Command0_Click(1);
  EXPECT_EQ(form.CDCreg[0], 0);
  EXPECT_EQ(form.CFGR0[0], "E0");
  EXPECT_EQ(form.Text3.text.substr(0, 24), "|     Comparator Off    ");
}

TEST_F(Buttons, LowCurrentStandbyWritesTheLowestCurrentConfigurationAndParks) {
  form.CFGR1[0] = "FF";
  form.VUVreg[0] = 100;
  form.Command1_click(14);
  EXPECT_EQ(Count("MSxT01SE0S00S00S00S00S00X"), 1);
  EXPECT_EQ(Writes().back(), "MI");
  EXPECT_EQ(form.STBYflag, 1);
  EXPECT_EQ(form.CFGR0wr[0], "");  // written texts forgotten: the next write is pending again
  EXPECT_EQ(form.WRCFGBLINKflag, 1);
  form.Command1_click(7);
  EXPECT_EQ(form.STBYflag, 0);
}

}  // namespace
}  // namespace eb
