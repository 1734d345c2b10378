// The FTDI transport against a scripted libftdi: reads in pieces and
// status-only packets, the read deadline across transfers, USB failures
// part-way through a transaction, each kind of open failure, one libusb
// session per bridge, and Close releasing what Open took on every path.
#include "link/ftdi_bridge.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <set>

#include "support/fake_ftdi.h"

namespace eb {
namespace {

using test::FakeFtdi;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class FtdiTest : public ::testing::Test {
 protected:
  void SetUp() override { ftdi.devices.push_back(FakeFtdi::Bridge()); }
  // Opens, sets the time-outs and writes `command`.
  void Begin(FtdiBridge& b, int readMs, std::string_view command = "") {
    ASSERT_TRUE(b.Open(0)) << b.LastError();
    b.SetTimeouts(readMs, 50);
    if (!command.empty()) b.Write(command);
  }
  FakeFtdi ftdi;
  char buf[50];
};

TEST_F(FtdiTest, RepliesInPiecesAndAfterStatusOnlyPacketsArePutTogether) {
  FtdiBridge bridge({}, ftdi);
  ftdi.transfers = {{0, "FFFF"}, {2, ""}, {2, ""}, {1, "0102"}, {2, "0304AB"}};
  std::fill(std::begin(buf), std::end(buf), '#');
  Begin(bridge, 1000);
  const auto start = Clock::now();
  EXPECT_EQ(bridge.Read(buf, 14), 14u);
  EXPECT_LT(MsSince(start), 500);  // complete: no wait for the time-out
  EXPECT_EQ(std::string(buf, 15), "FFFF01020304AB#");
  EXPECT_EQ(ftdi.reads, 5);
  // Fewer characters than asked: what came, at the time-out, and no failure.
  ftdi.transfers = {{0, "FFFF"}, {0, "01"}};
  bridge.SetTimeouts(100, 50);
  const auto start2 = Clock::now();
  EXPECT_EQ(bridge.Read(buf, 18), 6u);
  EXPECT_GE(MsSince(start2), 95);
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kNone);
  bridge.Close();
}

TEST_F(FtdiTest, ALineReadEndsAtItsCrLfAndAReadToTheCountWaitsTheTimeOut) {
  FtdiBridge bridge({}, ftdi);
  ftdi.packet = 11;  // the CR closes the third packet, the LF comes alone
  Begin(bridge, 1000, "IZ");
  auto start = Clock::now();
  ASSERT_EQ(bridge.ReadLine(buf, 50), 34u);
  EXPECT_LT(MsSince(start), 500);  // the CR LF ended it, long before the time-out
  EXPECT_EQ(std::string(buf, 34), FakeFtdi::kIdentity);
  bridge.Close();
  Begin(bridge, 200, "IZ");
  start = Clock::now();
  EXPECT_EQ(bridge.Read(buf, 50), 34u);
  EXPECT_GE(MsSince(start), 190);
  bridge.Close();
  // Without a line end the count and the time-out still end a line read.
  ftdi.transfers = {{0, "no line end here"}};
  Begin(bridge, 60);
  EXPECT_EQ(bridge.ReadLine(buf, 7), 7u);
  EXPECT_EQ(bridge.ReadLine(buf, 50), 9u);
  bridge.Close();
}

TEST_F(FtdiTest, TheReadDeadlineHoldsAcrossTransfers) {
  // A status packet late in the time-out, then silence: the second transfer
  // may wait only what is left (given the whole 200 ms it would end at 350).
  FtdiBridge bridge({}, ftdi);
  ftdi.transfers = {{150, ""}, {1000, "late"}};
  Begin(bridge, 200);
  const auto start = Clock::now();
  EXPECT_EQ(bridge.Read(buf, 8), 0u);
  EXPECT_GE(MsSince(start), 190);
  EXPECT_LT(MsSince(start), 300);
  ASSERT_EQ(ftdi.readTimeouts.size(), 2u);
  EXPECT_EQ(ftdi.readTimeouts[0], 200);
  EXPECT_LE(ftdi.readTimeouts[1], 51);
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kNone);  // running out of time is no failure
  bridge.Close();
}

TEST_F(FtdiTest, AFailedTransferDeliversWhatArrivedAndEndsTheTransaction) {
  FtdiBridge bridge({}, ftdi);
  ftdi.transfers = {{0, "FFFF01"}, {0, "", LIBUSB_ERROR_NO_DEVICE}, {0, "0203"}};
  std::fill(std::begin(buf), std::end(buf), '#');
  Begin(bridge, 500);
  EXPECT_EQ(bridge.Read(buf, 18), 6u);
  EXPECT_EQ(std::string(buf, 7), "FFFF01#");
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(bridge.LastFailure().Line(),
            "FTDI device 0403:6001 went away while reading (libftdi: usb bulk read failed; USB: "
            "no such device); check the USB cable, then unplug and replug the bridge");
  EXPECT_EQ(bridge.Read(buf, 4), 0u);  // no further transfer
  EXPECT_EQ(ftdi.reads, 2);
  bridge.Close();
  // A write that fails: nothing is waited for after it.
  Begin(bridge, 500);
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kNone);  // Open starts afresh
  ftdi.writeCode = LIBUSB_ERROR_IO;
  EXPECT_EQ(bridge.Write("IZ"), 0u);
  EXPECT_EQ(bridge.LastError(),
            "FTDI device 0403:6001 failed while writing (libftdi: usb bulk write failed; USB: "
            "input/output error)");
  const auto start = Clock::now();
  EXPECT_EQ(bridge.ReadLine(buf, 4), 0u);
  EXPECT_LT(MsSince(start), 100);
  EXPECT_EQ(ftdi.reads, 2);
  bridge.Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
}

TEST_F(FtdiTest, EachKindOfOpenFailureSaysItsCauseAndWhatToDo) {
  // libftdi's -4 is any failed libusb_open: the device node tells a device
  // that refuses this user from one that is going away.
  struct Case {
    int code;
    const char* text;
    int access;  // errno of the device node (ENOENT: no longer on the bus)
    Trouble trouble;
    const char* cause;
    const char* hint;
  } const cases[] = {
      {0, "", 0, Trouble::kNoDevice, "no FTDI device 0403:6001 found", "--probe lists"},
      {-4, "usb_open() failed", EACCES, Trouble::kPermission,
       "no permission to open FTDI device 0403:6001 (libftdi: usb_open() failed)",
       "no permission for this user: install the udev rule packaging/udev/60-eb2250-bridge.rules"},
      {-4, "usb_open() failed", ENOENT, Trouble::kNoDevice,
       "FTDI device 0403:6001 went away while it was being opened", "replug"},
      {-4, "usb_open() failed", 0, Trouble::kOther,
       "cannot open FTDI device 0403:6001 (libftdi -4: usb_open() failed)", "replug"},
      {-8, "inappropriate permissions on device!", 0, Trouble::kPermission, "no permission to open",
       "60-eb2250-bridge.rules"},
      {-5, "unable to claim usb device. Make sure the default FTDI driver is not in use", 0,
       Trouble::kBusy, "0403:6001 is claimed by another program", "close the other program"},
      {-3, "unable to set usb configuration. Make sure the default FTDI driver is not in use", 0,
       Trouble::kBusy, "0403:6001 is held by a kernel driver", "--bridge tty:"},
      {-3, "unable to set usb configuration. Make sure the default FTDI driver is not in use",
       ENOENT, Trouble::kNoDevice, "0403:6001 went away while it was being opened", "replug"},
      {-12, "libusb_get_device_list() failed", 0, Trouble::kOther,
       "cannot open FTDI device 0403:6001 (libftdi -12: ", "replug"},
  };
  std::set<std::string> lines;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cause);
    ftdi.devices[0].pid = c.code == 0 ? 0x6014 : 0x6001;  // nothing at 0403:6001
    ftdi.devices[0].openCode = c.code;
    ftdi.devices[0].openText = c.text;
    ftdi.devices[0].onBus = c.access != ENOENT;
    ftdi.devices[0].access = c.access;
    {
      FtdiBridge bridge({}, ftdi);
      EXPECT_FALSE(bridge.Open(0));
      const LinkError failure = bridge.LastFailure();
      EXPECT_EQ(failure.trouble, c.trouble);
      EXPECT_NE(failure.cause.find(c.cause), std::string::npos) << failure.cause;
      EXPECT_NE(failure.hint.find(c.hint), std::string::npos) << failure.hint;
      EXPECT_EQ(failure.Line().find('\n'), std::string::npos);
      lines.insert(failure.Line());
      buf[0] = '#';
      EXPECT_EQ(bridge.Write("IZ"), 0u);
      EXPECT_EQ(bridge.ReadLine(buf, 4), 0u);
      EXPECT_EQ(buf[0], '#');
      bridge.Close();
    }
    EXPECT_EQ(ftdi.OpenDevices(), 0);
    EXPECT_EQ(ftdi.LiveContexts(), 0);
  }
  EXPECT_EQ(ftdi.idleCloses, 0);
  EXPECT_EQ(lines.size(), std::size(cases));
}

TEST_F(FtdiTest, ASetupStepOrUsbItselfFailingLeavesNothingOpen) {
  FtdiSettings s;
  s.baud = 115200;
  FtdiBridge bridge(s, ftdi);
  ftdi.baudCode = -1;
  EXPECT_FALSE(bridge.Open(0));
  EXPECT_EQ(bridge.LastError(),
            "FTDI device 0403:6001 refused 115200 baud (libftdi: Setting new baudrate failed)");
  ftdi.latencyCode = -1;
  EXPECT_FALSE(bridge.Open(0));
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(ftdi.devicesOpened, 2);
  EXPECT_EQ(ftdi.OpenDevices(), 0);

  FakeFtdi noUsb;
  noUsb.usbWorks = false;
  FtdiBridge without({}, noUsb);
  EXPECT_FALSE(without.Open(0));
  EXPECT_EQ(without.LastFailure().Line(),
            "USB cannot be used: libusb could not be started; check that /dev/bus/usb exists (a "
            "container needs the USB bus passed in)");
  noUsb.usbWorks = true;
  noUsb.devices = ftdi.devices;
  EXPECT_TRUE(without.Open(0));  // the session is tried again
  without.Close();
}

TEST_F(FtdiTest, OneLibusbSessionServesTheBridgeAndEverythingTakenIsGivenBack) {
  auto bridge = std::make_unique<FtdiBridge>(FtdiSettings{}, ftdi);
  EXPECT_FALSE(bridge->HasSession());  // nothing is made before the first Open
  for (int i = 0; i < 100; ++i) {
    Begin(*bridge, 200, "IZ");
    ASSERT_EQ(bridge->ReadLine(buf, 50), 34u);
    bridge->Close();
    ASSERT_EQ(ftdi.OpenDevices(), 0);
  }
  EXPECT_EQ(ftdi.contextsMade, 1);
  EXPECT_EQ(ftdi.devicesOpened, 100);
  // Failed transfers, a second Open without Close, a second Close.
  ftdi.transfers = {{0, "", LIBUSB_ERROR_PIPE}};
  Begin(*bridge, 200);
  EXPECT_EQ(bridge->Read(buf, 4), 0u);
  bridge->Close();
  Begin(*bridge, 200);
  ftdi.writeCode = LIBUSB_ERROR_TIMEOUT;
  EXPECT_EQ(bridge->Write("MI"), 0u);
  ASSERT_TRUE(bridge->Open(0));
  EXPECT_EQ(ftdi.OpenDevices(), 1);
  bridge->Close();
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.idleCloses, 0);
  // Destroyed while open: the device is closed, then the session ended.
  Begin(*bridge, 200);
  bridge.reset();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.contextsMade, 1);
  EXPECT_EQ(ftdi.LiveContexts(), 0);
}

TEST_F(FtdiTest, ASerialNumberPicksTheSameDeviceInAnyBusOrder) {
  std::string error;
  auto s = ParseFtdiSettings("serial=B2", &error);
  ASSERT_TRUE(s) << error;
  EXPECT_FALSE(ParseFtdiSettings("serial=two words", &error));
  EXPECT_EQ(error,
            "ftdi setting 'serial': 'two words' is not a serial number (1 .. 64 printable "
            "characters without spaces)");
  EXPECT_FALSE(ParseFtdiSettings("serial=" + std::string(65, 'A'), &error));
  EXPECT_TRUE(ParseFtdiSettings("serial=" + std::string(64, 'A'), &error));

  ftdi.devices = {FakeFtdi::Bridge("A1"), FakeFtdi::Bridge("B2")};
  FtdiBridge bridge(*s, ftdi);
  EXPECT_EQ(bridge.Describe(), "FTDI device vid 0403 pid 6001 serial B2");
  for (int i = 0; i < 2; ++i) {
    Begin(bridge, 200);
    bridge.Close();
    std::swap(ftdi.devices[0], ftdi.devices[1]);  // replugged the other way round
  }
  EXPECT_EQ(ftdi.opened, (std::vector<int>{1, 0}));
  s->serial = "C3";
  FtdiBridge absent(*s, ftdi);
  EXPECT_FALSE(absent.Open(0));
  EXPECT_EQ(absent.LastError(), "no FTDI device 0403:6001 serial C3 found");
}

}  // namespace
}  // namespace eb

namespace eb {
namespace {

TEST_F(FtdiTest, ALateReplyIsDiscardedBeforeTheNextCommand) {
  // The reply of the first read comes 50 ms after its 100 ms time-out.
  FtdiBridge bridge({}, ftdi);
  ftdi.transfers = {{150, "FFFF0102030405"}};
  Begin(bridge, 100);
  EXPECT_EQ(bridge.Read(buf, 14), 0u);
  bridge.Close();
  Begin(bridge, 200, "IZ");
  ASSERT_EQ(bridge.ReadLine(buf, 50), 34u);
  EXPECT_EQ(std::string(buf, 34), FakeFtdi::kIdentity);
  bridge.Close();
}

TEST_F(FtdiTest, APortInUseIsNotTakenAndTheDriverGetsTheDeviceBack) {
  ftdi.devices[0].port = "/dev/ttyUSB0";
  ftdi.devices[0].holder = "minicom (pid 4242)";
  {
    FtdiBridge bridge({}, ftdi);
    EXPECT_FALSE(bridge.Open(0));
    EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kBusy);
    EXPECT_EQ(bridge.LastFailure().Line(),
              "FTDI device 0403:6001 is in use: its serial port /dev/ttyUSB0 is open in minicom "
              "(pid 4242); close that program first, or reach the bridge through that port "
              "(--bridge tty:/dev/ttyUSB0)");
    EXPECT_EQ(ftdi.devicesOpened, 0);
    ftdi.devices[0].holder.clear();
    for (int i = 0; i < 3; ++i) {
      Begin(bridge, 200);
      bridge.Close();
    }
    EXPECT_EQ(ftdi.givenBack, 0);  // only when the bridge ends
  }
  EXPECT_EQ(ftdi.givenBack, 1);
  ftdi.devices[0].port.clear();  // no serial driver had it: nothing to give back
  {
    FtdiBridge other({}, ftdi);
    ASSERT_TRUE(other.Open(0));
  }
  EXPECT_EQ(ftdi.givenBack, 1);
}

}  // namespace
}  // namespace eb
