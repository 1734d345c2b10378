// The program run by a user who may not open the bridge's device node says
// "permission" and names the udev rule. Run as root, the program is started
// as nobody (setpriv), for whom a root-owned node of mode 0600 is closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

TEST(Unprivileged, ADeviceNodeThisUserMayNotOpenIsAPermissionProblem) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
  const std::string node = ptsname(master);
  std::string command;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "running as root without /usr/bin/setpriv, so the program cannot be run "
                      "as an unprivileged user";
    }
    ASSERT_EQ(chmod(node.c_str(), 0600), 0);
    command = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups -- ";
  } else {
    ASSERT_EQ(chmod(node.c_str(), 0), 0);  // our own node, closed to us
  }
  command += std::string(EB_GUI_EXE) + " --bridge tty:" + node + " --script " + EB_GUI_DATA +
             "/ticks.script 2>&1 >/dev/null";  // stderr only
  FILE* run = popen(command.c_str(), "r");
  ASSERT_NE(run, nullptr);
  std::string err;
  for (int c; (c = std::fgetc(run)) != EOF;) err.push_back(static_cast<char>(c));
  const int status = pclose(run);
  close(master);
  EXPECT_EQ(WEXITSTATUS(status), 3) << err;  // the window closed at start-up
  EXPECT_EQ(err.rfind("eb2250-gui: nothing answered on serial port " + node +
                          " at 9600 baud: cannot open " + node + ": Permission denied; ",
                      0),
            0u)
      << err;
  EXPECT_NE(err.find("no permission for this user: install the udev rule "
                     "packaging/udev/60-eb2250-bridge.rules"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
}

}  // namespace
