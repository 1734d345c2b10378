// SIGTERM, SIGINT and SIGHUP close the program as closing its window does:
// a recording's samples are saved and it says where; a second signal ends
// it at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "app/stop_signals.h"
#include "sheet/journal.h"
#include "support/datalog_support.h"
#include "support/launch.h"

namespace eb {
namespace {

// Waits until `ready` holds (at most 20 s).
void AwaitReady(const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!ready() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST(StopSignals, EachClosesLikeTheWindowAndSavesTheSamples) {
  const struct {
    int signal;
    const char* name;
    bool window;  // the window (off screen) rather than a script
  } cases[] = {
      {SIGTERM, "SIGTERM", false},
      {SIGINT, "SIGINT", false},
      {SIGHUP, "SIGHUP", false},
      {SIGTERM, "SIGTERM", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.window ? " to the window" : " to a script"));
    test::ScratchDir dir;
    const std::string journal = dir / datalog::kJournalName;
    std::ofstream(dir / "record.script") << "set Combo1 2\nclick Command0 1\nclick Command1 5\n"
                                         << "datalog 8 \"" << dir / "run.xlsx"
                                         << "\"\n"
                                         << "click Command1 11\ntick 10000000\n";
    std::vector<std::string> args{"--simulate=boards=3", "--datalog-dir", dir.path(), "--trace",
                                  dir / "trace.txt"};
    if (!c.window) {
      args.push_back("--script");
      args.push_back(dir / "record.script");
    }
    const pid_t pid = test::Launch(EB_GUI_EXE, args, dir / "out.txt", dir / "err.txt");
    if (c.window) {
      // Running once the identify went over the bridge.
      AwaitReady([&] { return !test::FileBytes(dir / "trace.txt").empty(); });
    } else {
      AwaitReady([&] { return test::DurableSamples(journal) >= 3; });
    }
    ASSERT_EQ(kill(pid, c.signal), 0);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    const std::string err = test::FileBytes(dir / "err.txt");
    EXPECT_NE(err.find(std::string("eb2250-gui: ") + c.name +
                       " received: closing as the window closes (a second one ends the program "
                       "at once)\n"),
              std::string::npos)
        << err;
    if (c.window) continue;
    const std::string out = test::FileBytes(dir / "out.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        out, m,
        std::regex("MSGBOX: The datalog's samples were saved to (.*_LAST_DATALOG\\.xlsx)\\.")))
        << out;
    EXPECT_TRUE(test::LooksLikeXlsx(m[1]));
    EXPECT_FALSE(std::filesystem::exists(journal));
  }
}

// Killed in the middle of a STOP export, the program leaves its hidden
// temporary and the empty names it reserved; the next start removes them
// (and recovers the samples from the journal).
TEST(StopSignals, WhatAKilledExportLeftIsCleanedAtTheNextStart) {
  test::ScratchDir dir;
  std::ofstream(dir / "stop.script") << "set Combo1 9\nclick Command0 1\nclick Command1 5\n"
                                     << "datalog 1000 \"" << dir / "run.xlsx"
                                     << "\" csv\n"
                                     << "click Command1 11\ntick 1200\nclick Command1 12\n"
                                     << "tick 10000000\n";
  const std::vector<std::string> args{"--simulate=boards=10", "--datalog-dir", dir.path()};
  auto withScript = [&](const std::string& script) {
    std::vector<std::string> a = args;
    a.push_back("--script");
    a.push_back(dir / script);
    return a;
  };
  auto leftovers = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      const std::string name = e.path().filename();
      if (name.rfind(".eb2250-", 0) == 0 || (e.is_regular_file() && e.file_size() == 0))
        names.push_back(name);
    }
    return names;
  };
  const pid_t pid = test::Launch(EB_GUI_EXE, withScript("stop.script"), "/dev/null", dir / "err");
  AwaitReady([&] { return leftovers().size() >= 3; });  // the temporary and two reservations
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  waitpid(pid, nullptr, 0);
  ASSERT_GE(leftovers().size(), 3u) << test::FileBytes(dir / "err");

  std::ofstream(dir / "empty.script") << "# nothing\n";
  const pid_t again =
      test::Launch(EB_GUI_EXE, withScript("empty.script"), "/dev/null", dir / "err");
  int status = 0;
  waitpid(again, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(leftovers(), std::vector<std::string>{});
  EXPECT_NE(test::FileBytes(dir / "err").find("_RECOVERED_DATALOG.xlsx and "), std::string::npos)
      << test::FileBytes(dir / "err");
}

TEST(StopSignals, ASecondSignalEndsTheProgramAtOnce) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!app::CatchStopSignals()) _exit(3);
    raise(SIGTERM);
    if (app::StopSignal() != SIGTERM) _exit(4);  // the first one is only noted
    raise(SIGINT);
    _exit(5);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
}

}  // namespace
}  // namespace eb
