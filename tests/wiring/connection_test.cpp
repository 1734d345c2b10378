// Connection strings and the real-hardware transports (serial port through a
// pseudo-terminal; the FTDI transport without a device).
#include "wiring/connection.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "../sim/sim_test_support.h"
#include "link/fault_bridge.h"
#include "link/ftdi_bridge.h"
#include "link/tty_bridge.h"
#include "sim/sim_stack.h"

namespace eb {
namespace {

using namespace simtest;

TEST(ConnString, SimulatorStrings) {
  std::string error;
  auto c = OpenConnection("sim", &error);
  ASSERT_TRUE(c) << error;
  ASSERT_NE(c->sim, nullptr);
  EXPECT_EQ(c->fault, nullptr);
  EXPECT_EQ(c->description, "simulated stack of 10 boards");
  EXPECT_EQ(c->bridge->Describe(), c->description);
  EXPECT_EQ(Transact(*c->bridge, "IZ", 50).substr(0, 9), "ZQM4417-2");
  EXPECT_EQ(c->sim->Counters().identifies, 1u);

  auto four = OpenConnection("sim:boards=4,seed=3,noise=0", &error);
  ASSERT_TRUE(four) << error;
  EXPECT_EQ(four->description, "simulated stack of 4 boards");
  EXPECT_EQ(four->sim->Settings().boards, 4);
  EXPECT_EQ(four->sim->Settings().seed, 3u);
  // The stack the connection points at is the one behind the bridge.
  EXPECT_EQ(four->sim->ApplyCommand({"missing", "0", "1"}), "");
  EXPECT_EQ(Transact(*four->bridge, ReadCommand(0, 0x02, 6), 18), std::string(18, 'F'));
}

TEST(ConnString, HardwareStrings) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "FTDI device vid 0403 pid 6001 index 0"},
      {"ftdi", "FTDI device vid 0403 pid 6001 index 0"},
      {"ftdi:", "FTDI device vid 0403 pid 6001 index 0"},
      {"ftdi:vid=0x0403,pid=6014,index=1,baud=115200",
       "FTDI device vid 0403 pid 6014 index 1 at 115200 baud"},
      {"ftdi:vid=0,pid=0XFFFF,index=255,baud=12000000",  // the ends of each range
       "FTDI device vid 0000 pid ffff index 255 at 12000000 baud"},
      {"tty:/dev/ttyUSB0", "serial port /dev/ttyUSB0 at 9600 baud"},
      {"tty:/dev/ttyUSB1,baud=921600", "serial port /dev/ttyUSB1 at 921600 baud"},
  };
  for (const auto& [text, description] : cases) {
    std::string error;
    auto c = OpenConnection(text, &error);
    ASSERT_TRUE(c) << text << ": " << error;
    EXPECT_EQ(c->description, description) << text;
    EXPECT_EQ(c->sim, nullptr) << text;
  }
}

TEST(ConnString, FaultWrapsAnyTransport) {
  std::string error;
  auto c = OpenConnection("fault:pec=0.01,short=0.005,seed=7,unplug=2/sim:boards=2", &error);
  ASSERT_TRUE(c) << error;
  ASSERT_NE(c->fault, nullptr);
  ASSERT_NE(c->sim, nullptr);
  EXPECT_EQ(c->bridge.get(), c->fault);
  EXPECT_EQ(c->fault->Settings().seed, 7u);
  EXPECT_NE(c->description.find("over simulated stack of 2 boards"), std::string::npos)
      << c->description;
  Transact(*c->bridge, "IZ", 50);
  Transact(*c->bridge, "IZ", 50);
  EXPECT_EQ(Transact(*c->bridge, "IZ", 50), "");  // unplugged after two
  EXPECT_EQ(c->fault->Counters().refusedOpens, 1u);
  EXPECT_EQ(c->sim->Counters().identifies, 2u);

  auto overTty = OpenConnection("fault:corrupt=0.5/tty:/dev/ttyUSB0,baud=9600", &error);
  ASSERT_TRUE(overTty) << error;
  EXPECT_NE(overTty->fault, nullptr);
  EXPECT_EQ(overTty->sim, nullptr);
  EXPECT_NE(overTty->description.find("serial port /dev/ttyUSB0 at 9600 baud"), std::string::npos);

  auto bare = OpenConnection("fault/sim", &error);
  ASSERT_TRUE(bare) << error;
  EXPECT_NE(bare->fault, nullptr);
  EXPECT_NE(bare->sim, nullptr);

  auto nested = OpenConnection("fault:seed=1/fault:seed=2/sim:boards=1", &error);
  ASSERT_TRUE(nested) << error;
  EXPECT_NE(nested->sim, nullptr);
  EXPECT_EQ(nested->fault->Settings().seed, 1u);
}

TEST(ConnString, MalformedStringsAreRejectedWithTheReason) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {"usb", "unknown transport 'usb'"},
      {"simulator", "unknown transport 'simulator'"},
      {"sim:colour=red", "'colour'"},
      {"sim:boards=20", "boards"},
      {"ftdi:port=A1", "'port'"},
      {"ftdi:vid=xyz", "vid"},
      {"ftdi:index=-1", "index"},
      {"tty", "missing device path"},
      {"tty:", "missing device path"},
      {"tty:/dev/ttyUSB0,speed=9600", "'speed'"},
      {"tty:/dev/ttyUSB0,baud=12345", "baud"},
      {"fault:pec=0.1", "missing inner transport"},
      {"fault:pec=0.1/", "missing inner transport"},
      {"fault:loss=0.1/sim", "'loss'"},
      {"fault:pec=0.1/sim:noise=x", "noise"},
      {"fault:pec=0.1/bogus", "unknown transport 'bogus'"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(OpenConnection(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << " -> " << error;
  }
}

// Every settings error names the key and what the key accepts, whichever
// transport the settings belong to.
struct SettingsCase {
  const char* text;
  const char* key;      // quoted in the error
  const char* accepts;  // what the error offers instead
};

void ExpectRefused(const SettingsCase& c) {
  std::string error;
  EXPECT_FALSE(OpenConnection(c.text, &error)) << c.text;
  EXPECT_NE(error.find(c.key), std::string::npos) << c.text << " -> " << error;
  EXPECT_NE(error.find(c.accepts), std::string::npos) << c.text << " -> " << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << c.text << " -> " << error;
}

TEST(ConnSettings, EveryTransportRefusesAKeyGivenTwice) {
  const SettingsCase cases[] = {
      {"ftdi:vid=0403,pid=6001,vid=0403", "'vid' is given twice", "0000 .. ffff"},
      {"tty:/dev/ttyUSB0,baud=9600,baud=9600", "'baud' is given twice", "115200"},
      {"sim:boards=2,seed=1,boards=2", "'boards' is given twice", "1 .. 16"},
      {"fault:seed=1,seed=1/sim", "'seed' is given twice", "0 or more"},
      // An alias is the same key under another name.
      {"fault:pec=0.1,corrupt=0.1/sim", "'corrupt' is given twice (also as 'pec')",
       "a probability 0 .. 1"},
      // The inner transport's settings follow the same rule.
      {"fault:pec=0.1/sim:noise=0,noise=0", "'noise' is given twice", "0 .. 1 V"},
  };
  for (const SettingsCase& c : cases) ExpectRefused(c);
}

TEST(ConnSettings, UnknownKeysAreListedWithTheKnownOnes) {
  const SettingsCase cases[] = {
      {"ftdi:port=A1", "unknown ftdi setting 'port'", "(known: vid, pid, index, serial, baud)"},
      {"tty:/dev/ttyUSB0,speed=9600", "unknown tty setting 'speed'", "(known: baud)"},
      {"sim:colour=red", "unknown simulator setting 'colour'",
       "(known: boards, seed, noise, volts, missing, zeros, thsd, open, pec-errors, rev)"},
      {"fault:loss=0.1/sim", "unknown fault setting 'loss'",
       "(known: pec (or corrupt), short, seed, unplug)"},
      // A word without "=" is a key without a value, or an unknown key.
      {"ftdi:vid", "ftdi setting 'vid' needs a value", "0000 .. ffff"},
      {"sim:fast", "unknown simulator setting 'fast'", "known: boards"},
      {"sim:=4", "unknown simulator setting ''", "known: boards"},
  };
  for (const SettingsCase& c : cases) ExpectRefused(c);
}

TEST(ConnSettings, NumbersCarryNoSignAndStayInTheirRange) {
  const SettingsCase cases[] = {
      // A minus sign once slipped through as a huge hexadecimal id.
      {"ftdi:pid=-1", "'pid'", "a product id 0000 .. ffff"},
      {"ftdi:vid=12345", "'vid'", "a vendor id 0000 .. ffff"},
      {"ftdi:vid=0x", "'vid'", "hexadecimal, e.g. 0403"},
      {"ftdi:index=-1", "'index'", "a device index 0 .. 255"},
      {"ftdi:index=256", "'index'", "a device index 0 .. 255"},
      {"ftdi:baud=0", "'baud'", "a baud rate 1 .. 12000000"},
      {"ftdi:baud= 9600", "'baud'", "a baud rate 1 .. 12000000"},
      {"tty:/dev/ttyUSB0,baud=-9600", "'baud'", "a supported baud rate (1200, 2400"},
      {"tty:/dev/ttyUSB0,baud=12345", "'baud'", "921600"},
      {"sim:boards=0", "'boards'", "a board count 1 .. 16"},
      {"sim:boards=20", "'boards'", "a board count 1 .. 16"},
      {"sim:boards=+3", "'boards'", "a board count 1 .. 16"},
      {"sim:boards=banana", "'boards'", "a board count 1 .. 16"},
      {"sim:seed=-1", "'seed'", "a whole number 0 or more"},
      {"sim:seed=18446744073709551616", "'seed'", "a whole number 0 or more"},
      {"sim:rev=8", "'rev'", "a revision code 0 .. 7"},
      {"sim:noise=-0.001", "'noise'", "a noise level 0 .. 1 V"},
      {"sim:volts=6.5", "'volts'", "a cell voltage 0 .. 6 V"},
      {"sim:missing=16", "'missing'", "board numbers 0 .. 15"},
      {"sim:zeros=1++2", "'zeros'", "board numbers 0 .. 15"},
      {"sim:open=0.13", "'open'", "cell 1 .. 12"},
      {"fault:unplug=-3/sim", "'unplug'", "a transaction count (a whole number 0 or more)"},
      {"fault:seed=x/sim", "'seed'", "a whole number 0 or more"},
  };
  for (const SettingsCase& c : cases) ExpectRefused(c);
  // The values at the ends of each range are taken.
  std::string error;
  auto sim = OpenConnection("sim:boards=16,rev=0,seed=18446744073709551615,volts=6", &error);
  ASSERT_TRUE(sim) << error;
  EXPECT_EQ(sim->sim->Settings().boards, 16);
  EXPECT_EQ(sim->sim->Settings().seed, 18446744073709551615u);
  EXPECT_DOUBLE_EQ(sim->sim->Settings().volts, 6.0);
  auto fault = OpenConnection("fault:unplug=0,seed=0/sim", &error);
  ASSERT_TRUE(fault) << error;
  EXPECT_EQ(fault->fault->Settings().unplugAfter, 0);
}

TEST(ConnSettings, ProbabilitiesRunFromZeroToOne) {
  const SettingsCase cases[] = {
      {"fault:pec=1.01/sim", "'pec'", "a probability 0 .. 1"},
      {"fault:corrupt=2/sim", "'corrupt'", "a probability 0 .. 1"},
      {"fault:short=-0/sim", "'short'", "a probability 0 .. 1"},
      {"fault:short=nan/sim", "'short'", "a probability 0 .. 1"},
      {"fault:pec=inf/sim", "'pec'", "a probability 0 .. 1"},
      {"fault:pec=0.1x/sim", "'pec'", "a probability 0 .. 1"},
      {"fault:pec=/sim", "'pec'", "a probability 0 .. 1"},
      {"sim:pec-errors=1.5", "'pec-errors'", "a probability 0 .. 1"},
  };
  for (const SettingsCase& c : cases) ExpectRefused(c);
  std::string error;
  auto c = OpenConnection("fault:pec=0,short=1/sim:pec-errors=.5", &error);
  ASSERT_TRUE(c) << error;
  EXPECT_DOUBLE_EQ(c->fault->Settings().corrupt, 0.0);
  EXPECT_DOUBLE_EQ(c->fault->Settings().shortRead, 1.0);
  EXPECT_DOUBLE_EQ(c->sim->Settings().pecErrors, 0.5);
  auto exponent = OpenConnection("fault:corrupt=1e-3/sim", &error);
  ASSERT_TRUE(exponent) << error;
  EXPECT_DOUBLE_EQ(exponent->fault->Settings().corrupt, 0.001);
}

TEST(ConnSettings, EmptyItemsAreErrorsButNoSettingsAreTheDefaults) {
  const SettingsCase cases[] = {
      {"sim:boards=2,", "empty simulator setting", "keys: boards"},
      {"sim:,boards=2", "empty simulator setting", "keys: boards"},
      {"ftdi:vid=0403,,pid=6001", "empty ftdi setting", "keys: vid, pid, index, serial, baud"},
      {"tty:/dev/ttyUSB0,", "empty tty setting", "keys: baud"},
      {"fault:,seed=1/sim", "empty fault setting", "keys: pec"},
  };
  for (const SettingsCase& c : cases) ExpectRefused(c);
  std::string error;
  auto sim = OpenConnection("sim:", &error);
  ASSERT_TRUE(sim) << error;
  EXPECT_EQ(sim->description, "simulated stack of 10 boards");
  auto fault = OpenConnection("fault:/sim", &error);
  ASSERT_TRUE(fault) << error;
  EXPECT_EQ(fault->fault->Settings().seed, 1u);
}

TEST(ConnTable, EveryTransportIsReachedThroughItsScheme) {
  std::vector<std::string> schemes;
  for (const Transport& t : Transports()) {
    schemes.emplace_back(t.scheme);
    EXPECT_EQ(t.usage.substr(0, t.scheme.size()), t.scheme);
    EXPECT_FALSE(t.meaning.empty());
  }
  EXPECT_EQ(schemes, (std::vector<std::string>{"ftdi", "tty", "sim", "fault", "replay"}));
  // The unknown-transport error lists the table.
  std::string error;
  EXPECT_FALSE(OpenConnection("carrier-pigeon:speed=1", &error));
  EXPECT_EQ(error, "unknown transport 'carrier-pigeon' (known: ftdi, tty, sim, fault, replay)");
  EXPECT_FALSE(OpenConnection(":vid=0403", &error));
  EXPECT_NE(error.find("unknown transport ''"), std::string::npos) << error;
  // Only ':' (or '/' for fault) may follow a scheme.
  EXPECT_FALSE(OpenConnection("sim/fault", &error));
  EXPECT_NE(error.find("expected sim[:"), std::string::npos) << error;
  // A scheme is matched whole, not by its start.
  EXPECT_FALSE(OpenConnection("simulator", &error));
  EXPECT_FALSE(OpenConnection("faults/sim", &error));
  EXPECT_NE(error.find("unknown transport 'faults'"), std::string::npos) << error;
}

TEST(ConnControl, ScriptSimLinesReachTheStackBehindEveryWrapper) {
  std::string error;
  auto c = OpenConnection("fault:seed=3/fault/sim:boards=2", &error);
  ASSERT_TRUE(c) << error;
  ASSERT_NE(c->control, nullptr);
  EXPECT_EQ(c->control->Apply({"zeros", "1", "1"}), "");
  EXPECT_TRUE(c->sim->Chip(1).zeros);
  EXPECT_EQ(c->control->Apply({"cell", "0", "13", "3.3"}).rfind("sim cell: bad cell '13'", 0), 0u);
  // Words from a script are quoted printable and short.
  EXPECT_EQ(
      c->control->Apply({"cell", "\x1B[2J", "1", "3"}).rfind("sim cell: bad board '\\x1B[2J';", 0),
      0u);
  EXPECT_EQ(c->control->Apply({std::string(100, 'x')}),
            "sim: unknown command '" + std::string(40, 'x') +
                "...' (expected cell, temp, missing, zeros, thsd, open, pec-errors, unplug or "
                "replug)");
  auto hardware = OpenConnection("fault/tty:/dev/ttyUSB0", &error);
  ASSERT_TRUE(hardware) << error;
  EXPECT_EQ(hardware->control, nullptr);
}

// A pseudo-terminal: the bridge opens the slave side, the test plays the
// bridge board on the master side.
class LinkTty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    const char* name = ptsname(master_);
    ASSERT_NE(name, nullptr);
    slave_ = name;
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
  }
  std::string ReadMaster(std::size_t n, int timeoutMs) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        char buf[64];
        ssize_t r = read(master_, buf, sizeof buf);
        if (r > 0) got.append(buf, static_cast<std::size_t>(r));
      }
    }
    return got;
  }
  int master_ = -1;
  std::string slave_;
};

TEST_F(LinkTty, WritesAndReadsHonouringTheTimeout) {
  TtyBridge bridge(slave_, 115200);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(150, 100);
  EXPECT_EQ(bridge.Write("MSxT80T02RRRRRRRX"), 17u);
  EXPECT_EQ(ReadMaster(17, 1000), "MSxT80T02RRRRRRRX");

  // The board answers only part of what is asked: the read waits for the
  // time-out and then delivers what came.
  ASSERT_EQ(write(master_, "FFFF0102", 8), 8);
  char buf[18];
  std::fill(std::begin(buf), std::end(buf), '#');
  const auto start = std::chrono::steady_clock::now();
  const std::size_t got = bridge.Read(buf, 18);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(std::string(buf, 8), "FFFF0102");
  for (std::size_t k = 8; k < 18; ++k) EXPECT_EQ(buf[k], '#');
  EXPECT_GE(ms, 140);
  EXPECT_LT(ms, 1000);

  // A complete answer returns without waiting for the time-out.
  bridge.SetTimeouts(2000, 100);
  ASSERT_EQ(write(master_, "ABCD", 4), 4);
  const auto start2 = std::chrono::steady_clock::now();
  EXPECT_EQ(bridge.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "ABCD");
  EXPECT_LT(std::chrono::steady_clock::now() - start2, std::chrono::milliseconds(1000));

  // Nothing at all: zero characters after the time-out.
  bridge.SetTimeouts(50, 100);
  EXPECT_EQ(bridge.Read(buf, 4), 0u);
  bridge.Close();
  EXPECT_FALSE(bridge.IsOpen());
  EXPECT_EQ(bridge.Write("IZ"), 0u);
  EXPECT_EQ(bridge.Read(buf, 4), 0u);
}

TEST_F(LinkTty, StaleInputIsNotPartOfTheNextTransaction) {
  TtyBridge bridge(slave_, 9600);
  ASSERT_TRUE(bridge.Open(0));
  ASSERT_EQ(write(master_, "OLD", 3), 3);
  bridge.Close();
  usleep(20000);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(50, 50);
  char buf[8];
  EXPECT_EQ(bridge.Read(buf, 8), 0u);
  bridge.Close();
}

TEST(LinkTtyOpen, MissingDeviceOrBadBaudDeliversNothing) {
  TtyBridge missing("/nonexistent/ttyUSB9");
  EXPECT_FALSE(missing.Open(0));
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(missing.Write("IZ"), 0u);
  EXPECT_EQ(missing.Read(buf, 4), 0u);
  EXPECT_EQ(buf[0], '#');
  TtyBridge notATty("/dev/null");
  EXPECT_FALSE(notATty.Open(0));
  EXPECT_TRUE(TtyBridge::SupportedBaud(115200));
  EXPECT_FALSE(TtyBridge::SupportedBaud(12345));
}

TEST_F(LinkTty, AVanishedDeviceIsAReadFailureWithItsReason) {
  TtyBridge bridge(slave_, 115200);
  ASSERT_TRUE(bridge.Open(0));
  EXPECT_EQ(bridge.LastError(), "");
  bridge.SetTimeouts(500, 100);
  close(master_);
  master_ = -1;
  char buf[4];
  EXPECT_EQ(bridge.Read(buf, 4), 0u);
  EXPECT_EQ(bridge.LastError().rfind("reading from " + slave_ + " failed: ", 0), 0u)
      << bridge.LastError();
  bridge.Close();
}

// Why an Open failed, in the system's words, and different for each cause.
TEST(LinkTtyOpen, TheReasonNamesTheStepAndTheSystemsText) {
  TtyBridge missing("/nonexistent/ttyUSB9");
  EXPECT_EQ(missing.LastError(), "");  // nothing tried yet
  EXPECT_FALSE(missing.Open(0));
  const Bridge& asBridge = missing;  // the reason reaches callers through the interface
  EXPECT_EQ(asBridge.LastError(),
            std::string("cannot open /nonexistent/ttyUSB9: ") + std::strerror(ENOENT));

  TtyBridge notATty("/dev/null");
  EXPECT_FALSE(notATty.Open(0));
  EXPECT_EQ(notATty.LastError(),
            std::string("/dev/null is not a serial port: ") + std::strerror(ENOTTY));

  TtyBridge badBaud("/dev/null", 12345);
  EXPECT_FALSE(badBaud.Open(0));
  EXPECT_EQ(badBaud.LastError(), "12345 baud is not a rate the serial driver supports");

  // Permission is only ever refused to an unprivileged user.
  if (geteuid() != 0) {
    char name[] = "/tmp/eb-tty-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    chmod(name, 0);
    TtyBridge locked(name);
    EXPECT_FALSE(locked.Open(0));
    EXPECT_EQ(locked.LastError(),
              "cannot open " + std::string(name) + ": " + std::strerror(EACCES));
    unlink(name);
  }
}

TEST(LinkFtdi, NoDeviceMeansNothingDelivered) {
  FtdiSettings s;
  s.pid = 0xFFF3;  // no such product on any bench
  FtdiBridge bridge(s);
  EXPECT_EQ(bridge.Describe(), "FTDI device vid 0403 pid fff3 index 0");
  EXPECT_FALSE(bridge.Open(0));
  EXPECT_FALSE(bridge.IsOpen());
  EXPECT_FALSE(bridge.LastError().empty());
  bridge.SetTimeouts(200, 50);
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(bridge.Write("IZ"), 0u);
  EXPECT_EQ(bridge.Read(buf, 4), 0u);
  EXPECT_EQ(buf[0], '#');
  bridge.Close();
}

TEST(LinkFtdi, SettingsText) {
  std::string error;
  auto s = ParseFtdiSettings("vid=1234,pid=0xabcd,index=2,baud=3000000", &error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->vid, 0x1234);
  EXPECT_EQ(s->pid, 0xABCD);
  EXPECT_EQ(s->index, 2);
  EXPECT_EQ(s->baud, 3000000);
  EXPECT_FALSE(ParseFtdiSettings("vid=12345", &error));
  EXPECT_FALSE(ParseFtdiSettings("baud=0", &error));
  EXPECT_FALSE(ParseFtdiSettings("latency=2", &error));
  EXPECT_NE(error.find("'latency'"), std::string::npos);
}

}  // namespace
}  // namespace eb
