// Board selection, configuration editing, thresholds, read-back comparison
// and the activity indication that follows the selected board.
#include <gtest/gtest.h>

#include "support/form_fixture.h"

namespace eb {
namespace {

class BoardStack : public test::FormFixture {};

TEST_F(BoardStack, BoardCountShowsAndHidesColumnsAndMovesTheRowHeads) {
  SetBoards(10);
  EXPECT_EQ(form.Label9[1].left, 752);
  EXPECT_EQ(form.Label12.caption,
            "BOARD#   1      2      3      4      5      6      7      8      9     10");
  EXPECT_EQ(form.Label15.caption,
            "ADDRESS 80    81    82    83    84    85    86    87    88    89");
  EXPECT_TRUE(form.Command4[9].visible);
  EXPECT_TRUE(form.Shape1[119].visible);
  EXPECT_EQ(form.Shape15.height, 401);
  EXPECT_EQ(form.Shape15.top, 172);
  SetBoards(6);
  EXPECT_EQ(form.Label12.caption, "BOARD#   1      2      3      4      5      6");
  EXPECT_FALSE(form.Command4[6].visible);
  EXPECT_FALSE(form.Shape12[6].visible);
}

TEST_F(BoardStack, SelectingBoardTenRelabelsTheWindow) {
  SetBoards(10);
  form.Command4_Click(9);
  EXPECT_EQ(form.Label21.caption, "10");
  EXPECT_EQ(form.Label13[0].caption, "CUSTOM  BOARD #10");
  EXPECT_EQ(form.Option3[0].caption, "CUSTOM BRD#10");
  EXPECT_EQ(form.Label14.caption, "SET/ DISPLAY BOARD#10 AT HEX ADDRESS");
  EXPECT_EQ(form.Label18[2].caption, "BOARD#10 ONLY");
  EXPECT_EQ(form.Label19[0].caption, "BRD#10");
  EXPECT_EQ(form.Command5[3].tooltip, "READ ONLY BRD#10 CELLS FOR SELFTEST IN HEX.");
  EXPECT_EQ(form.Image1.left, 720);
  EXPECT_EQ(form.Command4[9].height, 30);
  EXPECT_EQ(form.Command4[9].top, 537 - 360);
  form.Command4_Click(1);
  EXPECT_EQ(form.Label13[0].caption, "CUSTOM  BOARD # 2");
  EXPECT_EQ(form.Label14.caption, "SET/ DISPLAY BOARD # 2 AT HEX ADDRESS");
}

TEST_F(BoardStack, ShrinkingTheStackSelectsItsLastBoardAndRereadsTheStack) {
  SetBoards(8);
  form.Command4_Click(6);
  stack.bridge.writes.clear();
  form.Combo1.setListIndex(4);
  EXPECT_EQ(form.BRDnumber, 4);
  EXPECT_EQ(form.Label21.caption, "5");
  // Once through the new selection's address change, once for the count.
  EXPECT_EQ(Count("MSxT84T02"), 4);
  EXPECT_EQ(Count("MSxT80T02"), 2);
  EXPECT_EQ(Count("MSxT85T02"), 0);
}

TEST_F(BoardStack, TheFirstSelectionOfAnyBoardShowsItsAddressAndReadsTheStack) {
  SetBoards(3);
  EXPECT_EQ(form.Combo2.listIndex(), -1);
  EXPECT_EQ(form.Combo2.text, "0");
  form.Command4_Click(1);  // board 2, address 81
  EXPECT_EQ(form.Combo2.listIndex(), 1);
  EXPECT_EQ(form.Combo2.text, "1");
  EXPECT_EQ(form.BRDaddress[1], "81");
  // The stack-wide configuration read: each board once, the selected board
  // once more at the end.
  EXPECT_EQ(Count("MSxT80T02"), 1);
  EXPECT_EQ(Count("MSxT81T02"), 2);
  EXPECT_EQ(Count("MSxT82T02"), 1);
  ASSERT_FALSE(Writes().empty());
  EXPECT_EQ(Writes().back(), "MSxT81T02RRRRRRRX");
  // Back to board 1: its address differs from the one shown, so again.
  stack.bridge.writes.clear();
  form.Command4_Click(0);
  EXPECT_EQ(Count("MSxT80T02"), 2);
  EXPECT_EQ(Count("MSxT81T02"), 1);
  // The same board again shows the same address and reads nothing.
  stack.bridge.writes.clear();
  form.Command4_Click(0);
  EXPECT_EQ(Count("MSxT8"), 0);
}

TEST_F(BoardStack, PickingAnAddressDigitFirstReaddressesBoardOne) {
  form.Combo2.setListIndex(1);
  EXPECT_EQ(form.BRDaddress[0], "81");
  EXPECT_EQ(form.Command4[0].caption, "BRD# 1    0x81");
  EXPECT_EQ(Count("MSxT81T02"), 2);
}

TEST_F(BoardStack, AddressDigitReaddressesTheSelectedBoard) {
  SetBoards(3);
  form.Command4_Click(2);
  stack.bridge.writes.clear();
  form.Combo2.setListIndex(15);
  EXPECT_EQ(form.BRDaddress[2], "8F");
  EXPECT_EQ(form.Command4[2].caption, "BRD# 3    0x8F");
  EXPECT_EQ(Count("MSxT8FT02"), 2);  // the stack-wide read uses the new address
}

TEST_F(BoardStack, PendingReadIndicationFollowsTheBoard) {
  SetBoards(5);
  form.Command4_Click(3);
  form.Command1_click(2);  // addressed start on board 4
  EXPECT_EQ(form.Command1[7].caption, "READCELL");
  form.Command4_Click(4);
  EXPECT_EQ(form.Command1[7].caption, "READCELLVOLT");
  EXPECT_FALSE(form.Shape16[1].visible);
  form.Command4_Click(3);
  EXPECT_EQ(form.Command1[7].caption, "READCELL");
  // A read prompt survives a change of the board count.
  SetBoards(4);
  EXPECT_EQ(form.RDCVmode, 1);
}

TEST_F(BoardStack, SelectingAStartedButUnreadBoardBlanksItsCells) {
  SetBoards(2);
  form.Check5[2].setValue(1);
  form.Command1_click(2);  // broadcast: both boards marked
  form.Command1_click(7);  // board 1 read
  form.CELLvolt[13] = 3.3f;
  form.Command4_Click(1);
  EXPECT_EQ(form.Text1[0].text, " 0.000V  ");
}

class ConfigEdit : public test::FormFixture {};

TEST_F(ConfigEdit, CheckBoxesBuildTheConfigurationBytes) {
  EXPECT_EQ(form.CFGR0[0], "E0");
  form.Check0[3].setValue(1);
  form.Command0_Click(1);
  EXPECT_EQ(form.CFGR0[0], "E9");
  form.Check1[0].setValue(1);
  form.Check1[4].setValue(1);
  EXPECT_EQ(form.CFGR1[0], "11");
  form.Check1[0].setValue(0);
  form.Check1[4].setValue(0);
  EXPECT_EQ(form.CFGR1[0], "00");
  form.Check2[7].setValue(1);
  form.Check3[0].setValue(1);
  EXPECT_EQ(form.CFGR2[0], "80");
  EXPECT_EQ(form.CFGR3[0], "01");
  // Ten-cell mode keeps the duty cycle: the low digit is 8 + duty cycle.
  for (int i = 0; i < 7; ++i) form.Command0_Click(1);
  EXPECT_EQ(form.CFGR0[0], "E8");
}

TEST_F(ConfigEdit, PendingEditsGreyTheWrittenRowAndHighlightTheWrite) {
  form.Command1_click(5);
  EXPECT_EQ(form.WRCFGBLINKflag, 0);
  EXPECT_EQ(form.Text4[0].fore, colors::Black);
  form.Check1[2].setValue(1);
  EXPECT_EQ(form.WRCFGBLINKflag, 1);
  for (int k = 0; k <= 5; ++k) EXPECT_EQ(form.Text4[k].fore, colors::LightGrey) << k;
  EXPECT_TRUE(form.Shape14.visible);
  form.Check1[2].setValue(0);
  EXPECT_EQ(form.WRCFGBLINKflag, 0);
  EXPECT_EQ(form.Text4[3].fore, colors::Black);
}

TEST_F(ConfigEdit, ReadBackMismatchIsMarkedPerByte) {
  stack.boards["80"].cfg = {0xE1, 0, 0, 0, 0, 0};
  form.Command1_click(6);  // screen says E0
  EXPECT_EQ(form.Text5[0].back, colors::Red);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(form.Text5[k].back, colors::WindowBackground) << k;
  // An unwritten edit also shows red after the next read.
  form.Check1[0].setValue(1);
  form.Command1_click(6);
  EXPECT_EQ(form.Text5[1].back, colors::Red);
  // A write blanks the read row until the next read.
  form.Command1_click(5);
  EXPECT_EQ(form.Text5[0].text, "");
  EXPECT_EQ(form.Text5[0].back, colors::WindowBackground);
}

TEST_F(ConfigEdit, ThresholdEntryValidatesAndStoresCounts) {
  form.ui.setFocus(form.Text2[1]);
  for (char ch : std::string("4.2\r")) form.ui.typeKey(form.Text2[1], ch);
  form.ui.setFocus(form.Text2[0]);
  for (char ch : std::string("3a.6.\r"))
    form.ui.typeKey(form.Text2[0], ch);  // 'a' and 2nd '.' dropped
  EXPECT_EQ(form.VUVreg[0], 150);
  EXPECT_EQ(form.CFGR4[0], "96");
  EXPECT_EQ(form.Text2[0].text, "3.600V ");
  EXPECT_EQ(form.ui.focused(), &form.Command1[5]);
  form.ui.setFocus(form.Text2[1]);
  for (char ch : std::string("6.120\r")) form.ui.typeKey(form.Text2[1], ch);
  EXPECT_EQ(form.VOVreg[0], 255);
  EXPECT_TRUE(platform.messages.empty());
  form.ui.setFocus(form.Text2[1]);
  for (char ch : std::string("6.121\r")) form.ui.typeKey(form.Text2[1], ch);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0], "Only Enter Values Between 0.000V and 6.120V.");
  EXPECT_EQ(form.VOVreg[0], 255);
  EXPECT_EQ(form.Text2[1].text, "6.120V ");
  form.ui.setFocus(form.Text2[0]);
  for (char ch : std::string("6.12\r")) form.ui.typeKey(form.Text2[0], ch);
  EXPECT_EQ(platform.messages.back(), "VUV must be less than VOV");
  EXPECT_EQ(form.VUVreg[0], 150);
}

TEST_F(ConfigEdit, MinusOnlyAtTheStartAndArrowsWrap) {
  form.ui.setFocus(form.Text2[0]);
  for (char ch : std::string("1-")) form.ui.typeKey(form.Text2[0], ch);
  EXPECT_EQ(form.Text2[0].text, "1");
  form.Command2_Click(0);  // down from 0
  EXPECT_EQ(form.VUVreg[0], 255);
  form.Command2_Click(1);
  EXPECT_EQ(form.VUVreg[0], 0);
  form.Command2_Click(3);
  EXPECT_EQ(form.VOVreg[0], 1);
  EXPECT_EQ(form.CFGR5[0], "01");
}

TEST_F(ConfigEdit, GlobalThresholdsReachEveryBoard) {
  SetBoards(3);
  form.ui.setFocus(form.Text2[1]);
  for (char ch : std::string("4.8\r")) form.ui.typeKey(form.Text2[1], ch);
  EXPECT_EQ(form.VOVreg[0], 200);
  EXPECT_EQ(form.VOVreg[2], 200);
  // Per-board limits change the selected board only.
  form.Option1[0].setValue(1);
  EXPECT_EQ(form.GLOBALCFGRflag, 0);
  EXPECT_EQ(form.Check5[5].value(), 0);
  EXPECT_TRUE(form.Label19[5].visible);
  form.ui.setFocus(form.Text2[1]);
  for (char ch : std::string("4.2\r")) form.ui.typeKey(form.Text2[1], ch);
  EXPECT_EQ(form.VOVreg[0], 175);
  EXPECT_EQ(form.VOVreg[2], 200);
}

TEST_F(ConfigEdit, TenCellModeHidesPanelsElevenAndTwelve) {
  form.Check0[3].setValue(1);
  EXPECT_FALSE(form.Shape4[11].visible);
  EXPECT_FALSE(form.Check2[3].visible);
  EXPECT_FALSE(form.Check3[6].visible);
  EXPECT_EQ(form.Frame1[10].caption, "");
  form.Check0[3].setValue(0);
  EXPECT_EQ(form.Frame1[10].caption, "CELL11");
  EXPECT_TRUE(form.Check3[6].visible);
}

TEST_F(ConfigEdit, SingleCellAndSingleTemperatureModes) {
  SetBoards(3);
  form.Command4_Click(1);
  form.Check6[9].setValue(1);  // addressed: only board 2's other cells grey
  EXPECT_EQ(form.SINGLECELL_Lnib, "A");
  EXPECT_FALSE(form.Check6[0].enabled);
  EXPECT_EQ(form.Text1[0].back, colors::Grey);
  EXPECT_FALSE(form.Shape1[12 + 0].fillShown);
  EXPECT_TRUE(form.Shape1[0].fillShown);
  form.Check6[9].setValue(0);
  EXPECT_EQ(form.SINGLECELL_Lnib, "0");
  EXPECT_TRUE(form.Shape1[12].fillShown);
  form.Check6[11].setValue(1);
  EXPECT_EQ(form.SINGLECELL_Lnib, "C");
  form.Check5[2].setValue(1);  // broadcast: every board's column greys
  EXPECT_EQ(form.SINGLEcellADDRmode, 2);
  EXPECT_FALSE(form.Shape1[24].fillShown);
  form.Check7[1].setValue(1);
  EXPECT_EQ(form.SINGLETEMP_Lnib, "1");
  EXPECT_FALSE(form.Check7[0].enabled);
  EXPECT_FALSE(form.Check7[2].enabled);
  form.Check7[1].setValue(0);
  EXPECT_EQ(form.SINGLETEMP_Lnib, "0");
  EXPECT_TRUE(form.Check7[0].enabled);
}

}  // namespace
}  // namespace eb
