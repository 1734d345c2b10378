// The files a datalog writes into a folder other programs and people also
// write: never an earlier file replaced, never two writers on one name,
// never a half-written target, and every failure said with its reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <tuple>

#include "sheet/journal.h"
#include "sheet/replacing_file.h"
#include "sheet/reserved_names.h"
#include "support/datalog_support.h"
#include "support/form_fixture.h"
#include "support/xlsx_reader.h"
#include "window/datalog_sheet.h"

namespace eb {
namespace {

namespace fs = std::filesystem;
using datalog::DatalogView;

constexpr const char* kStem = "12-08-2026_03_15_42 PM_LAST_DATALOG";

// What a save said: the names it wrote, or the operator text of its failure.
std::string Save(const DatalogView& view, const std::string& folder, const std::string& name,
                 bool csv) {
  datalog::NewDatalogFiles files;
  try {
    datalog::ExportNewDatalog(view, folder, name, csv, &files);
  } catch (const datalog::ExportError& e) {
    return e.what();
  }
  std::string said = "saved " + fs::path(files.workbook).filename().string();
  if (!files.csv.empty()) said += " + " + fs::path(files.csv).filename().string();
  return said;
}

// Everything up to the end of a pipe; closes it.
std::string ReadAll(int fd) {
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) all.append(buf, static_cast<size_t>(n));
  close(fd);
  return all;
}

int FailSync(int) {
  errno = EIO;
  return -1;
}

// Runs `body` in a child whose `folder` is a tmpfs of `kib` KiB (a mount
// namespace of its own, so nothing outside sees it); returns what the body
// said, or "" when this machine allows no such namespace.
std::string OnSmallFileSystem(const std::string& folder, int kib,
                              const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    const int flags = uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS;
    if (unshare(flags) != 0) _exit(3);
    if (uid != 0) {
      std::ofstream("/proc/self/setgroups") << "deny";
      std::ofstream("/proc/self/uid_map") << uid << " " << uid << " 1";
      std::ofstream("/proc/self/gid_map") << gid << " " << gid << " 1";
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(3);
    const std::string size = "size=" + std::to_string(kib) + "k";
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, size.c_str()) != 0) _exit(3);
    const std::string said = body() + "\n" + [&] {
      std::string names;
      for (const auto& e : fs::directory_iterator(folder))
        names += e.path().filename().string() + "|";
      return names;
    }();
    (void)!write(out[1], said.data(), said.size());
    _exit(0);
  }
  close(out[1]);
  const std::string said = ReadAll(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : "";
}

// Six programs save the datalog of the same second into one folder at the
// same moment; returns the workbooks they said they wrote, each checked to
// hold its own path in A1.
std::string SameSecondStops(const DatalogView& view, const std::string& folder) {
  constexpr int kPrograms = 6;
  int go[2], names[2];
  if (pipe(go) != 0 || pipe(names) != 0) return "no pipes";
  std::vector<pid_t> children;
  for (int i = 0; i < kPrograms; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      char c;
      (void)!read(go[0], &c, 1);  // every program starts at once
      datalog::NewDatalogFiles files;
      try {
        datalog::ExportNewDatalog(view, folder, kStem, true, &files);
      } catch (const datalog::ExportError& e) {
        files.workbook = e.what();
      }
      const std::string line = files.workbook + "\n";
      (void)!write(names[1], line.data(), line.size());
      _exit(0);
    }
    children.push_back(pid);
  }
  close(go[0]);
  close(names[1]);
  close(go[1]);
  const std::string all = ReadAll(names[0]);
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  std::set<std::string> distinct;
  std::istringstream lines(all);
  for (std::string line; std::getline(lines, line);) {
    const auto cells = test::WorkbookCells(line);
    auto a1 = cells.find({1, 1});
    if (a1 == cells.end() || a1->second != line) return "not its own workbook: " + line;
    distinct.insert(line);
  }
  return std::to_string(distinct.size()) + " workbooks";
}

// The names "<stem>.csv", "<stem>.xlsx", "<stem>_2.csv", … up to n, sorted.
std::vector<std::string> Numbered(const std::string& stem, int n) {
  std::vector<std::string> names;
  for (int i = 1; i <= n; ++i) {
    const std::string s = stem + (i == 1 ? "" : "_" + std::to_string(i));
    names.push_back(s + ".csv");
    names.push_back(s + ".xlsx");
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct FileCase {
  const char* row;
  std::function<void(const test::ScratchDir&)> arrange;
  std::function<std::string(const test::ScratchDir&, const DatalogView&)> act;
  std::string said;  // "$D" stands for the folder
  std::vector<std::string> entries;
  bool needsNamespace = false;
};

class DatalogFiles : public test::FormFixture {
 protected:
  // A ten-board ring of 1000 samples of varied text: a workbook of a few
  // hundred kilobytes (the form's cells stay for SmallView).
  DatalogView BigView() {
    form.CARDSTACK = 9;
    form.SETpoint = 1000;
    form.CYCLEflag = 1;
    form.COUNTERstop = 1;
    for (int s = 1; s <= 1000; ++s) {
      for (int b = 0; b <= 9; ++b) {
        for (int k = 0; k <= 20; ++k)
          form.DataCell(s, k, b) = std::to_string(s * 7919 + b * 31 + k);
      }
    }
    return datalog::ViewOf(form);
  }
  // The same ring's first three samples of one board.
  DatalogView SmallView() {
    form.CARDSTACK = 0;
    form.SETpoint = 3;
    form.CYCLEflag = 0;
    form.COUNTERstop = 4;
    return datalog::ViewOf(form);
  }
};

TEST_F(DatalogFiles, NoFileIsReplacedHalfWrittenOrSharedAndEveryFailureIsSaid) {
  const std::string earlier = "an earlier datalog";
  const std::vector<FileCase> cases{
      {"a recovered CSV of that name is there already",
       [&](const test::ScratchDir& d) { std::ofstream(d / "S_RECOVERED_DATALOG.csv") << earlier; },
       [](const test::ScratchDir& d, const DatalogView& v) {
         return Save(v, d.path(), "S_RECOVERED_DATALOG", true);
       },
       "saved S_RECOVERED_DATALOG_2.xlsx + S_RECOVERED_DATALOG_2.csv",
       {"S_RECOVERED_DATALOG.csv", "S_RECOVERED_DATALOG_2.csv", "S_RECOVERED_DATALOG_2.xlsx"}},
      {"a link planted under the name is not written through",
       [](const test::ScratchDir& d) {
         fs::create_directory(d / "elsewhere");
         fs::create_symlink(d / "elsewhere/victim", d / (std::string(kStem) + ".xlsx"));
       },
       [](const test::ScratchDir& d, const DatalogView& v) {
         return Save(v, d.path(), kStem, false) +
                (fs::exists(d / "elsewhere/victim") ? " and wrote through the link" : "");
       },
       "saved " + std::string(kStem) + "_2.xlsx",
       {kStem + std::string(".xlsx"), kStem + std::string("_2.xlsx"), "elsewhere"}},
      {"six programs stop in the same second", nullptr,
       [](const test::ScratchDir& d, const DatalogView& v) { return SameSecondStops(v, d.path()); },
       "6 workbooks", Numbered(kStem, 6)},
      {"the sync of the saved workbook fails (EIO)",
       nullptr,
       [](const test::ScratchDir& d, const DatalogView& v) {
         const auto old = datalog::ReplaceSyncFunction(FailSync);
         const std::string said = Save(v, d.path(), kStem, true);
         datalog::ReplaceSyncFunction(old);
         return said;
       },
       "Cannot write the datalog to $D/" + std::string(kStem) +
           ".xlsx: Input/output error while making it durable. The recorded samples are kept.",
       {}},
      {"the disk fills up during the workbook",
       nullptr,
       [](const test::ScratchDir& d, const DatalogView& v) {
         return OnSmallFileSystem(d.path(), 64, [&] { return Save(v, d.path(), kStem, true); });
       },
       "Cannot write the datalog to $D/" + std::string(kStem) +
           ".xlsx: No space left on device. The recorded samples are kept.\n",
       {},
       true},
      {"the disk fills up during the CSV file",
       nullptr,
       [](const test::ScratchDir& d, const DatalogView& v) {
         return OnSmallFileSystem(d.path(), 64, [&] {
           try {
             datalog::ExportDatalogCsv(v, d / "run.csv");
           } catch (const datalog::ExportError& e) {
             return std::string(e.what());
           }
           return std::string("saved");
         });
       },
       "Cannot write the datalog to $D/run.csv: No space left on device. The recorded samples are "
       "kept.\n",
       {},
       true},
      {"the datalog's own file is a FIFO",
       [](const test::ScratchDir& d) { mkfifo((d / "run.xlsx").c_str(), 0600); },
       [](const test::ScratchDir& d, const DatalogView& v) {
         try {
           datalog::ExportDatalog(v, d / "run.xlsx");
         } catch (const datalog::ExportError& e) {
           return std::string(e.what()) + (fs::is_fifo(d / "run.xlsx") ? "" : " (FIFO gone)");
         }
         return std::string("saved");
       },
       "Cannot write the datalog to $D/run.xlsx: it is not a regular file. The recorded samples "
       "are kept.",
       {"run.xlsx"}},
      {"a name taken from an untrusted field climbs out of the folder",
       [](const test::ScratchDir& d) { fs::create_directory(d / "inside"); },
       [](const test::ScratchDir& d, const DatalogView& v) {
         return Save(v, d / "inside", "../../outside/x", true);
       },
       "Cannot write the datalog to $D/inside/../../outside/x: the file name is not a plain name "
       "in the folder. The recorded samples are kept.",
       {"inside"}},
      {"the datalog folder was removed",
       [](const test::ScratchDir& d) { fs::create_directory(d / "gone"); },
       [](const test::ScratchDir& d, const DatalogView& v) {
         fs::remove(d / "gone");
         return Save(v, d / "gone", kStem, true);
       },
       "Cannot write the datalog to $D/gone/" + std::string(kStem) +
           ".xlsx: No such file or directory. The recorded samples are kept.",
       {}},
  };
  const DatalogView big = BigView();
  const DatalogView small = SmallView();
  for (const FileCase& c : cases) {
    SCOPED_TRACE(c.row);
    test::ScratchDir dir;
    if (c.arrange) c.arrange(dir);
    // The disk fills up with the big ring; everything else is about names.
    std::string said = c.act(dir, c.needsNamespace ? big : small);
    if (c.needsNamespace) {
      if (said.empty()) {
        ADD_FAILURE() << "no mount namespace for a small file system on this machine";
        continue;
      }
      // The child's folder listing follows its message.
      const auto nl = said.find('\n');
      EXPECT_EQ(said.substr(nl + 1), "") << "left on the full disk";
      said = said.substr(0, nl + 1);
    }
    std::string expected = c.said;
    for (size_t at; (at = expected.find("$D")) != std::string::npos;)
      expected.replace(at, 2, dir.path());
    EXPECT_EQ(said, expected);
    EXPECT_EQ(dir.Entries(), c.entries);
  }
}

// A STOP whose workbook cannot be made durable is a failed STOP: the ring
// and the recording journal stay, and the message says why.
TEST_F(DatalogFiles, AStopWhoseSyncFailsKeepsTheRingAndTheJournal) {
  test::ScratchDir dir;
  platform.appDir = dir.path();
  platform.now = test::LocalTime(2026, 12, 8, 15, 15, 42);
  ASSERT_EQ(form.SetupDatalog(25, dir / "run", true), "");
  form.Command1_click(11);
  for (int i = 0; i < 8; ++i) form.Timer1_Timer();
  ASSERT_EQ(form.DATApoint, 3);
  const auto old = datalog::ReplaceSyncFunction(FailSync);
  form.Command1_click(12);
  datalog::ReplaceSyncFunction(old);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0], "Cannot write the datalog to " + dir.path() + "/" + kStem +
                                      ".xlsx: Input/output error while making it durable. The "
                                      "recorded samples are kept.");
  EXPECT_EQ(form.DATACOLLECTflag, 1);
  EXPECT_EQ(form.DATApoint, 3);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{datalog::kJournalName});
}

// Start-up removes what an export killed half-way left behind (its hidden
// temporary, its empty reserved names), and nothing else: not what a running
// program holds, not a file of another shape or name.
TEST(DatalogTemporaries, OnlyStaleTemporariesAndReservationsOfThisProgramAreCleaned) {
  test::ScratchDir dir;
  for (const char* name : {".eb2250-a1B2c3", ".eb2250-held00", ".eb2250-toolong", "eb2250-a1B2c3",
                           ".eb2250-a1B2c!", "elsewhere"}) {
    std::ofstream(dir / name) << "x";
  }
  fs::create_directory(dir / ".eb2250-dir000");
  fs::create_symlink(dir / "elsewhere", dir / ".eb2250-link00");
  const int held = open((dir / ".eb2250-held00").c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);  // a writer at work
  // A workbook being written right now holds its temporary the same way,
  // and a running export its reserved names.
  datalog::ReplacingFile writing(dir / "now.xlsx");
  const std::string writingName = fs::path(writing.temporary()).filename();
  const datalog::ReservedNames reserved(dir.path(), "held_LAST_DATALOG", {".xlsx"});
  // Empty reservations a killed export left; files that only look alike.
  for (const auto& [name, mode, bytes] :
       std::vector<std::tuple<std::string, int, std::string>>{{"dead_LAST_DATALOG.xlsx", 0200, ""},
                                                              {"dead_LAST_DATALOG.csv", 0200, ""},
                                                              {"empty.xlsx", 0644, ""},
                                                              {"full.xlsx", 0200, "x"}}) {
    std::ofstream(dir / name) << bytes;
    fs::permissions(dir / name, static_cast<fs::perms>(mode));
  }

  EXPECT_EQ(datalog::CleanStaleTemporaries(dir.path()), 3);
  std::vector<std::string> expected{".eb2250-dir000",
                                    ".eb2250-held00",
                                    ".eb2250-link00",
                                    ".eb2250-toolong",
                                    ".eb2250-a1B2c!",
                                    "eb2250-a1B2c3",
                                    "elsewhere",
                                    writingName,
                                    "empty.xlsx",
                                    "full.xlsx",
                                    "held_LAST_DATALOG.xlsx"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  close(held);
  EXPECT_EQ(writing.Commit(), "");
  EXPECT_TRUE(fs::exists(dir / "now.xlsx"));
}

}  // namespace
}  // namespace eb
