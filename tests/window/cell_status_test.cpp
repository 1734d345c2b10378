// Cell voltage texts, cell status rules and their precedence, and painting.
#include <gtest/gtest.h>

#include "support/form_fixture.h"

namespace eb {
namespace {

using test::FakeStack;

class CellStatus : public test::FormFixture {
 protected:
  // Board 1's cells read 3.6 V: a board answering all zeros has no reading.
  void SetUp() override {
    FormFixture::SetUp();
    for (int c = 1; c <= 12; ++c) FakeStack::SetCell(stack.boards["80"], c, 2400);
  }
  // Writes a configuration with these discharge/mask bytes to the selected board.
  void WriteConfig(const std::string& cfgr1, const std::string& cfgr2, const std::string& cfgr3) {
    form.CFGR1[static_cast<size_t>(form.BRDnumber)] = cfgr1;
    form.CFGR2[static_cast<size_t>(form.BRDnumber)] = cfgr2;
    form.CFGR3[static_cast<size_t>(form.BRDnumber)] = cfgr3;
    form.Command1_click(5);
  }
};

TEST_F(CellStatus, ZeroVoltsLooksLikeTheBlankedPanel) {
  form.CLEAR_LOCAL_CELLS();
  std::string blank = form.Text1[3].text;
  form.CELLvolt[4] = 0.0f;
  form.Single_12CELL_Display();
  EXPECT_EQ(form.Text1[3].text, blank);
  EXPECT_EQ(blank, " 0.000V  ");
}

TEST_F(CellStatus, ValidBoardWithClearFlagsIsNormal) {
  form.Command1_click(7);  // valid cells, board counts as present (CFGR0 E1)
  form.Command1_click(8);
  for (int c = 0; c < 12; ++c) EXPECT_EQ(form.CELLstatus[static_cast<size_t>(c)], 1) << c;
  EXPECT_EQ(form.Shape1[0].fill, colors::Green);
  EXPECT_EQ(form.Shape2[0].fill, colors::Green);
  EXPECT_EQ(form.Shape2[0].top, 40);
  EXPECT_EQ(form.Shape2[0].height, 17);
  EXPECT_EQ(form.Shape4[0].fill, colors::PaleGrey);
}

TEST_F(CellStatus, OverVoltageBeatsUnderVoltage) {
  stack.boards["80"].flg = {0x03, 0x01, 0x02};  // cell 1 both, cell 5 UV, cell 9 OV
  form.Command1_click(7);
  form.Command1_click(8);
  EXPECT_EQ(form.CELLstatus[0], 4);
  EXPECT_EQ(form.CELLstatus[4], 3);
  EXPECT_EQ(form.CELLstatus[8], 4);
  EXPECT_EQ(form.CELLstatus[1], 1);
  EXPECT_EQ(form.Shape1[0].fill, colors::Red);
  EXPECT_EQ(form.Shape1[4].fill, colors::Yellow);
  EXPECT_EQ(form.Shape2[0].top, 32);
  EXPECT_EQ(form.Shape2[4].height, 9);
  EXPECT_EQ(form.Text7[0].text, "  03   ");
  // Flags that clear again return the cell to normal.
  stack.boards["80"].flg = {0, 0, 0};
  form.Command1_click(8);
  EXPECT_EQ(form.CELLstatus[0], 1);
}

TEST_F(CellStatus, DischargeAndMaskBeatTheFlags) {
  // CFGR1 0x81: discharge cells 1 and 8; CFGR3 0x01: mask cell 5; CFGR2 0x10
  // masks cell 1 as well, which with its discharge bit is a masked discharge.
  WriteConfig("81", "10", "01");
  EXPECT_EQ(form.DCCmark[0][0], -1);
  EXPECT_EQ(form.DCCmark[0][7], -1);
  EXPECT_EQ(form.MCImark[0][4], -1);
  EXPECT_EQ(form.MCImark[0][0], -1);
  stack.boards["80"].flg = {0xFF, 0xFF, 0xFF};
  form.Command1_click(6);
  form.Command1_click(7);
  form.Command1_click(8);
  EXPECT_EQ(form.CELLstatus[0], 6);  // masked discharge
  EXPECT_EQ(form.CELLstatus[7], 2);  // discharge beats over-voltage
  EXPECT_EQ(form.CELLstatus[4], 5);  // masked
  EXPECT_EQ(form.CELLstatus[1], 4);
  EXPECT_EQ(form.Shape1[7].fill, colors::LightBlue);
  EXPECT_EQ(form.Shape1[0].fill, colors::Grey);
  EXPECT_EQ(form.Shape1[4].fill, colors::PaleGrey);
  EXPECT_EQ(form.Shape2[4].top, 24);
}

TEST_F(CellStatus, EditingWithoutWritingChangesNoStatus) {
  form.Command1_click(7);
  form.Command1_click(8);
  form.Check1[0].setValue(1);
  EXPECT_EQ(form.CFGR1[0], "01");
  form.Command1_click(7);
  form.Command1_click(8);
  EXPECT_EQ(form.CELLstatus[0], 1);
  form.Command1_click(5);
  EXPECT_EQ(form.CELLstatus[0], 2);  // the write marks the discharge
  EXPECT_EQ(form.Shape1[0].fill, colors::LightBlue);
}

TEST_F(CellStatus, BoardWhoseConfigurationReadFailedIsAllWhite) {
  stack.boards["80"].missing = true;
  form.Command1_click(6);
  EXPECT_EQ(form.RDCFGvalid[0], 0);
  stack.boards["80"].missing = false;
  stack.boards["80"].flg = {0x55, 0xAA, 0x00};
  form.Command1_click(8);
  for (int c = 0; c < 12; ++c) {
    EXPECT_EQ(form.CELLstatus[static_cast<size_t>(c)], 0) << c;
    EXPECT_EQ(form.Shape1[c].fill, colors::White) << c;
  }
  EXPECT_EQ(form.Shape4[0].fill, colors::White);
}

TEST_F(CellStatus, ThermalShutdownColoursOnlyThatBoardAndHoldsAfterItEnds) {
  SetBoards(5);
  stack.boards["83"] = {};
  stack.boards["83"].tmp = {0, 0, 0, 0, 0x10};
  form.OnOff = 1;
  form.BRDread = 3;
  form.RDTMP_ADDRESSABLE_RevC();
  form.SET_REV_THSD_EB2250();
  for (int b = 0; b < 5; ++b) {
    for (int c = 0; c < 12; ++c) {
      EXPECT_EQ(form.Shape1[12 * b + c].fill == colors::Orange, b == 3) << b << " " << c;
    }
  }
  EXPECT_EQ(form.THSDset[3], 1);
  // The shutdown ends: the cells go white, the configuration is read and a
  // hold stands until the next configuration write.
  stack.boards["83"].tmp = {0, 0, 0, 0, 0x00};
  form.RDTMP_ADDRESSABLE_RevC();
  form.SET_REV_THSD_EB2250();
  EXPECT_EQ(form.CELLstatus[36], 0);
  EXPECT_EQ(form.THSDhold, 1);
  EXPECT_EQ(form.Shape12[3].fill, colors::Orange);  // THSDset still shown on the lamp
  form.OnOff = 0;
  form.Command1_click(5);
  EXPECT_EQ(form.THSDhold, 0);
  EXPECT_EQ(form.THSDset[3], 0);
}

TEST_F(CellStatus, CycleRepaintsTheReadBoardsColumnButDrawsTheSelectedBoard) {
  SetBoards(3);
  form.CELLstatus[12 * 2 + 0] = 4;
  form.CELLstatus[0] = 2;
  form.OnOff = 1;
  form.BRDread = 2;
  form.DISPLAY_CELLstatus_EB2250();
  EXPECT_EQ(form.Shape1[24].fill, colors::Red);
  EXPECT_EQ(form.Shape1[0].fill, colors::White);      // column 0 not repainted
  EXPECT_EQ(form.Shape2[0].fill, colors::LightBlue);  // drawing of the selected board 0
}

TEST_F(CellStatus, TenCellModeKeepsCells11And12InTheGrid) {
  form.Check0[3].setValue(1);
  EXPECT_FALSE(form.Text1[10].visible);
  EXPECT_FALSE(form.Check3[7].visible);
  EXPECT_EQ(form.Frame1[11].caption, "");
  EXPECT_EQ(form.CFGR0[0], "E8");
  form.CELLstatus[11] = 3;
  form.DISPLAY_CELLstatus();
  EXPECT_EQ(form.Shape1[11].fill, colors::Yellow);
  form.Check0[3].setValue(0);
  EXPECT_EQ(form.Frame1[11].caption, "CELL12");
  EXPECT_TRUE(form.Text1[11].visible);
}

TEST_F(CellStatus, StatusOutsideTheCodesLeavesTheShapeAlone) {
  form.Shape1[0].fill = colors::Blue;
  form.CELLstatus[0] = 9;
  form.DISPLAY_CELLstatus();
  EXPECT_EQ(form.Shape1[0].fill, colors::Blue);
}

}  // namespace
}  // namespace eb
