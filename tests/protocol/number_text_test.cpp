// Voltages are written and read with a decimal point whatever the C
// library's locale: the front end switches it to the desktop's.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

#include "protocol/hex.h"

namespace eb {
namespace {

// Switches LC_NUMERIC to a locale with a decimal comma for the test, when
// one is installed.
class CommaLocale {
 public:
  CommaLocale() {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
      if (std::setlocale(LC_NUMERIC, name) != nullptr) {
        active_ = true;
        return;
      }
    }
  }
  ~CommaLocale() { std::setlocale(LC_NUMERIC, previous_.c_str()); }
  bool active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

void ExpectPointFormats() {
  EXPECT_EQ(Fixed3(3.6), "3.600");
  EXPECT_EQ(Fixed3(0.0015 * 2401), "3.602");  // 3.6015 is stored just above
  EXPECT_EQ(Fixed3(-0.0004), "-0.000");
  EXPECT_EQ(Fixed3(std::nan("")), "-.---");
  EXPECT_EQ(VoltText(6.1425), " 6.143");
  EXPECT_FLOAT_EQ(LeadingNumber("3.6V "), 3.6f);
  EXPECT_FLOAT_EQ(LeadingNumber("  +4.25"), 4.25f);
  EXPECT_FLOAT_EQ(LeadingNumber("-1.5"), -1.5f);
  EXPECT_FLOAT_EQ(LeadingNumber(".5"), 0.5f);
  EXPECT_EQ(LeadingNumber("V3.6"), 0.0f);
  EXPECT_EQ(LeadingNumber(""), 0.0f);
  EXPECT_EQ(LeadingNumber("nan"), 0.0f);
}

TEST(NumberText, PointDecimalsInTheDefaultLocale) { ExpectPointFormats(); }

TEST(NumberText, EveryReadingAndThresholdRoundsAsTheCLibraryDoes) {
  // Every 12-bit reading and 8-bit threshold, as the window stores them
  // (single precision) and as doubles.
  auto same = [](double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);  // the "C" locale of this test
    return Fixed3(v) == buf;
  };
  for (int count = 0; count <= 4095; ++count) {
    ASSERT_TRUE(same(count * 0.0015)) << count;
    ASSERT_TRUE(same(static_cast<float>(count * 0.0015))) << count;
  }
  for (int count = 0; count <= 255; ++count) ASSERT_TRUE(same(count * 0.024)) << count;
}

TEST(NumberText, PointDecimalsUnderADecimalCommaLocale) {
  CommaLocale comma;
  if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  ExpectPointFormats();
  EXPECT_FLOAT_EQ(LeadingNumber("3,6"), 3.0f);  // a comma is no decimal separator here
}

}  // namespace
}  // namespace eb
