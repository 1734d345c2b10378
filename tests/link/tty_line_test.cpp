// The tty transport on a pseudo-terminal: line reads, the modem lines at
// close, and closes that never wait for the kernel's drain.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "link/tty_bridge.h"

namespace eb {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The test plays the bridge board on the master side.
class TtyPty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_ = ptsname(master_);
  }
  void TearDown() override { close(master_); }
  std::string Drain(int timeoutMs) {
    std::string got;
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) {
      char buf[256];
      const ssize_t r = read(master_, buf, sizeof buf);
      if (r <= 0) break;
      got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
  }
  int master_ = -1;
  std::string slave_;
};

TEST_F(TtyPty, ALineReadEndsAtCrLfEvenWhenTheyArriveApart) {
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(1000, 100);
  const std::string identity = "ZQM4417-2 UB774B USB-SPI REV 2.1\r\n";
  std::thread board([&] {
    ASSERT_EQ(write(master_, identity.data(), 33), 33);  // up to the CR
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    ASSERT_EQ(write(master_, "\n", 1), 1);
  });
  char buf[50];
  const auto start = Clock::now();
  const std::size_t got = bridge.ReadLine(buf, 50);
  const long long ms = MsSince(start);
  board.join();
  EXPECT_EQ(std::string(buf, got), identity);
  EXPECT_GE(ms, 30);   // the CR alone did not end it
  EXPECT_LT(ms, 500);  // the LF did, long before the time-out

  // A lone LF or CR is no line end; the count and the time-out still end it.
  ASSERT_EQ(write(master_, "AB\nCD\rEF", 8), 8);
  bridge.SetTimeouts(100, 100);
  const auto start2 = Clock::now();
  EXPECT_EQ(bridge.ReadLine(buf, 50), 8u);
  EXPECT_GE(MsSince(start2), 90);
  ASSERT_EQ(write(master_, "0123456789\r\n", 12), 12);
  EXPECT_EQ(bridge.ReadLine(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  bridge.Close();
}

TEST_F(TtyPty, ClosingLeavesDtrAndRtsAsTheyAre) {
  // A USB serial port starts out hanging up (dropping DTR and RTS) at its
  // last close, as the port here is set to...
  int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(fd, &before), 0);
  before.c_cflag |= HUPCL;
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &before), 0);
  // ...the transport's port does not.
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.Close();
  termios after{};
  ASSERT_EQ(tcgetattr(fd, &after), 0);
  EXPECT_EQ(after.c_cflag & HUPCL, 0u);
  EXPECT_NE(after.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(after.c_cflag & CRTSCTS, 0u);
  close(fd);
}

TEST_F(TtyPty, ACommandWrittenJustBeforeCloseStillGoesOut) {
  TtyBridge bridge(slave_);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(bridge.Open(0));
    bridge.SetTimeouts(1000, 1000);
    ASSERT_EQ(bridge.Write("MSxS10X"), 7u);
    const auto start = Clock::now();
    bridge.Close();
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(Drain(200), "MSxS10X");
    EXPECT_EQ(bridge.LastError(), "");
  }
}

TEST_F(TtyPty, NothingWaitsLongerThanItsTimeOutWhenTheBoardStopsReading) {
  // The board never reads: the port's buffer fills, the write gives up at
  // its time-out, and the close does not wait for the rest to drain.
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(100, 100);
  const std::string flood(1 << 20, 'S');
  const auto start = Clock::now();
  const std::size_t written = bridge.Write(flood);
  EXPECT_LT(written, flood.size());
  EXPECT_LT(MsSince(start), 600);
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(bridge.LastError().rfind("writing to " + slave_ + " timed out after ", 0), 0u)
      << bridge.LastError();
  EXPECT_FALSE(bridge.LastFailure().hint.empty());
  const auto closing = Clock::now();
  bridge.Close();
  EXPECT_LT(MsSince(closing), 600);
  EXPECT_FALSE(bridge.IsOpen());
}

// Each kind of open failure is told apart, with what to do about it.
TEST(TtyOpenTrouble, EachCauseHasItsKindAndHint) {
  TtyBridge missing("/nonexistent/ttyUSB9");
  EXPECT_FALSE(missing.Open(0));
  EXPECT_EQ(missing.LastFailure().trouble, Trouble::kNoDevice);
  EXPECT_NE(missing.LastFailure().hint.find("plugged in"), std::string::npos);

  TtyBridge notATty("/dev/null");
  EXPECT_FALSE(notATty.Open(0));
  EXPECT_EQ(notATty.LastFailure().trouble, Trouble::kOther);
  EXPECT_NE(notATty.LastFailure().hint.find("tty:/dev/ttyUSB0"), std::string::npos);

  TtyBridge badBaud("/dev/null", 12345);
  EXPECT_FALSE(badBaud.Open(0));
  EXPECT_NE(badBaud.LastFailure().hint.find("115200"), std::string::npos);

  for (const TtyBridge* b : {&missing, &notATty, &badBaud}) {
    EXPECT_EQ(b->LastFailure().Line().find('\n'), std::string::npos);
    EXPECT_EQ(b->LastFailure().Line(), b->LastError() + "; " + b->LastFailure().hint);
  }
}

}  // namespace
}  // namespace eb
