// --probe against the scripted libftdi: the devices listed with their ids,
// serial numbers and descriptions, what answered the identify on each, and
// what keeps the probe from listing anything.
#include "wiring/probe.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/fake_ftdi.h"

namespace eb {
namespace {

using test::FakeFtdi;

struct Probe {
  int status = -1;
  std::string out;
  std::string err;
};

Probe RunProbe(FakeFtdi& ftdi) {
  std::ostringstream out, err;
  Probe p;
  p.status = ProbeFtdiDevices(ftdi, out, err, "eb2250-gui");
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(ProbeFtdi, ListsEveryDeviceAndWhatAnsweredOnEach) {
  FakeFtdi ftdi;
  FakeFtdi::Device locked = FakeFtdi::Bridge("L0CK3D");
  locked.openCode = -4;
  locked.openText = "usb_open() failed";
  locked.stringsCode = -4;
  locked.stringsText = "libusb_open() failed";
  FakeFtdi::Device other = FakeFtdi::Bridge("FT9", 0x6014);
  other.description = "C232HM-DDHSL-0";
  other.answer = [](std::string_view) { return std::string("HELLO\r\n"); };
  FakeFtdi::Device silent = FakeFtdi::Bridge("S1");
  silent.answer = nullptr;
  ftdi.devices = {locked, FakeFtdi::Bridge("A50285BI"), other, silent};

  const Probe p = RunProbe(ftdi);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(p.out,
            "4 FTDI devices:\n"
            "0403:6001 index 0, no serial number (its strings could not be read: libusb_open() "
            "failed)\n"
            "  identify: no permission to open FTDI device 0403:6001 (libftdi: usb_open() "
            "failed); no permission for this user: install the udev rule "
            "packaging/udev/60-eb2250-bridge.rules and replug the bridge (README, \"Connecting a "
            "real bridge\")\n"
            "0403:6001 index 1, serial A50285BI, \"UB774B USB-SPI\" by FTDI\n"
            "  identify: ZQM4417-2 answered \"ZQM4417-2 UB774B USB-SPI REV 2.1\\x0D\\x0A\"; use "
            "--bridge ftdi:serial=A50285BI\n"
            "0403:6001 index 2, serial S1, \"UB774B USB-SPI\" by FTDI\n"
            "  identify: nothing answered; check that the bridge is powered and its cables are "
            "plugged in\n"
            "0403:6014 index 0, serial FT9, \"C232HM-DDHSL-0\" by FTDI\n"
            "  identify: \"HELLO\\x0D\\x0A\" answered, no ZQM4417-2 (another device, or not the "
            "stack's bridge)\n"
            "1 of 4 answered as the bridge of a ZQM4417-2\n");
  // Each device was opened by its serial number (the locked one by index),
  // and everything taken was given back.
  EXPECT_EQ(ftdi.opened, (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.LiveContexts(), 0);
}

TEST(ProbeFtdi, DevicesSharingASerialNumberArePickedByIndex) {
  FakeFtdi ftdi;
  FakeFtdi::Device first = FakeFtdi::Bridge("SAME");
  first.answer = nullptr;
  ftdi.devices = {first, FakeFtdi::Bridge("SAME")};
  const Probe p = RunProbe(ftdi);
  EXPECT_EQ(p.status, 0);
  EXPECT_NE(p.out.find("use --bridge ftdi:index=1\n"), std::string::npos) << p.out;
  EXPECT_EQ(ftdi.opened, (std::vector<int>{0, 1}));
}

TEST(ProbeFtdi, NoIdentityMeansStatusOne) {
  FakeFtdi ftdi;
  FakeFtdi::Device silent = FakeFtdi::Bridge("S1", 0x6015);
  silent.answer = nullptr;
  ftdi.devices = {silent};
  const Probe p = RunProbe(ftdi);
  EXPECT_EQ(p.status, 1);
  EXPECT_NE(p.out.find("1 FTDI device:\n0403:6015 index 0, serial S1"), std::string::npos) << p.out;
  EXPECT_NE(p.out.find("0 of 1 answered"), std::string::npos);
}

TEST(ProbeFtdi, WhatKeepsItFromListingIsOneLineWithAHint) {
  FakeFtdi none;
  Probe p = RunProbe(none);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err,
            "eb2250-gui: no FTDI device found; check the USB cable and that the bridge is "
            "powered (lsusb lists the USB devices), or run with --simulate to try without "
            "hardware\n");
  EXPECT_EQ(none.LiveContexts(), 0);

  FakeFtdi noUsb;
  noUsb.usbWorks = false;
  p = RunProbe(noUsb);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err.rfind("eb2250-gui: USB cannot be used: libusb could not be started; ", 0), 0u);

  FakeFtdi broken;
  broken.findCode = -12;
  p = RunProbe(broken);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err,
            "eb2250-gui: cannot search the USB bus for FTDI devices (libftdi: "
            "libusb_get_device_list() failed); unplug and replug the bridge, or run with "
            "--simulate to try without hardware\n");
  EXPECT_EQ(broken.LiveContexts(), 0);
}

}  // namespace
}  // namespace eb
