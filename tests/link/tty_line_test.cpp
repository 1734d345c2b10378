// The tty transport on a pseudo-terminal (the test plays the bridge board on
// the master side): line reads, the modem lines at close, closes and writes
// that never wait past their time-out, and what each open failure advises.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/tty_bridge.h"

namespace eb {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TtyPty : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_) | unlockpt(master_), 0);
    slave_ = ptsname(master_);
  }
  void TearDown() override { close(master_); }
  int master_ = -1;
  std::string slave_;
  char buf[50];
};

TEST_F(TtyPty, ALineReadEndsAtCrLfEvenWhenTheyArriveApart) {
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(1000, 100);
  const std::string identity = "ZQM4417-2 UB774B USB-SPI REV 2.1\r\n";
  std::thread board([&] {
    EXPECT_EQ(write(master_, identity.data(), 33), 33);  // up to the CR
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(write(master_, "\n", 1), 1);
  });
  const auto start = Clock::now();
  const std::size_t got = bridge.ReadLine(buf, 50);
  board.join();
  EXPECT_EQ(std::string(buf, got), identity);
  EXPECT_GE(MsSince(start), 30);   // the CR alone did not end it
  EXPECT_LT(MsSince(start), 500);  // the LF did, long before the time-out
  // A lone LF or CR is no line end: the time-out ends the read, or the count.
  ASSERT_EQ(write(master_, "AB\nCD\rEF", 8), 8);
  bridge.SetTimeouts(100, 100);
  const auto start2 = Clock::now();
  EXPECT_EQ(bridge.ReadLine(buf, 50), 8u);
  EXPECT_GE(MsSince(start2), 90);
  ASSERT_EQ(write(master_, "0123456789\r\n", 12), 12);
  EXPECT_EQ(bridge.ReadLine(buf, 4), 4u);
  bridge.Close();
}

TEST_F(TtyPty, ClosingLeavesDtrAndRtsAndDeliversTheLastCommand) {
  // A USB serial port starts out dropping DTR and RTS at its last close
  // (HUPCL), as this one is set to; the transport's port does not.
  const int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  tio.c_cflag |= HUPCL;
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(1000, 1000);
  ASSERT_EQ(bridge.Write("MSxS10X"), 7u);
  const auto start = Clock::now();
  bridge.Close();  // at once after the write: the command still goes out
  EXPECT_LT(MsSince(start), 500);
  ASSERT_EQ(tcgetattr(fd, &tio), 0);
  EXPECT_EQ(tio.c_cflag & HUPCL, 0u);
  close(fd);
  pollfd p{master_, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 200), 1);
  EXPECT_EQ(read(master_, buf, sizeof buf), 7);
  EXPECT_EQ(std::string(buf, 7), "MSxS10X");
}

TEST_F(TtyPty, AWriteTheBoardDoesNotTakeEndsAtItsTimeOutAndTheCloseDoesNotWait) {
  TtyBridge bridge(slave_);
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(100, 100);
  const std::string flood(1 << 20, 'S');  // more than the port buffers
  const auto start = Clock::now();
  EXPECT_LT(bridge.Write(flood), flood.size());
  EXPECT_LT(MsSince(start), 600);
  EXPECT_EQ(bridge.LastFailure().trouble, Trouble::kLost);
  EXPECT_EQ(bridge.LastError().rfind("writing to " + slave_ + " timed out after ", 0), 0u);
  const auto closing = Clock::now();
  bridge.Close();
  EXPECT_LT(MsSince(closing), 600);
}

TEST(TtyOpenTrouble, EachCauseHasItsKindAndAHintInOneLine) {
  TtyBridge missing("/nonexistent/ttyUSB9"), notATty("/dev/null"), badBaud("/dev/null", 12345);
  struct Case {
    TtyBridge* bridge;
    Trouble trouble;
    const char* hint;
  } const cases[] = {{&missing, Trouble::kNoDevice, "plugged in"},
                     {&notATty, Trouble::kOther, "tty:/dev/ttyUSB0"},
                     {&badBaud, Trouble::kOther, "115200"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(c.bridge->Open(0));
    const LinkError f = c.bridge->LastFailure();
    EXPECT_EQ(f.trouble, c.trouble);
    EXPECT_NE(f.hint.find(c.hint), std::string::npos) << f.hint;
    EXPECT_EQ(f.Line(), f.cause + "; " + f.hint);
    EXPECT_EQ(f.Line().find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace eb
