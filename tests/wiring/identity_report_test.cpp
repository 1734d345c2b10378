// What the program says when no ZQM4417-2 identifies: one line for stderr
// and the message box's text, for each kind of trouble.
#include "wiring/identity_report.h"

#include <gtest/gtest.h>

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

TEST(IdentityReport, PermissionNamesTheUdevRuleAndHowToInstallIt) {
  FailedBridge bridge({Trouble::kPermission, "cannot open /dev/ttyUSB0: Permission denied",
                       "no permission for this user: install the udev rule R"});
  const IdentityReport r = ReportIdentityFailure(bridge, "", false, "eb2250-gui");
  EXPECT_EQ(r.line,
            "eb2250-gui: nothing answered on serial port /dev/ttyUSB0 at 115200 baud: cannot "
            "open /dev/ttyUSB0: Permission denied; run with --simulate to use the built-in "
            "simulated stack; no permission for this user: install the udev rule R");
  EXPECT_EQ(r.BoxText(),
            "No ZQM4417-2 answered, so the window closes.\n\n"
            "Tried: serial port /dev/ttyUSB0 at 115200 baud\n\n"
            "What went wrong: cannot open /dev/ttyUSB0: Permission denied\n\n"
            "What to do:\n"
            "- no permission for this user: install the udev rule R\n"
            "- to install the rule: sudo install -m 644 packaging/udev/60-eb2250-bridge.rules "
            "/etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger\n"
            "- or run with --simulate to use the built-in simulated stack and try without "
            "hardware");
}

TEST(IdentityReport, EachTroubleGetsItsAdviceAndTheSimulatedStackOnlyWhenNotInUse) {
  struct Case {
    LinkError failure;
    std::string identity;
    bool simulated;
    const char* line;
    std::size_t steps;
  } const cases[] = {
      {{Trouble::kBusy, "FTDI device 0403:6001 is claimed", "close the other program"},
       "",
       false,
       "nothing answered on serial port /dev/ttyUSB0 at 115200 baud: FTDI device 0403:6001 is "
       "claimed; run with --simulate to use the built-in simulated stack; close the other program",
       2},
      // The device opened, and nothing answered.
      {{},
       "",
       false,
       "nothing answered on serial port /dev/ttyUSB0 at 115200 baud; run with --simulate to use "
       "the built-in simulated stack; check the USB cable and that the bridge and the boards are "
       "powered",
       2},
      {{},
       "ZQM\"1\\\x1B",
       false,
       "no ZQM4417-2 answered on serial port /dev/ttyUSB0 at 115200 baud (identity reply "
       "\"ZQM\\x221\\x5C\\x1B\"); run with --simulate to use the built-in simulated stack; check "
       "that this is the UB774B bridge of the stack (another device may answer here; --probe "
       "lists the FTDI devices)",
       2},
      {{Trouble::kNoDevice, "unplugged by fault injection after 0 transactions", ""},
       "",
       true,
       "nothing answered on serial port /dev/ttyUSB0 at 115200 baud: unplugged by fault "
       "injection after 0 transactions",
       0},
  };
  for (const Case& c : cases) {
    FailedBridge bridge(c.failure);
    const IdentityReport r = ReportIdentityFailure(bridge, c.identity, c.simulated, "p");
    EXPECT_EQ(r.line, std::string("p: ") + c.line);
    EXPECT_EQ(r.todo.size(), c.steps) << r.line;
    EXPECT_EQ(r.BoxText().find("What to do:") != std::string::npos, c.steps > 0);
  }
}

}  // namespace
}  // namespace eb
