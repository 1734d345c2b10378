// The FTDI transport against a scripted libftdi: reads that arrive in pieces
// or only as modem-status packets, the read deadline across transfers, USB
// failures part-way through a transaction, each kind of open failure, one
// libusb session per bridge, and that Close releases what Open took.
#include "link/ftdi_bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>

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

  std::unique_ptr<FtdiBridge> Make(const FtdiSettings& s = FtdiSettings{}) {
    return std::make_unique<FtdiBridge>(s, ftdi);
  }

  FakeFtdi ftdi;
};

// ------------------------------------------------------------------ reads

TEST_F(FtdiTest, AReplyInPiecesIsPutTogetherAcrossTransfers) {
  ftdi.transfers = {{0, "FFFF"}, {1, "0102"}, {0, ""}, {2, "0304AB"}};
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(1000, 1000);
  char buf[18];
  std::fill(std::begin(buf), std::end(buf), '#');
  const auto start = Clock::now();
  EXPECT_EQ(bridge->Read(buf, 14), 14u);
  EXPECT_EQ(std::string(buf, 14), "FFFF01020304AB");
  EXPECT_EQ(buf[14], '#');
  EXPECT_EQ(ftdi.reads, 4);
  EXPECT_LT(MsSince(start), 500);  // complete: no waiting for the time-out

  // Fewer characters than asked: what came, after the time-out.
  ftdi.transfers = {{0, "FFFF"}, {0, "01"}};
  bridge->SetTimeouts(100, 1000);
  std::fill(std::begin(buf), std::end(buf), '#');
  const auto start2 = Clock::now();
  EXPECT_EQ(bridge->Read(buf, 18), 6u);
  EXPECT_GE(MsSince(start2), 95);
  EXPECT_EQ(std::string(buf, 7), "FFFF01#");
  EXPECT_EQ(bridge->LastError(), "");  // a short reply is no failure
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
}

TEST_F(FtdiTest, PacketsWithOnlyModemStatusBytesDeliverNothingUntilDataComes) {
  for (int i = 0; i < 5; ++i) ftdi.transfers.push_back({2, ""});
  ftdi.transfers.push_back({0, "F0E1D2"});
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(1000, 1000);
  char buf[6];
  EXPECT_EQ(bridge->Read(buf, 6), 6u);
  EXPECT_EQ(std::string(buf, 6), "F0E1D2");
  EXPECT_EQ(ftdi.reads, 6);
  bridge->Close();
}

TEST_F(FtdiTest, AReadToTheLineEndReturnsWithItsCrLf) {
  // Packets of 11 characters: the CR closes the third, the LF comes alone.
  ftdi.packet = 11;
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(200, 50);
  ASSERT_EQ(bridge->Write("IZ"), 2u);
  char buf[50];
  const auto start = Clock::now();
  ASSERT_EQ(bridge->ReadLine(buf, 50), FakeFtdi::kIdentity.size());
  EXPECT_LT(MsSince(start), 100);
  EXPECT_EQ(std::string(buf, 34), FakeFtdi::kIdentity);
  EXPECT_EQ(ftdi.reads, 4);
  bridge->Close();

  // The same identify read to its count waits out the whole time-out.
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(200, 50);
  bridge->Write("IZ");
  const auto start2 = Clock::now();
  EXPECT_EQ(bridge->Read(buf, 50), 34u);
  EXPECT_GE(MsSince(start2), 190);
  bridge->Close();

  // A line read still ends at its count or its time-out.
  ftdi.transfers = {{0, "no line end here"}};
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(60, 50);
  EXPECT_EQ(bridge->ReadLine(buf, 7), 7u);
  EXPECT_EQ(bridge->ReadLine(buf, 50), 9u);  // " end here", then the time-out
  bridge->Close();
}

TEST_F(FtdiTest, TheReadDeadlineHoldsAcrossTransfers) {
  // A status packet late in the time-out, then a device that sends nothing:
  // the second transfer may only wait what is left of the time-out.
  ftdi.transfers = {{150, ""}, {1000, "late"}};
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(200, 50);
  char buf[8];
  const auto start = Clock::now();
  EXPECT_EQ(bridge->Read(buf, 8), 0u);
  const long long ms = MsSince(start);
  EXPECT_GE(ms, 190);
  EXPECT_LT(ms, 300);  // each transfer given the whole 200 ms would take 350
  ASSERT_EQ(ftdi.readTimeouts.size(), 2u);
  EXPECT_EQ(ftdi.readTimeouts[0], 200);
  EXPECT_LE(ftdi.readTimeouts[1], 51);
  EXPECT_EQ(bridge->LastError(), "");  // running out of time is no failure
  bridge->Close();

  // A read time-out of 0 still makes one transfer, of 1 ms.
  ftdi.transfers.clear();
  ftdi.readTimeouts.clear();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(0, 50);
  EXPECT_EQ(bridge->Read(buf, 8), 0u);
  EXPECT_EQ(ftdi.readTimeouts, std::vector<int>{1});
  bridge->Close();
}

// ------------------------------------------------------------------ failures

TEST_F(FtdiTest, AWriteThatFailsEndsTheTransaction) {
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(500, 50);
  ftdi.writeCode = LIBUSB_ERROR_NO_DEVICE;
  EXPECT_EQ(bridge->Write("IZ"), 0u);
  const LinkError failure = bridge->LastFailure();
  EXPECT_EQ(failure.trouble, Trouble::kLost);
  EXPECT_EQ(failure.cause,
            "FTDI device 0403:6001 went away while writing (libftdi: usb bulk write failed; USB: "
            "no such device)");
  EXPECT_EQ(failure.hint, "check the USB cable, then unplug and replug the bridge");
  // Nothing is waited for after the command did not go out.
  char buf[4] = {'#', '#', '#', '#'};
  const auto start = Clock::now();
  EXPECT_EQ(bridge->ReadLine(buf, 4), 0u);
  EXPECT_LT(MsSince(start), 100);
  EXPECT_EQ(ftdi.reads, 0);
  EXPECT_EQ(buf[0], '#');
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  // The next transaction starts afresh.
  ASSERT_TRUE(bridge->Open(0));
  EXPECT_EQ(bridge->LastFailure().trouble, Trouble::kNone);
  EXPECT_EQ(bridge->Write("IZ"), 2u);
  bridge->Close();
}

TEST_F(FtdiTest, AReadThatFailsPartWayDeliversWhatArrived) {
  ftdi.transfers = {{0, "FFFF01"}, {0, "", LIBUSB_ERROR_NO_DEVICE}, {0, "0203"}};
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge->SetTimeouts(500, 50);
  char buf[18];
  std::fill(std::begin(buf), std::end(buf), '#');
  EXPECT_EQ(bridge->Read(buf, 18), 6u);
  EXPECT_EQ(std::string(buf, 7), "FFFF01#");
  EXPECT_EQ(bridge->LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(bridge->LastError(),
            "FTDI device 0403:6001 went away while reading (libftdi: usb bulk read failed; USB: "
            "no such device)");
  // The transaction is over: a further read makes no transfer.
  EXPECT_EQ(bridge->Read(buf, 4), 0u);
  EXPECT_EQ(ftdi.reads, 2);
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);

  // Another USB error says "failed" rather than "went away".
  ftdi.transfers = {{0, "FF"}, {0, "", LIBUSB_ERROR_IO}};
  ASSERT_TRUE(bridge->Open(0));
  EXPECT_EQ(bridge->Read(buf, 18), 2u);
  EXPECT_EQ(bridge->LastError(),
            "FTDI device 0403:6001 failed while reading (libftdi: usb bulk read failed; USB: "
            "input/output error)");
  bridge->Close();
}

struct OpenCase {
  int code;
  const char* text;
  Trouble trouble;
  const char* cause;
  const char* hint;
};

TEST_F(FtdiTest, EachKindOfOpenFailureSaysItsCauseAndWhatToDo) {
  const OpenCase cases[] = {
      {-3, "device not found", Trouble::kNoDevice, "no FTDI device 0403:6001 found",
       "--probe lists"},
      {-4, "usb_open() failed", Trouble::kPermission,
       "no permission to open FTDI device 0403:6001 (libftdi: usb_open() failed)",
       "packaging/udev/60-eb2250-bridge.rules"},
      {-8, "inappropriate permissions on device!", Trouble::kPermission,
       "no permission to open FTDI device 0403:6001 (libftdi: inappropriate permissions",
       "no permission for this user: install the udev rule"},
      {-5, "unable to claim usb device. Make sure the default FTDI driver is not in use",
       Trouble::kBusy, "FTDI device 0403:6001 is claimed by another program",
       "close the other program"},
      {-3, "unable to set usb configuration. Make sure the default FTDI driver is not in use",
       Trouble::kBusy, "FTDI device 0403:6001 is held by a kernel driver", "--bridge tty:"},
      {-12, "libusb_get_device_list() failed", Trouble::kOther,
       "cannot open FTDI device 0403:6001 (libftdi -12: libusb_get_device_list() failed)",
       "unplug and replug"},
  };
  std::set<std::string> lines;
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.text);
    ftdi.devices[0].openCode = c.code;
    ftdi.devices[0].openText = c.text;
    if (c.code == -3 && std::string(c.text) == "device not found") ftdi.devices.clear();
    auto bridge = Make();
    EXPECT_FALSE(bridge->Open(0));
    EXPECT_FALSE(bridge->IsOpen());
    const LinkError failure = bridge->LastFailure();
    EXPECT_EQ(failure.trouble, c.trouble);
    EXPECT_NE(failure.cause.find(c.cause), std::string::npos) << failure.cause;
    EXPECT_NE(failure.hint.find(c.hint), std::string::npos) << failure.hint;
    EXPECT_EQ(failure.Line().find('\n'), std::string::npos);
    lines.insert(failure.Line());
    // Nothing was taken, and nothing is delivered.
    EXPECT_EQ(ftdi.OpenDevices(), 0);
    bridge->SetTimeouts(200, 50);
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(bridge->Write("IZ"), 0u);
    EXPECT_EQ(bridge->ReadLine(buf, 4), 0u);
    EXPECT_EQ(buf[0], '#');
    bridge->Close();
    EXPECT_EQ(ftdi.idleCloses, 0);
    bridge.reset();
    EXPECT_EQ(ftdi.LiveContexts(), 0);
    if (ftdi.devices.empty()) ftdi.devices.push_back(FakeFtdi::Bridge());
  }
  EXPECT_EQ(lines.size(), std::size(cases));
}

TEST_F(FtdiTest, ASetupStepThatFailsClosesTheDeviceAgain) {
  FtdiSettings s;
  s.baud = 115200;
  ftdi.baudCode = -1;
  auto bridge = Make(s);
  EXPECT_FALSE(bridge->Open(0));
  EXPECT_EQ(bridge->LastError(),
            "FTDI device 0403:6001 refused 115200 baud (libftdi: Setting new baudrate failed)");
  EXPECT_EQ(ftdi.devicesOpened, 1);
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(bridge->Write("IZ"), 0u);

  ftdi.baudCode = 0;
  ftdi.latencyCode = -1;
  EXPECT_FALSE(bridge->Open(0));
  EXPECT_EQ(bridge->LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(ftdi.OpenDevices(), 0);

  ftdi.latencyCode = 0;
  EXPECT_TRUE(bridge->Open(0));
  EXPECT_EQ(ftdi.OpenDevices(), 1);
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
}

TEST_F(FtdiTest, WithoutUsbNothingOpensAndTheSessionIsTriedAgain) {
  ftdi.usbWorks = false;
  auto bridge = Make();
  EXPECT_FALSE(bridge->Open(0));
  EXPECT_FALSE(bridge->HasSession());
  EXPECT_EQ(bridge->LastFailure().trouble, Trouble::kOther);
  EXPECT_EQ(bridge->LastError(), "USB cannot be used: libusb could not be started");
  EXPECT_NE(bridge->LastFailure().hint.find("/dev/bus/usb"), std::string::npos);
  EXPECT_EQ(ftdi.openAttempts, 0);
  ftdi.usbWorks = true;
  EXPECT_TRUE(bridge->Open(0));
  EXPECT_TRUE(bridge->HasSession());
  bridge->Close();
  EXPECT_EQ(ftdi.contextsMade, 1);
}

// ------------------------------------------------------------------ sessions

TEST_F(FtdiTest, OneLibusbSessionServesEveryTransactionOfTheBridge) {
  auto bridge = Make();
  EXPECT_FALSE(bridge->HasSession());  // nothing is made before the first Open
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(bridge->Open(0));
    bridge->SetTimeouts(200, 50);
    bridge->Write("IZ");
    char buf[50];
    ASSERT_EQ(bridge->ReadLine(buf, 50), 34u);
    bridge->Close();
    ASSERT_EQ(ftdi.OpenDevices(), 0);
  }
  EXPECT_EQ(ftdi.contextsMade, 1);
  EXPECT_EQ(ftdi.devicesOpened, 100);
  EXPECT_EQ(ftdi.devicesClosed, 100);
  // Failed opens reuse it as well.
  ftdi.devices[0].openCode = -4;
  ftdi.devices[0].openText = "usb_open() failed";
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(bridge->Open(0));
  EXPECT_EQ(ftdi.contextsMade, 1);
  EXPECT_EQ(ftdi.LiveContexts(), 1);
  bridge.reset();
  EXPECT_EQ(ftdi.LiveContexts(), 0);
}

TEST_F(FtdiTest, CloseReleasesWhatOpenTookOnEveryPath) {
  // Destroyed while open: the device is closed, then the session ended.
  auto bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  bridge.reset();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.LiveContexts(), 0);

  // Open twice without Close: the first device is closed before the second.
  bridge = Make();
  ASSERT_TRUE(bridge->Open(0));
  ASSERT_TRUE(bridge->Open(0));
  EXPECT_EQ(ftdi.OpenDevices(), 1);
  // Close twice: one release.
  bridge->Close();
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.idleCloses, 0);

  // After a failed read and a failed write.
  ftdi.transfers = {{0, "", LIBUSB_ERROR_PIPE}};
  ASSERT_TRUE(bridge->Open(0));
  char buf[4];
  EXPECT_EQ(bridge->Read(buf, 4), 0u);
  bridge->Close();
  ASSERT_TRUE(bridge->Open(0));
  ftdi.writeCode = LIBUSB_ERROR_TIMEOUT;
  EXPECT_EQ(bridge->Write("MI"), 0u);
  bridge->Close();
  EXPECT_EQ(ftdi.OpenDevices(), 0);
  EXPECT_EQ(ftdi.devicesOpened, ftdi.devicesClosed);
  bridge.reset();
  EXPECT_EQ(ftdi.contextsMade, ftdi.contextsFreed);
}

TEST_F(FtdiTest, ASerialNumberPicksTheSameDeviceInAnyBusOrder) {
  ftdi.devices = {FakeFtdi::Bridge("A1"), FakeFtdi::Bridge("B2")};
  FtdiSettings s;
  s.serial = "B2";
  auto bridge = Make(s);
  EXPECT_EQ(bridge->Describe(), "FTDI device vid 0403 pid 6001 serial B2");
  ASSERT_TRUE(bridge->Open(0));
  bridge->Close();
  std::swap(ftdi.devices[0], ftdi.devices[1]);  // replugged the other way round
  ASSERT_TRUE(bridge->Open(0));
  bridge->Close();
  EXPECT_EQ(ftdi.opened, (std::vector<int>{1, 0}));

  s.serial = "C3";
  auto absent = Make(s);
  EXPECT_FALSE(absent->Open(0));
  EXPECT_EQ(absent->LastFailure().trouble, Trouble::kNoDevice);
  EXPECT_EQ(absent->LastError(), "no FTDI device 0403:6001 serial C3 found");

  // Without a serial number, the index counts devices in bus order.
  FtdiSettings second;
  second.index = 1;
  auto byIndex = Make(second);
  ASSERT_TRUE(byIndex->Open(0));
  byIndex->Close();
  EXPECT_EQ(ftdi.opened.back(), 1);
}

TEST(FtdiSettingsText, SerialNumbersGoThroughTheSettingsParser) {
  std::string error;
  auto s = ParseFtdiSettings("serial=A50285BI", &error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->serial, "A50285BI");
  EXPECT_EQ(s->pid, 0x6001);
  auto both = ParseFtdiSettings("pid=6014,serial=FT0X-12_a.b", &error);
  ASSERT_TRUE(both) << error;
  EXPECT_EQ(both->serial, "FT0X-12_a.b");
  EXPECT_EQ(both->pid, 0x6014);

  EXPECT_FALSE(ParseFtdiSettings("serial=", &error));
  EXPECT_EQ(error,
            "ftdi setting 'serial': '' is not a serial number (1 .. 64 printable characters "
            "without spaces)");
  EXPECT_FALSE(ParseFtdiSettings("serial=two words", &error));
  EXPECT_FALSE(ParseFtdiSettings("serial=\x01\x02", &error));
  EXPECT_EQ(error.find('\x01'), std::string::npos);  // quoted as \x01
  EXPECT_FALSE(ParseFtdiSettings("serial=" + std::string(65, 'A'), &error));
  EXPECT_TRUE(ParseFtdiSettings("serial=" + std::string(64, 'A'), &error));
  EXPECT_FALSE(ParseFtdiSettings("serial=A,serial=B", &error));
  EXPECT_NE(error.find("given twice"), std::string::npos);
}

}  // namespace
}  // namespace eb
