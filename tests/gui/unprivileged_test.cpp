// The program run by a user who may not open the bridge's device node: the
// failure says "permission" and names the udev rule. Run as root, the
// program is started as nobody (setpriv), for whom a root-owned node of
// mode 0600 is closed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int status = -1;
  std::string err;
};

// Runs argv with stdout discarded and stderr caught.
Outcome Spawn(const std::vector<std::string>& argv) {
  Outcome r;
  char errName[] = "/tmp/eb-unprivileged-XXXXXX";
  const int errFd = mkstemp(errName);
  if (errFd < 0) return r;
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(errFd, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  close(errFd);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errName);
  std::ostringstream text;
  text << in.rdbuf();
  r.err = text.str();
  unlink(errName);
  return r;
}

TEST(Unprivileged, ADeviceNodeThisUserMayNotOpenIsAPermissionProblem) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string node = ptsname(master);
  std::vector<std::string> argv;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) {
      close(master);
      GTEST_SKIP() << "running as root without /usr/bin/setpriv: no way to run the program as "
                      "an unprivileged user";
    }
    ASSERT_EQ(chmod(node.c_str(), 0600), 0);
    argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  } else {
    ASSERT_EQ(chmod(node.c_str(), 0), 0);  // our own node, closed to us
  }
  argv.insert(argv.end(), {EB_GUI_EXE, "--bridge", "tty:" + node, "--script",
                           std::string(EB_GUI_DATA) + "/ticks.script"});
  const Outcome r = Spawn(argv);
  close(master);
  EXPECT_EQ(r.status, 3) << r.err;  // the window closed at start-up
  EXPECT_EQ(r.err.rfind("eb2250-gui: nothing answered on serial port " + node +
                            " at 115200 baud: cannot open " + node + ": Permission denied; ",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("no permission for this user"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("packaging/udev/60-eb2250-bridge.rules"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
}

}  // namespace
