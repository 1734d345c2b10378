// Reply layout, hex parsing and register decoding.
#include "protocol/registers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "protocol/hex.h"

namespace eb {
namespace {

// A reply as the bridge sends it: "FFFF" for the two T bytes, then the bytes.
std::string Reply(const std::vector<int>& bytes) {
  std::string s = "FFFF";
  for (int b : bytes) s += ByteHex(b);
  s.resize(64, '\0');
  return s;
}

TEST(Hex, DigitsPairsAndTexts) {
  EXPECT_EQ(HexPairValue('a', 'F'), 0xAF);
  EXPECT_EQ(HexPairValue('0', '0'), 0);
  EXPECT_EQ(HexPairValue('G', '0'), -1);
  EXPECT_EQ(HexPairValue('1', '\0'), -1);
  EXPECT_EQ(HexPairValue(' ', '1'), -1);
  EXPECT_EQ(HexTextValue("E0"), 0xE0);
  EXPECT_EQ(HexTextValue(""), 0);
  EXPECT_EQ(HexTextValue(" 8f "), 0x8F);
  EXPECT_EQ(HexTextValue("??"), std::nullopt);
  EXPECT_EQ(HexTextValue("1x"), std::nullopt);
  EXPECT_EQ(ByteHex(0x0A), "0A");
  EXPECT_EQ(ByteHex(0xE0), "E0");
  EXPECT_EQ(PecHex(-1), "??");
}

TEST(Hex, VoltTextRoundsToTheNearestThousandth) {
  EXPECT_EQ(VoltText(0.0), " 0.000");
  EXPECT_EQ(VoltText(static_cast<float>(2608 * 0.0015)), " 3.912");
  EXPECT_EQ(VoltText(static_cast<float>(1377 * 0.0015)), " 2.066");  // 2.0655 stored just above
  EXPECT_EQ(VoltText(static_cast<float>(4095 * 0.0015)), " 6.142");  // 6.1425 stored just below
  EXPECT_EQ(VoltText(std::nan("")), " -.---");
  EXPECT_EQ(Fixed3(150 * 0.024), "3.600");
}

TEST(Registers, ConfigurationReplyLayout) {
  // 18 characters: the two T bytes, six bytes at 5-6 … 15-16, PEC at 17-18.
  std::string r = "FFFFE0112233445566";
  r.resize(64, '\0');
  CutReply cut = CutRegisterReply(r.data(), kCfgBytes);
  EXPECT_EQ(ReplyLength(kCfgBytes), 18);
  EXPECT_EQ(cut.bytes[0], 0xE0);
  EXPECT_EQ(cut.bytes[1], 0x11);
  EXPECT_EQ(cut.bytes[5], 0x55);
  EXPECT_EQ(cut.pec, 0x66);
  EXPECT_EQ(cut.bad, 0u);
}

TEST(Registers, CellReplyLayoutAndPairDecoding) {
  EXPECT_EQ(ReplyLength(kCvBytes), 42);
  std::vector<int> bytes{0x34, 0x12, 0x56};
  for (int i = 3; i < 18; ++i) bytes.push_back(i);
  bytes.push_back(0xAB);  // PEC
  std::string r = Reply(bytes);
  CutReply cut = CutRegisterReply(r.data(), kCvBytes);
  EXPECT_EQ(cut.pec, 0xAB);
  EXPECT_EQ(cut.bytes[17], 17);
  // Bytes 0x34 0x12 0x56: cell 1 = 0x234 (564, 0.846 V), cell 2 = 0x561 (1377).
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 0), 0x234);
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 1), 0x561);
  EXPECT_EQ(PackedReadingText(r.data(), 0), "234");
  EXPECT_EQ(PackedReadingText(r.data(), 1), "561");
  EXPECT_FLOAT_EQ(CountToVolts(564), 0.846f);
  EXPECT_FLOAT_EQ(CountToVolts(1377), 2.0655f);
  // Every reading agrees with the reply characters it is formed from.
  for (int n = 0; n < 12; ++n) {
    EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, n),
              *HexTextValue(PackedReadingText(r.data(), n)))
        << n;
  }
}

TEST(Registers, NonHexCharacterMakesOnlyItsReadingsUnreadable) {
  std::vector<int> bytes(18, 0x11);
  bytes.push_back(0x00);
  std::string r = Reply(bytes);
  r[4 + 2 * 4] = 'G';  // byte 4: second byte of pair 1 (cells 3 and 4)
  CutReply cut = CutRegisterReply(r.data(), kCvBytes);
  EXPECT_EQ(cut.bad, 1u << 4);
  EXPECT_EQ(cut.pec, -1);  // can never equal a calculated PEC
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 2), -1);
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 3), -1);
  EXPECT_NE(PackedReading(cut.bytes.data(), cut.bad, 1), -1);
  EXPECT_NE(PackedReading(cut.bytes.data(), cut.bad, 4), -1);
  EXPECT_TRUE(std::isnan(CountToVolts(-1)));
  EXPECT_EQ(PackedReadingText(r.data(), 3), "11G");  // the high nibble belongs to cell 4
}

TEST(Registers, UnreadablePecAloneIsUnreadable) {
  std::string r = Reply({1, 2, 3});
  r[10] = 'z';
  CutReply cut = CutRegisterReply(r.data(), kFlgBytes);
  EXPECT_EQ(cut.bad, 0u);
  EXPECT_EQ(cut.pec, -1);
}

TEST(Registers, TemperatureLayoutAndStatusNibble) {
  // ETMP1 = chars 8,5,6; ETMP2 = 9,10,7; ITMP = 14,11,12.
  std::string r = Reply({0x34, 0x12, 0x56, 0x78, 0x1F, 0x00});
  CutReply cut = CutRegisterReply(r.data(), kTmpBytes);
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 0), 0x234);
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 1), 0x561);
  EXPECT_EQ(PackedReading(cut.bytes.data(), cut.bad, 2), 0xF78);  // TMPR4 low nibble F
  EXPECT_EQ(PackedReadingText(r.data(), 2), "F78");
  EXPECT_EQ(ThermalShutdownBit(0x1F), 1);
  EXPECT_EQ(RevisionCode(0x1F), 0);
  EXPECT_EQ(RevisionCode(0xE0), 7);
  EXPECT_EQ(ThermalShutdownBit(0xE0), 0);
}

TEST(Registers, FlagBits) {
  std::uint8_t flags[3] = {0x02, 0x01, 0x80};
  EXPECT_TRUE(OverVoltageFlag(flags, 1));
  EXPECT_FALSE(UnderVoltageFlag(flags, 1));
  EXPECT_TRUE(UnderVoltageFlag(flags, 5));
  EXPECT_FALSE(OverVoltageFlag(flags, 5));
  EXPECT_TRUE(OverVoltageFlag(flags, 12));
  EXPECT_FALSE(UnderVoltageFlag(flags, 12));
}

}  // namespace
}  // namespace eb
