// The udev rule the permission hint names: it is where the hint says, and it
// hands over every FTDI product the transport and --probe look for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "link/ftdi_functions.h"
#include "link/hints.h"

namespace eb {
namespace {

bool Has(const std::string& line, const std::string& part) {
  return line.find(part) != std::string::npos;
}

TEST(UdevRule, GivesEveryBridgeProductToTheUserWithoutRoot) {
  const std::string path = std::string(EB_SOURCE_DIR) + "/" + std::string(kUdevRule);
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  EXPECT_NE(PermissionHint().find(std::string(kUdevRule)), std::string::npos);
  EXPECT_NE(UdevInstallCommand().find(std::string(kUdevRule)), std::string::npos);
  std::set<std::string> usb, tty;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    EXPECT_TRUE(Has(line, "idVendor}==\"0403\""));
    EXPECT_TRUE(Has(line, "TAG+=\"uaccess\""));
    const std::size_t at = line.find("idProduct}==\"");
    ASSERT_NE(at, std::string::npos);
    const std::string product = line.substr(at + 13, 4);
    if (Has(line, "SUBSYSTEM==\"usb\"")) {
      EXPECT_TRUE(Has(line, "GROUP=\"plugdev\""));
      EXPECT_TRUE(Has(line, "MODE=\"0660\""));
      usb.insert(product);
    } else {
      EXPECT_TRUE(Has(line, "SUBSYSTEM==\"tty\""));
      tty.insert(product);
    }
  }
  std::set<std::string> wanted;
  for (int pid : kFtdiProducts) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", pid);
    wanted.insert(hex);
  }
  EXPECT_EQ(usb, wanted);
  EXPECT_EQ(tty, wanted);
}

}  // namespace
}  // namespace eb
