// --probe against the scripted libftdi: the devices with their ids, serial
// numbers and descriptions, what answered the identify on each, and what
// keeps the probe from listing anything.
#include "wiring/probe.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/fake_ftdi.h"

namespace eb {
namespace {

using test::FakeFtdi;

struct Probed {
  int status;
  std::string out, err;
};

Probed Probe(FakeFtdi& ftdi) {
  std::ostringstream out, err;
  const int status = ProbeFtdiDevices(ftdi, out, err, "eb2250-gui");
  return {status, out.str(), err.str()};
}

TEST(ProbeFtdi, ListsEveryDeviceAndWhatAnsweredOnEach) {
  FakeFtdi ftdi;
  FakeFtdi::Device locked, other = FakeFtdi::Bridge("FT9", 0x6014), silent;
  locked.openCode = locked.stringsCode = -4;
  locked.openText = locked.stringsText = "usb_open() failed";
  locked.access = EACCES;  // its device node refuses this user
  other.description = "C232HM";
  other.answer = [](std::string_view) { return std::string("HELLO\r\n"); };
  silent.serial = "S1";
  ftdi.devices = {locked, FakeFtdi::Bridge("A50285BI"), other, silent};
  const Probed p = Probe(ftdi);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(p.out,
            "4 FTDI devices:\n"
            "0403:6001 index 0, no serial number (its strings could not be read: usb_open() "
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
            "0403:6014 index 0, serial FT9, \"C232HM\" by FTDI\n"
            "  identify: \"HELLO\\x0D\\x0A\" answered, no ZQM4417-2 (another device, or not the "
            "stack's bridge)\n"
            "1 of 4 answered as the bridge of a ZQM4417-2\n");
  // Each was opened by its serial number (the locked one by index); all
  // that was taken was given back.
  EXPECT_EQ(ftdi.opened, (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(ftdi.OpenDevices() + ftdi.LiveContexts(), 0);

  // Devices sharing a serial number are picked by index; no identity: status 1.
  ftdi.devices = {silent, silent};
  const Probed shared = Probe(ftdi);
  EXPECT_EQ(shared.status, 1);
  EXPECT_NE(shared.out.find("0 of 2 answered"), std::string::npos) << shared.out;
  EXPECT_EQ(ftdi.opened, (std::vector<int>{1, 3, 2, 0, 1}));
}

TEST(ProbeFtdi, WhatKeepsItFromListingIsOneLineWithAHint) {
  FakeFtdi none, noUsb, broken;
  noUsb.usbWorks = false;
  broken.findCode = -1;
  const std::string starts[] = {
      "eb2250-gui: no FTDI device found; check the USB cable and that the bridge is powered "
      "(lsusb lists the USB devices), or run with --simulate to try without hardware\n",
      "eb2250-gui: USB cannot be used: libusb could not be started; check that /dev/bus/usb",
      "eb2250-gui: cannot search the USB bus for FTDI devices (libftdi: "
      "libusb_get_device_list() failed); unplug and replug the bridge"};
  FakeFtdi* fakes[] = {&none, &noUsb, &broken};
  for (int i = 0; i < 3; ++i) {
    const Probed p = Probe(*fakes[i]);
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.out, "");
    EXPECT_EQ(p.err.rfind(starts[i], 0), 0u) << p.err;
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1);
    EXPECT_EQ(fakes[i]->LiveContexts(), 0);
  }
}

}  // namespace
}  // namespace eb
