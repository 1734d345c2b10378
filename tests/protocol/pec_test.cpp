// PEC table and CRC-8 against independently computed values.
#include "protocol/pec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace eb {
namespace {

// Bit-by-bit CRC-8 (0x07, MSB first, init 0), independent of the table.
std::uint8_t BitwiseCrc8(const std::vector<std::uint8_t>& data) {
  std::uint8_t crc = 0;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i)
      crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
  }
  return crc;
}

TEST(Pec, TableEntriesAreTheCrcOfOneByte) {
  PecTable t = MakePecTable();
  EXPECT_EQ(t[0], 0x00);
  EXPECT_EQ(t[1], 0x07);
  EXPECT_EQ(t[2], 0x0E);
  EXPECT_EQ(t[3], 0x09);
  EXPECT_EQ(t[4], 0x1C);
  EXPECT_EQ(t[255], 0xF3);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(t[static_cast<size_t>(i)], BitwiseCrc8({static_cast<std::uint8_t>(i)})) << i;
}

TEST(Pec, CheckValuesOfTheRegisterGroups) {
  PecTable t = MakePecTable();
  EXPECT_EQ(PecOf(t, std::vector<std::uint8_t>(6, 0xFF)), 0x48);
  EXPECT_EQ(PecOf(t, std::vector<std::uint8_t>(18, 0xFF)), 0xB2);
  EXPECT_EQ(PecOf(t, std::vector<std::uint8_t>(3, 0xFF)), 0x0F);
  for (size_t n : {1u, 3u, 5u, 6u, 18u})
    EXPECT_EQ(PecOf(t, std::vector<std::uint8_t>(n, 0x00)), 0x00);
}

TEST(Pec, StandardCheckValueOfTheNineDigits) {
  // CRC-8 (poly 0x07, init 0, no reflection, no xor-out) of "123456789" is 0xF4.
  std::vector<std::uint8_t> digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(PecOf(MakePecTable(), digits), 0xF4);
  EXPECT_EQ(BitwiseCrc8(digits), 0xF4);
}

TEST(Pec, AnySingleBitFlipChangesThePec) {
  PecTable t = MakePecTable();
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    size_t n = trial % 2 ? 18 : 6;
    std::vector<std::uint8_t> data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const std::uint8_t pec = PecOf(t, data);
    EXPECT_EQ(pec, BitwiseCrc8(data));
    for (size_t k = 0; k < n; ++k) {
      for (int bit = 0; bit < 8; ++bit) {
        auto flipped = data;
        flipped[k] ^= static_cast<std::uint8_t>(1u << bit);
        ASSERT_NE(PecOf(t, flipped), pec) << "byte " << k << " bit " << bit;
      }
    }
  }
}

}  // namespace
}  // namespace eb
