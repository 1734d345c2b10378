// Register reads: PEC comparison, retry, presence tests, lamps and decoding.
#include <gtest/gtest.h>

#include <cmath>

#include "protocol/pec.h"
#include "support/form_fixture.h"

namespace eb {
namespace {

using test::FakeStack;

class ReadsTest : public test::FormFixture {
 protected:
  int Writes(const std::string& prefix) const { return Count(prefix); }
  // The state of a continuous-reading step on board 0 with "PEC Match
  // Only": a mismatch is retried, not shown.
  void AsCycleReadWithRetry() {
    form.OnOff = 1;
    form.BRDread = 0;
    form.AUTORESTARTflag = 1;
    form.SINGLESHOTflag = 0;
  }
};

TEST_F(ReadsTest, CellReadDecodesTheTwelveCellsOfTheSelectedBoard) {
  for (int c = 1; c <= 12; ++c) FakeStack::SetCell(stack.boards["80"], c, 2400 + c);
  form.Command1_click(7);
  EXPECT_EQ(Writes("MSxT80T04RRRRRRRRRRRRRRRRRRRX"), 1);
  for (int c = 1; c <= 12; ++c) {
    EXPECT_FLOAT_EQ(form.CELLvolt[static_cast<size_t>(c)], static_cast<float>((2400 + c) * 0.0015));
  }
  EXPECT_EQ(form.CELLhex[1], "961");
  EXPECT_EQ(form.Text1[0].text, " 3.602V  ");  // 2401 counts = 3.6015 V, stored just above
  EXPECT_EQ(form.Text1[11].text, " 3.618V  ");
  EXPECT_EQ(form.RDCVvalid[0], 1);
  EXPECT_EQ(form.PECstatus[0], 1);
  EXPECT_EQ(form.Shape12[0].fill, colors::Green);
  EXPECT_EQ(form.Label8[1].caption, "Command = 04 RDCV");
  EXPECT_EQ(form.PECflag, 2);
  EXPECT_EQ(form.Text8.text.substr(4, 4), " == ");
}

TEST_F(ReadsTest, MissingBoardIsAcceptedAtOnceWithRedLamp) {
  stack.boards["81"].missing = true;
  form.CARDSTACK = 2;
  form.OnOff = 1;  // the cycle reads board 1 while board 0 stays selected
  form.BRDread = 1;
  form.AUTORESTARTflag = 1;
  const std::string shown = form.Text8.text;
  form.RDCV_ADDRESSABLE_RevC();
  EXPECT_EQ(Writes("MSxT81T04"), 1);  // no retry
  EXPECT_EQ(form.RDCVvalid[1], 0);
  EXPECT_EQ(form.PECstatus[1], 2);
  EXPECT_EQ(form.Shape12[1].fill, colors::Red);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(form.Text8.text, shown);  // the selected board's comparison is untouched
}

TEST_F(ReadsTest, SelectedMissingBoardWithAutoRetryGivesUpAfterTenAttempts) {
  stack.boards["80"].missing = true;
  AsCycleReadWithRetry();
  form.RDCV_ADDRESSABLE_RevC();
  EXPECT_EQ(Writes("MSxT80T04"), 10);
  EXPECT_EQ(Writes("MSxS80S10X"), 10);  // a fresh conversion before each retry (and after the last)
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(
      platform.messages[0],
      "Excessive READ CELL VOLTAGE Communication Errors! Please configure jumper settings for "
      "address pins A0 to A3 correctly. Then check all power cell connections and SPI ribbon "
      "connections between boards.");
  EXPECT_EQ(form.OnOff, 0);  // the continuous-read button was pressed
}

TEST_F(ReadsTest, WrongPecOnceIsRetriedAndTheSecondAttemptAccepted) {
  FakeStack::SetCell(stack.boards["80"], 1, 2000);
  stack.boards["80"].badPecReads = 1;
  AsCycleReadWithRetry();
  form.RDCV_ADDRESSABLE_RevC();
  EXPECT_EQ(Writes("MSxT80T04"), 2);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_FLOAT_EQ(form.CELLvolt[1], 3.0f);
  const std::string& t = form.Text8.text;
  ASSERT_EQ(t.size(), 12u);
  EXPECT_EQ(t.substr(4, 4), " == ");
  EXPECT_EQ(t.substr(0, 4), t.substr(8, 4));
  EXPECT_EQ(form.Text8.back, colors::WindowBackground);
}

TEST_F(ReadsTest, WrongPecWithoutRetryIsShownRedAndStillDecoded) {
  FakeStack::SetCell(stack.boards["80"], 2, 1000);
  stack.boards["80"].badPecReads = 1;
  form.Command1_click(7);
  EXPECT_EQ(Writes("MSxT80T04"), 1);
  EXPECT_EQ(form.Text8.back, colors::Red);
  EXPECT_EQ(form.Text8.text.substr(4, 4), " != ");
  EXPECT_NE(form.Text8.text.substr(0, 4), form.Text8.text.substr(8, 4));
  EXPECT_FLOAT_EQ(form.CELLvolt[2], 1.5f);
  EXPECT_EQ(form.PECstatus[0], 2);
  EXPECT_EQ(form.Shape12[0].fill, colors::Red);
}

TEST_F(ReadsTest, AllZeroBoardGivesWhiteLampAndNoValidCells) {
  stack.boards["80"].zeros = true;
  form.Command1_click(7);
  EXPECT_EQ(form.RDCVvalid[0], 0);
  EXPECT_EQ(form.PECstatus[0], 0);
  EXPECT_EQ(form.Shape12[0].fill, colors::White);
}

// A real reply whose PEC happens to be 0x00 (one reply in 256) is a good
// reading, not an absent board; nor is a damaged reply whose received PEC
// reads 0xFF while its bytes calculate to the all-0xFF value.
TEST_F(ReadsTest, OnlyAWholeReplyOfZerosOrOnesMeansNoBoard) {
  static const PecTable table = MakePecTable();
  std::vector<int> cells(17);
  for (int k = 0; k < 17; ++k) cells[static_cast<size_t>(k)] = (0x35 * k + 0x21) & 0xFF;
  std::vector<std::uint8_t> raw(cells.begin(), cells.end());
  cells.push_back(PecOf(table, raw));  // the last byte makes the group's PEC 0x00
  stack.boards["80"].cv = cells;
  ASSERT_EQ(FakeStack::Encode(cells, false).substr(40), "00");
  form.Command1_click(7);
  EXPECT_EQ(form.RDCVvalid[0], 1);
  EXPECT_EQ(form.PECstatus[0], 1);
  EXPECT_EQ(form.Shape12[0].fill, colors::Green);
  EXPECT_EQ(form.CELLvolt[1], static_cast<float>(((cells[1] & 0x0F) * 256 + cells[0]) * 0.0015));

  // The same for a configuration: read back, not shown red.
  std::vector<int> cfg{0xE1, 0x10, 0x20, 0x30, 0x40, 0};
  std::vector<std::uint8_t> cfgRaw(cfg.begin(), cfg.end() - 1);
  cfg[5] = PecOf(table, cfgRaw);
  stack.boards["80"].cfg = cfg;
  form.Command1_click(6);
  EXPECT_EQ(form.Text8.text, "0x00 == 0x00");
  EXPECT_EQ(form.Text8.back, colors::WindowBackground);
  EXPECT_EQ(form.RDCFGvalid[0], 1);

  // Flag bytes that calculate to 0x0F, the all-0xFF value, with the PEC
  // arrived as FF: a damaged reply, retried with auto retry on, not a
  // missing board accepted at once.
  std::vector<std::uint8_t> flags{0x12, 0x34, 0};
  while (PecOf(table, flags) != 0x0F) ++flags[2];
  stack.cannedReplies = {"FFFF" + ByteHex(flags[0]) + ByteHex(flags[1]) + ByteHex(flags[2]) + "FF"};
  AsCycleReadWithRetry();
  stack.bridge.writes.clear();
  form.RDFLG_ADDRESSABLE_RevC();
  EXPECT_EQ(Writes("MSxT80T06"), 2);
  EXPECT_EQ(form.FLGR0rd[0], "00");  // the second, good reply
  EXPECT_EQ(form.PECstatus[0], 1);
}

TEST_F(ReadsTest, ConfigurationReadOfZerosIsShownRedButAccepted) {
  stack.boards["80"].zeros = true;
  form.Command1_click(6);
  EXPECT_EQ(form.Text8.text, "0x00 == 0x00");
  EXPECT_EQ(form.Text8.back, colors::Red);
  EXPECT_EQ(form.RDCFGvalid[0], 0);
  EXPECT_EQ(form.RDTMPvalid[0], 0);
  EXPECT_EQ(form.CFGR0rd[0], "00");
}

TEST_F(ReadsTest, ConfigurationPresenceNeedsDutyCycleOrTenCellBit) {
  stack.boards["80"].cfg = {0xE0, 0x12, 0, 0, 0x71, 0xAB};
  form.Command1_click(6);
  EXPECT_EQ(form.CFGR1rd[0], "12");
  EXPECT_EQ(form.CFGR5rd[0], "AB");
  EXPECT_EQ(form.RDCFGvalid[0], 0);  // CDC 0 and 12-cell mode: not present
  EXPECT_EQ(form.RDCFGflag, 1);
  EXPECT_EQ(form.Text5[1].text, "   12   ");
  EXPECT_EQ(form.VUVread[0], "2.712V ");
  EXPECT_EQ(form.VOVread[0], "4.104V ");
  stack.boards["80"].cfg = {0xE8, 0, 0, 0, 0, 0};
  form.Command1_click(6);
  EXPECT_EQ(form.RDCFGvalid[0], 1);
}

TEST_F(ReadsTest, TemperatureStatusBitsOnlyFromAMatchingPec) {
  stack.boards["80"].tmp = {0x34, 0x12, 0x56, 0x78, 0x3F};
  form.Command1_click(9);
  EXPECT_EQ(form.THSDbit[0], 1);
  EXPECT_EQ(form.REVcode[0], 1);
  EXPECT_FLOAT_EQ(form.CELLvolt[121], static_cast<float>(0x234 * 0.0015));
  EXPECT_FLOAT_EQ(form.CELLvolt[122], static_cast<float>(0x561 * 0.0015));
  EXPECT_FLOAT_EQ(form.CELLvolt[123], static_cast<float>(0xF78 * 0.0015));
  EXPECT_EQ(form.Text6[0].text, VoltText(form.CELLvolt[123]) + "V  ");
  // A mismatched reply is decoded but leaves the status bits alone.
  stack.boards["80"].tmp = {0x00, 0x00, 0x00, 0x00, 0x40};
  stack.boards["80"].badPecReads = 1;
  form.Command1_click(9);
  EXPECT_FLOAT_EQ(form.CELLvolt[121], 0.0f);
  EXPECT_EQ(form.THSDbit[0], 1);
  EXPECT_EQ(form.REVcode[0], 1);
}

TEST_F(ReadsTest, ShortReplyKeepsTheStaleTailOfTheSameKind) {
  FakeStack::SetCell(stack.boards["80"], 12, 0xABC);
  form.Command1_click(7);
  std::string full(form.RDCVreply.data(), 42);
  // Next reply delivers only its first 20 characters.
  std::string fresh = FakeStack::Encode(std::vector<int>(18, 0x11), false).substr(0, 20);
  stack.cannedReplies = {fresh};
  form.Command1_click(7);
  std::string now(form.RDCVreply.data(), 42);
  EXPECT_EQ(now.substr(0, 20), fresh);
  EXPECT_EQ(now.substr(20), full.substr(20));
  // The mixed image fails its PEC and is shown as such.
  EXPECT_EQ(form.Text8.back, colors::Red);
}

TEST_F(ReadsTest, NonHexReplyIsNeverABelievableReading) {
  std::string r = FakeStack::Encode(std::vector<int>(18, 0x22), false);
  r[4] = 'G';    // cell 1 and its pair
  r[40] = '\0';  // and the PEC
  stack.cannedReplies = {r};
  form.Command1_click(7);  // single read: accepted with the mismatch shown
  EXPECT_EQ(form.Text8.text, "0x?? != 0x" + form.Text8.text.substr(10));
  EXPECT_EQ(form.Text8.back, colors::Red);
  EXPECT_TRUE(std::isnan(form.CELLvolt[1]));
  EXPECT_EQ(form.Text1[0].text, " -.---V  ");
  EXPECT_FLOAT_EQ(form.CELLvolt[3], static_cast<float>(0x222 * 0.0015));
  // With auto retry the same garbage is rejected and retried.
  stack.cannedReplies = {r};
  AsCycleReadWithRetry();
  stack.bridge.writes.clear();
  form.RDCV_ADDRESSABLE_RevC();
  EXPECT_EQ(Writes("MSxT80T04"), 2);
  EXPECT_FLOAT_EQ(form.CELLvolt[1], 0.0f);
}

TEST_F(ReadsTest, ThermalShutdownSetOverridesTheLamp) {
  form.THSDset[0] = 1;
  form.Command1_click(8);
  EXPECT_EQ(form.PECstatus[0], 3);
  EXPECT_EQ(form.Shape12[0].fill, colors::Orange);
}

}  // namespace
}  // namespace eb
