// What the program says when no ZQM4417-2 identifies: one line for stderr
// and the text of the windowed run's message box, for each kind of trouble.
#include "wiring/identity_report.h"

#include <gtest/gtest.h>

#include <string>

#include "link/bridge.h"

namespace eb {
namespace {

// A transport whose last failure the test sets.
class FailedBridge : public Bridge {
 public:
  explicit FailedBridge(LinkError failure) : failure_(std::move(failure)) {}
  bool Open(int) override { return false; }
  void SetTimeouts(int, int) override {}
  std::size_t Write(std::string_view) override { return 0; }
  std::size_t Read(char*, std::size_t) override { return 0; }
  void Close() override {}
  std::string_view Describe() const override { return "serial port /dev/ttyUSB0 at 115200 baud"; }
  LinkError LastFailure() const override { return failure_; }

 private:
  LinkError failure_;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(IdentityReport, PermissionNamesTheUdevRuleAndHowToInstallIt) {
  FailedBridge bridge({Trouble::kPermission, "cannot open /dev/ttyUSB0: Permission denied",
                       "no permission for this user: install the udev rule "
                       "packaging/udev/60-eb2250-bridge.rules and replug the bridge"});
  const IdentityReport r = ReportIdentityFailure(bridge, "", false, "eb2250-gui");
  EXPECT_EQ(r.line,
            "eb2250-gui: nothing answered on serial port /dev/ttyUSB0 at 115200 baud: cannot "
            "open /dev/ttyUSB0: Permission denied; run with --simulate to use the built-in "
            "simulated stack; no permission for this user: install the udev rule "
            "packaging/udev/60-eb2250-bridge.rules and replug the bridge");
  EXPECT_EQ(r.tried, "serial port /dev/ttyUSB0 at 115200 baud");
  EXPECT_EQ(r.wrong, "cannot open /dev/ttyUSB0: Permission denied");
  ASSERT_EQ(r.todo.size(), 3u);
  EXPECT_TRUE(Has(r.todo[0], "udev rule"));
  EXPECT_EQ(r.todo[1],
            "to install the rule: sudo install -m 644 packaging/udev/60-eb2250-bridge.rules "
            "/etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger");
  EXPECT_EQ(r.todo[2],
            "or run with --simulate to use the built-in simulated stack and try without hardware");
  EXPECT_EQ(r.BoxText(),
            "No ZQM4417-2 answered, so the window closes.\n\n"
            "Tried: serial port /dev/ttyUSB0 at 115200 baud\n\n"
            "What went wrong: cannot open /dev/ttyUSB0: Permission denied\n\n"
            "What to do:\n- " +
                r.todo[0] + "\n- " + r.todo[1] + "\n- " + r.todo[2]);
}

TEST(IdentityReport, EachTroubleGetsItsOwnAdviceInOneLine) {
  struct Case {
    LinkError failure;
    const char* wrong;
    const char* todo;
  };
  const Case cases[] = {
      {{Trouble::kBusy, "FTDI device 0403:6001 is claimed by another program",
        "close the other program that uses it, or unplug and replug the bridge"},
       "claimed by another program",
       "close the other program"},
      {{Trouble::kNoDevice, "no FTDI device 0403:6001 found",
        "check the USB cable and that the bridge is powered"},
       "no FTDI device",
       "USB cable"},
      {{Trouble::kLost, "FTDI device 0403:6001 went away while reading",
        "check the USB cable, then unplug and replug the bridge"},
       "went away",
       "replug"},
      // The device opened, and nothing answered.
      {{},
       "the bridge did not answer the identify",
       "check the USB cable and that the bridge and the boards are powered"},
  };
  for (const Case& c : cases) {
    FailedBridge bridge(c.failure);
    const IdentityReport r = ReportIdentityFailure(bridge, "", false, "eb2250-gui");
    SCOPED_TRACE(r.line);
    EXPECT_EQ(r.line.find('\n'), std::string::npos);
    EXPECT_TRUE(Has(r.line, "; run with --simulate"));
    EXPECT_TRUE(Has(r.wrong, c.wrong));
    ASSERT_EQ(r.todo.size(), 2u);  // the fix, then the simulated stack
    EXPECT_TRUE(Has(r.todo[0], c.todo));
    EXPECT_TRUE(Has(r.line, r.todo[0]));
    EXPECT_TRUE(Has(r.todo[1], "--simulate"));
    EXPECT_TRUE(Has(r.BoxText(), "What to do:\n- " + r.todo[0]));
  }
}

TEST(IdentityReport, AnotherIdentityIsQuotedPrintably) {
  FailedBridge bridge({});
  const IdentityReport r = ReportIdentityFailure(bridge, "ZQM4417-1", false, "eb2250-gui");
  EXPECT_EQ(r.line.rfind("eb2250-gui: no ZQM4417-2 answered on serial port /dev/ttyUSB0 at 115200 "
                         "baud (identity reply \"ZQM4417-1\"); run with --simulate",
                         0),
            0u)
      << r.line;
  EXPECT_TRUE(Has(r.todo[0], "--probe"));
  const IdentityReport odd = ReportIdentityFailure(bridge, "A\"B\\\x1B", false, "eb2250-gui");
  EXPECT_TRUE(Has(odd.line, "(identity reply \"A\\x22B\\x5C\\x1B\")")) << odd.line;
}

TEST(IdentityReport, TheSimulatedStackIsNoAdviceWhenItIsInUse) {
  FailedBridge unplugged(
      {Trouble::kNoDevice, "unplugged by fault injection after 0 transactions", ""});
  const IdentityReport r = ReportIdentityFailure(unplugged, "", true, "eb2250-gui");
  EXPECT_EQ(r.line,
            "eb2250-gui: nothing answered on serial port /dev/ttyUSB0 at 115200 baud: unplugged by "
            "fault injection after 0 transactions");
  EXPECT_TRUE(r.todo.empty());
  EXPECT_FALSE(Has(r.BoxText(), "What to do"));
}

}  // namespace
}  // namespace eb
