// The udev rule the permission hint names is where the hint says, and hands
// over every FTDI product the transport and --probe look for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

#include "link/ftdi_functions.h"
#include "link/hints.h"

namespace eb {
namespace {

TEST(UdevRule, GivesEveryBridgeProductToTheUserWithoutRoot) {
  ASSERT_NE(PermissionHint().find(std::string(kUdevRule)), std::string::npos);
  std::ifstream in(std::string(EB_SOURCE_DIR) + "/" + std::string(kUdevRule));
  ASSERT_TRUE(in);
  const std::regex usb(
      R"re(SUBSYSTEM=="usb", ENV\{DEVTYPE\}=="usb_device", ATTR\{idVendor\}=="0403", )re"
      R"re(ATTR\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess", GROUP="plugdev", MODE="0660")re");
  const std::regex tty(
      R"re(SUBSYSTEM=="tty", ATTRS\{idVendor\}=="0403", ATTRS\{idProduct\}=="([0-9a-f]{4})", )re"
      R"re(TAG\+="uaccess")re");
  std::set<std::string> usbProducts, ttyProducts, wanted;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (std::regex_match(line, m, usb)) {
      usbProducts.insert(m[1]);
    } else {
      EXPECT_TRUE(std::regex_match(line, m, tty)) << line;
      ttyProducts.insert(m[1]);
    }
  }
  for (int pid : kFtdiProducts) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", pid);
    wanted.insert(hex);
  }
  EXPECT_EQ(usbProducts, wanted);
  EXPECT_EQ(ttyProducts, wanted);
}

}  // namespace
}  // namespace eb
