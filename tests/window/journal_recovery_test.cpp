// Recovery of a recording that never ended: the journal written while
// recording becomes the workbook a STOP at the moment of the last durable
// sample would have written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>

#include "sheet/journal.h"
#include "support/datalog_support.h"
#include "support/fakes.h"
#include "support/xlsx_reader.h"
#include "window/datalog_journal.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb {
namespace {

// A three-board stack recording into a ring of `slots` for `ticks` ticks.
struct Recording {
  Connection conn;
  test::FakePlatform platform;
  std::unique_ptr<Form1> form;

  Recording(const std::string& dir, int slots, int ticks, bool csv) {
    std::string error;
    auto c = OpenConnection("sim:boards=3,seed=4,noise=0.002", &error);
    EXPECT_TRUE(c.has_value()) << error;
    conn = std::move(*c);
    platform.appDir = dir;
    platform.now = test::LocalTime(2026, 12, 8, 15, 15, 42);
    form = std::make_unique<Form1>(*conn.bridge, platform);
    form->Form_Load();
    form->Combo1.setListIndex(2);
    form->Command0_Click(1);
    form->Command1_click(5);
    EXPECT_EQ(form->SetupDatalog(slots, dir + "/run.xlsx", csv), "");
    form->Command1_click(11);
    Tick(ticks);
  }
  void Tick(int ticks) {
    for (int t = 0; t < ticks; ++t) {
      platform.now += std::chrono::milliseconds(100);
      form->Timer1_Timer();
    }
  }
  // What a STOP now would write, in memory.
  datalog::MemorySheet StopSheet() {
    form->COUNTERstop = form->DATApoint;
    datalog::MemorySheet sheet;
    datalog::BuildDatalogSheet(*form, sheet, "A1");
    return sheet;
  }
  // The program dies: no unload, nothing saved; the journal stays.
  void Crash() { form.reset(); }
};

void ExpectSameCellsBesidesA1(const datalog::MemorySheet& stop, const std::string& workbook) {
  const auto cells = test::WorkbookCells(workbook);
  size_t compared = 0;
  for (const auto& [at, cell] : stop.Cells()) {
    if (at == std::pair{1, 1} || cell.Shown().empty()) continue;
    ++compared;
    auto it = cells.find(at);
    ASSERT_NE(it, cells.end()) << at.first << "," << at.second;
    ASSERT_EQ(it->second, cell.Shown()) << at.first << "," << at.second;
  }
  EXPECT_EQ(cells.size(), compared + 1);  // and A1, the recovered file's own path
  EXPECT_EQ(cells.at({1, 1}), workbook);
}

TEST(JournalRecovery, AWrappedRingComesBackAsStopWouldHaveWrittenIt) {
  test::ScratchDir dir;
  Recording r(dir.path(), 8, 15 * 4, true);  // 15 samples into 8 slots
  ASSERT_EQ(r.form->CYCLEflag, 1);
  const auto stop = r.StopSheet();
  r.Crash();
  EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));

  const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
  EXPECT_EQ(rec.error, "");
  EXPECT_EQ(rec.samples, 8);  // the ring's
  EXPECT_EQ(rec.recorded, 15u);
  EXPECT_EQ(rec.workbook, dir.path() + "/" + "12-08-2026_03_15_47 PM_RECOVERED_DATALOG.xlsx");
  ExpectSameCellsBesidesA1(stop, rec.workbook);
  EXPECT_EQ(rec.csv, datalog::CsvBeside(rec.workbook));
  EXPECT_TRUE(std::filesystem::exists(rec.csv));
  EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  EXPECT_EQ(datalog::RecoveryMessage(rec),
            "A datalog that did not end was recovered: the ring's last 8 of 15 samples recorded, "
            "saved to " +
                rec.workbook + " and " + rec.csv + ".");
  // Nothing left to recover at the next start.
  EXPECT_FALSE(datalog::RecoverJournal(dir.path(), r.platform.now).found);
}

TEST(JournalRecovery, ALastRecordCutAtAnyByteLeavesTheSamplesBeforeIt) {
  test::ScratchDir dir;
  Recording r(dir.path(), 20, 3 * 4, false);  // three samples: one pass of each board
  r.Crash();
  const std::string journal = dir / datalog::kJournalName;
  const std::string whole = test::FileBytes(journal);
  const size_t lastStart = whole.rfind('\n', whole.size() - 2) + 1;
  for (size_t keep = lastStart; keep < whole.size(); keep += 7) {
    std::ofstream(journal, std::ios::trunc | std::ios::binary) << whole.substr(0, keep);
    const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
    ASSERT_EQ(rec.error, "") << "cut at " << keep;
    EXPECT_EQ(rec.samples, 2) << "cut at " << keep;
    EXPECT_EQ(rec.droppedBytes, keep - lastStart);
    const auto cells = test::WorkbookCells(rec.workbook);
    EXPECT_EQ(cells.count({13, 1}), 1u);  // samples 1 and 2 in rows 12, 13
    EXPECT_EQ(cells.count({14, 1}), 0u);
    std::filesystem::remove(rec.workbook);
  }
}

TEST(JournalRecovery, AJournalInUseIsLeftAloneAndAFolderInUseIsSaid) {
  test::ScratchDir dir;
  Recording r(dir.path(), 10, 24, false);
  const auto rec = datalog::RecoverJournal(dir.path(), r.platform.now);
  EXPECT_TRUE(rec.found);
  EXPECT_TRUE(rec.inUse);
  EXPECT_EQ(datalog::RecoveryMessage(rec), "");
  EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
  // A second window on the same folder cannot journal its own datalog:
  // it says so once and records in memory.
  Recording second(dir.path(), 10, 24, false);
  ASSERT_EQ(second.platform.messages.size(), 1u);
  EXPECT_EQ(second.platform.messages[0],
            "The recovery journal of this datalog cannot be written (the datalog folder " +
                dir.path() +
                " is in use by another eb2250-gui). Recording goes on, but until STOP its "
                "samples are kept in memory only.");
  EXPECT_EQ(second.form->DATApoint, 7);  // six samples recorded all the same
}

TEST(JournalRecovery, StopAndClosingRemoveTheJournalOnceSaved) {
  test::ScratchDir dir;
  {
    Recording r(dir.path(), 10, 24, false);
    EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
    r.form->Command1_click(13);  // VIEW: still recording
    EXPECT_TRUE(std::filesystem::exists(dir / datalog::kJournalName));
    r.form->Command1_click(12);  // STOP
    EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  }
  {
    Recording r(dir.path(), 10, 24, false);
    r.form->Form_Unload();  // closing with samples saves them
    EXPECT_FALSE(std::filesystem::exists(dir / datalog::kJournalName));
  }
}

// What `act` says, run in a child process given 20 s and (outside the
// sanitizers, which need the address space) 1 GiB: a hang, a throw or a
// crash is said as "<hung>", "<threw …>" or "<died …>" instead of taking
// the test down.
std::string SaidInChild(const std::function<std::string()>& act) {
  int out[2];
  if (pipe(out) != 0) return "<no pipe>";
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit memory{1u << 30, 1u << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    std::string said;
    try {
      said = act();
    } catch (const std::exception& e) {
      said = std::string("<threw ") + e.what() + ">";
    }
    ssize_t ignored = write(out[1], said.data(), said.size());
    (void)ignored;
    _exit(0);
  }
  close(out[1]);
  std::string said;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  bool hung = false;
  for (char buf[4096];;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{out[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
      hung = true;
      kill(pid, SIGKILL);
      break;
    }
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (hung) return "<hung>";
  if (WIFSIGNALED(status)) return "<died of signal " + std::to_string(WTERMSIG(status)) + ">";
  return said;
}

// The journal's records, each changed by `edit` (its fields after the kind)
// and sealed again with a check that holds.
void EditRecords(const std::string& journal,
                 const std::function<void(size_t index, std::vector<std::string>&)>& edit) {
  std::istringstream in(test::FileBytes(journal));
  std::string line, out;
  std::getline(in, line);
  out = line + "\n";
  for (size_t i = 0; std::getline(in, line); ++i) {
    char kind = 0;
    std::vector<std::string> fields;
    ASSERT_TRUE(datalog::ParseJournalLine(line, &kind, &fields));
    edit(i, fields);
    out += datalog::JournalLine(kind, fields) + "\n";
  }
  std::ofstream(journal, std::ios::trunc | std::ios::binary) << out;
}

// The journal's bytes with `bytes` put in before record `index` (0: the setup).
void InsertBeforeRecord(const std::string& journal, size_t index, const std::string& bytes) {
  std::string whole = test::FileBytes(journal);
  size_t at = whole.find('\n') + 1;
  for (size_t i = 0; i < index; ++i) at = whole.find('\n', at) + 1;
  whole.insert(at, bytes);
  std::ofstream(journal, std::ios::trunc | std::ios::binary) << whole;
}

// A journal, a folder or a recording as an unkind user leaves it, and what
// the program says about it: at the next start (the recovery), or while it
// records. `said` is a regular expression; D stands for the datalog folder.
struct BadInput {
  const char* what;
  std::function<std::string(const std::string& dir)> act;
  std::string said;
  std::function<void(const std::string& dir)> after = [](const std::string&) {};
};

const auto kStart = test::LocalTime(2026, 12, 8, 15, 15, 42);
const std::string kSaved = "A datalog that did not end was recovered: ";
const std::string kWorkbook = "D/[^/]+_RECOVERED_DATALOG[.]xlsx";
const std::string kInMemory =
    ". Recording goes on, but until STOP its samples are kept in memory only.";

std::string Recovered(const std::string& dir) {
  return datalog::RecoveryMessage(datalog::RecoverJournal(dir, kStart));
}
// A recording of `samples` samples into `slots` that died.
std::string Crashed(const std::string& dir, int slots, int samples, bool csv = false) {
  Recording(dir, slots, samples * 4, csv).Crash();
  return dir + "/" + datalog::kJournalName;
}
std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += (all.empty() ? "" : "\n") + l;
  return all;
}
// Rows 12 … of the one recovered workbook in `dir`.
size_t WorkbookRows(const std::string& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.find("_RECOVERED_DATALOG.xlsx") == std::string::npos) continue;
    const auto cells = test::WorkbookCells(e.path().string());
    size_t rows = 0;
    while (cells.count({12 + static_cast<int>(rows), 1}) == 1) ++rows;
    return rows;
  }
  return 0;
}

const BadInput kBadInputs[] = {
    {"a ring of 5 slots that recorded 10 samples",
     [](const std::string& d) {
       Crashed(d, 5, 10);
       return Recovered(d);
     },
     kSaved + "the ring's last 5 of 10 samples recorded, saved to " + kWorkbook + "[.]",
     [](const std::string& d) { EXPECT_EQ(WorkbookRows(d), 5u); }},
    {"one damaged record in the middle",
     [](const std::string& d) {
       const std::string journal = Crashed(d, 20, 6);
       std::string bytes = test::FileBytes(journal);
       size_t at = 0;
       for (int line = 0; line < 4; ++line) at = bytes.find('\n', at) + 1;
       bytes[at + 40] ^= 0x04;  // in the third sample's record
       std::ofstream(journal, std::ios::trunc | std::ios::binary) << bytes;
       return Recovered(d);
     },
     kSaved + "5 samples saved to " + kWorkbook + "[.] 1 damaged record was skipped[.]",
     [](const std::string& d) { EXPECT_EQ(WorkbookRows(d), 5u); }},
    {"a journal that is none, found by the next datalog setup",
     [](const std::string& d) {
       std::ofstream(d + "/" + datalog::kJournalName) << "something else\n";
       Recording r(d, 20, 8, false);
       return Joined(r.platform.messages);
     },
     "A datalog that did not end could not be recovered [(]not a datalog journal[)]; its journal "
     "was moved aside to D/eb2250_datalog[.]journal[.]unreadable-12-08-2026_03_15_42 PM[.]",
     [](const std::string& d) {
       EXPECT_EQ(test::FileBytes(d + "/eb2250_datalog.journal.unreadable-12-08-2026_03_15_42 PM"),
                 "something else\n");
     }},
    {"the recovered workbook cannot be written, then a datalog is set up",
     [](const std::string& d) {
       const std::string journal = Crashed(d, 20, 3);
       std::filesystem::copy_file(journal, d + "/crashed.copy");
       signal(SIGXFSZ, SIG_IGN);
       const rlimit small{4096, RLIM_INFINITY};
       setrlimit(RLIMIT_FSIZE, &small);
       Recording r(d, 20, 8, false);
       return Joined(r.platform.messages);
     },
     "A datalog that did not end could not be recovered [(].+[)]; its journal is kept for the "
     "next start[.]\nThe recovery journal of this datalog cannot be written [(]the journal of an "
     "earlier datalog that did not end, D/eb2250_datalog[.]journal, is still there[)]" +
         kInMemory,
     [](const std::string& d) {
       EXPECT_EQ(test::FileBytes(d + "/" + datalog::kJournalName),
                 test::FileBytes(d + "/crashed.copy"));
     }},
    {"the journal is a FIFO",
     [](const std::string& d) {
       mkfifo((d + "/" + datalog::kJournalName).c_str(), 0600);
       return Recovered(d);
     },
     "The datalog journal D/eb2250_datalog[.]journal cannot be read [(]it is a FIFO, not a regular "
     "file[)]; it is left as it is[.]"},
    {"the journal is a link to /dev/zero",
     [](const std::string& d) {
       std::filesystem::create_symlink("/dev/zero", d + "/" + datalog::kJournalName);
       return Recovered(d);
     },
     "The datalog journal D/eb2250_datalog[.]journal cannot be read [(]it is a symbolic link[)]; "
     "it is left as it is[.]"},
    {"a record of 10 MB",
     [](const std::string& d) {
       InsertBeforeRecord(Crashed(d, 20, 3), 2, std::string(10 << 20, 'x') + "\n");
       return Recovered(d);
     },
     kSaved + "3 samples saved to " + kWorkbook + "[.] 1 damaged record was skipped[.]"},
    {"the journal is a link to another file, and a datalog is set up",
     [](const std::string& d) {
       std::ofstream(d + "/precious.txt") << "keep me\n";
       std::filesystem::create_symlink("precious.txt", d + "/" + datalog::kJournalName);
       const std::string first = Recovered(d);
       Recording r(d, 20, 8, false);
       return Joined({first, Joined(r.platform.messages)});
     },
     "(The datalog journal D/eb2250_datalog[.]journal cannot be read [(]it is a symbolic link[)]; "
     "it is left as it is[.]\n){2}The recovery journal of this datalog cannot be written [(]it is "
     "a symbolic link[)]" +
         kInMemory,
     [](const std::string& d) { EXPECT_EQ(test::FileBytes(d + "/precious.txt"), "keep me\n"); }},
    {"a file-name field ../../outside/x",
     [](const std::string& d) {
       std::filesystem::create_directories(d + "/a/b");
       std::filesystem::create_directories(d + "/outside");
       EditRecords(Crashed(d + "/a/b", 20, 3), [](size_t i, std::vector<std::string>& f) {
         if (i > 0) f[4] = "../../outside/x";
       });
       return Recovered(d + "/a/b");
     },
     kSaved + "3 samples saved to D/a/b/12-08-2026_03_15_4[0-9] PM_RECOVERED_DATALOG[.]xlsx[.]",
     [](const std::string& d) { EXPECT_TRUE(std::filesystem::is_empty(d + "/outside")); }},
    {"a time stamp beyond the clock's range",
     [](const std::string& d) {
       EditRecords(Crashed(d, 20, 3, true), [](size_t i, std::vector<std::string>& f) {
         if (i == 2) f[2] = "9223372036854775807";
       });
       return Recovered(d);
     },
     kSaved + "2 samples saved to " + kWorkbook +
         " and D/[^/]+[.]csv[.] 1 damaged record was "
         "skipped[.]"},
    {"a journal of 4 GiB, mostly a hole",
     [](const std::string& d) {
       const std::string journal = Crashed(d, 20, 5);
       const std::string whole = test::FileBytes(journal);
       size_t cut = 0;  // after the magic line, the setup and two samples
       for (int line = 0; line < 4; ++line) cut = whole.find('\n', cut) + 1;
       const std::string tail = "\n" + whole.substr(cut);
       const int fd = open(journal.c_str(), O_WRONLY | O_TRUNC);
       EXPECT_EQ(pwrite(fd, whole.data(), cut, 0), static_cast<ssize_t>(cut));
       EXPECT_EQ(pwrite(fd, tail.data(), tail.size(), off_t{4} << 30),
                 static_cast<ssize_t>(tail.size()));
       close(fd);
       return Recovered(d);
     },
     kSaved + "5 samples saved to " + kWorkbook + "[.] 1 damaged record was skipped[.]"},
    {"a journal write fails while recording; a second program looks; STOP",
     [](const std::string& d) {
       Recording r(d, 20, 0, false);
       signal(SIGXFSZ, SIG_IGN);
       const rlimit small{4096, RLIM_INFINITY}, none{RLIM_INFINITY, RLIM_INFINITY};
       setrlimit(RLIMIT_FSIZE, &small);
       r.Tick(4 * 10);
       setrlimit(RLIMIT_FSIZE, &none);
       const std::string second = Recovered(d);
       r.form->Command1_click(12);  // STOP
       return Joined({Joined(r.platform.messages), "second: " + second,
                      std::filesystem::exists(d + "/" + datalog::kJournalName) ? "journal stays"
                                                                               : "no journal"});
     },
     "The recovery journal of this datalog could not be written [(]File too large[)]" + kInMemory +
         "\nsecond: \nno journal"},
    {"the journal is a folder",
     [](const std::string& d) {
       std::filesystem::create_directory(d + "/" + datalog::kJournalName);
       return Recovered(d);
     },
     "The datalog journal D/eb2250_datalog[.]journal cannot be read [(]it is a folder, not a "
     "file[)]; it is left as it is[.]"},
    {"the journal may not be read by this user",
     [](const std::string& d) {
       const std::string journal = Crashed(d, 20, 3);
       chmod(journal.c_str(), 0);
       chmod(d.c_str(), 0777);
       if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return std::string();
       return Recovered(d);
     },
     "The datalog journal D/eb2250_datalog[.]journal cannot be read [(]Permission denied[)]; it "
     "is left as it is[.]"},
    {"a journal of 0 bytes",
     [](const std::string& d) {
       std::ofstream(d + "/" + datalog::kJournalName).flush();
       return Recovered(d);
     },
     "", [](const std::string& d) { EXPECT_TRUE(std::filesystem::is_empty(d)); }},
    {"the datalog folder is removed while recording",
     [](const std::string& d) {
       std::filesystem::create_directory(d + "/sub");
       Recording r(d + "/sub", 20, 0, false);
       r.Tick(4 * 2);
       std::filesystem::remove_all(d + "/sub");
       r.Tick(4 * 3);
       return Joined(r.platform.messages) + "\n" + std::to_string(r.form->DATApoint);
     },
     "The recovery journal of this datalog could not be written [(]the datalog folder D/sub was "
     "removed[)]" +
         kInMemory + "\n6"},
};

TEST(JournalRecovery, BadInputIsRefusedSaidAndNeverLosesOrClobbersAFile) {
  for (const BadInput& row : kBadInputs) {
    SCOPED_TRACE(row.what);
    test::ScratchDir dir;
    const std::string said = SaidInChild([&] { return row.act(dir.path()); });
    std::string pattern = row.said;
    for (size_t at = 0; (at = pattern.find("D/", at)) != std::string::npos;) {
      pattern.replace(at, 1, dir.path());
      at += dir.path().size();
    }
    EXPECT_TRUE(std::regex_match(said, std::regex(pattern))) << said;
    row.after(dir.path());
  }
}

}  // namespace
}  // namespace eb
