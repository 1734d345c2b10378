// The number rules every connection-string setting goes through (the
// settings of each transport are tested in tests/wiring/connection_test.cpp).
#include "link/settings_parser.h"

#include <gtest/gtest.h>

#include <limits>

namespace eb {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(SettingsNumbers, WholeNumbersAreDecimalDigitsOnly) {
  std::uint64_t v = 99;
  EXPECT_TRUE(ParseWholeNumber("0", 0, 10, &v));
  EXPECT_EQ(v, 0u);
  EXPECT_TRUE(ParseWholeNumber("007", 0, 10, &v));
  EXPECT_EQ(v, 7u);
  EXPECT_TRUE(ParseWholeNumber("18446744073709551615", 0, kMax, &v));
  EXPECT_EQ(v, kMax);
  v = 99;
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1.0", "1e3", "0x10", "11"}) {
    EXPECT_FALSE(ParseWholeNumber(bad, 0, 10, &v)) << bad;
  }
  EXPECT_FALSE(ParseWholeNumber("18446744073709551616", 0, kMax, &v));  // one past the largest
  EXPECT_FALSE(ParseWholeNumber("0", 1, 10, &v));
  EXPECT_EQ(v, 99u);  // a refused value leaves the target alone
}

TEST(SettingsNumbers, HexNumbersTakeAnOptionalPrefix) {
  std::uint64_t v = 0;
  EXPECT_TRUE(ParseHexNumber("0403", 0, 0xFFFF, &v));
  EXPECT_EQ(v, 0x0403u);
  EXPECT_TRUE(ParseHexNumber("0x6001", 0, 0xFFFF, &v));
  EXPECT_EQ(v, 0x6001u);
  EXPECT_TRUE(ParseHexNumber("0XabCD", 0, 0xFFFF, &v));
  EXPECT_EQ(v, 0xABCDu);
  for (const char* bad : {"", "0x", "-1", "+1", "0x-1", "g", "12345", "0x10000", " 10"}) {
    EXPECT_FALSE(ParseHexNumber(bad, 0, 0xFFFF, &v)) << bad;
  }
}

TEST(SettingsNumbers, RealNumbersAreFiniteUnsignedAndInRange) {
  double v = -1;
  for (const char* good : {"0", "1", ".5", "5.", "1e-3", "0.25"}) {
    EXPECT_TRUE(ParseRealNumber(good, 0, 6, &v)) << good;
  }
  EXPECT_DOUBLE_EQ(v, 0.25);
  for (const char* bad :
       {"", "-0", "+0.5", "-0.1", "inf", "nan", "1e999", "0.5V", "6.01", ".", "e3", "0,5"}) {
    EXPECT_FALSE(ParseRealNumber(bad, 0, 6, &v)) << bad;
  }
  EXPECT_DOUBLE_EQ(v, 0.25);
}

}  // namespace
}  // namespace eb
