// The recording database: what a sample becomes in it, the commit of each
// pass over the stack, appending to a recording, refusing other files, and
// a full disk said once while recording goes on.
#include "record/recording_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sheet/journal.h"

namespace eb {
namespace {

std::string TempPath(const std::string& name) {
  const std::string path = ::testing::TempDir() + name;
  for (const char* end : {"", "-wal", "-shm"}) unlink((path + end).c_str());
  return path;
}

// Rows of a query on a second connection, as the sqlite3 shell would see
// them: columns joined with '|', NULL as "NULL".
std::vector<std::string> Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return {"cannot open"};
  }
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    rows.push_back(std::string("bad query: ") + sqlite3_errmsg(db));
  }
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(st); ++c) {
      if (c > 0) row += "|";
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
      row += text != nullptr ? text : "NULL";
    }
    rows.push_back(row);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

BoardSample SampleOfBoard(int board, std::int64_t ms) {
  BoardSample s;
  s.ms = ms;
  s.board = board;
  s.address = board - 1;
  s.cfgr = "E1, 00, 00, 00, 00, 00.";
  s.flgr = "00, 00, 00";
  s.vuv = " 2.112";
  s.vov = " 4.200";
  for (int c = 0; c < kSampleCells; ++c) s.cells[static_cast<size_t>(c)] = 3.0 + 0.125 * c;
  s.temps = {1.25, 1.5, NAN};
  s.status.fill("GD");
  s.cvRead = ReadOutcome::kMismatch;
  s.tmpRead = ReadOutcome::kNone;
  return s;
}

StackConfig ConfigOf(int boards, std::int64_t ms) {
  StackConfig c;
  c.ms = ms;
  for (int b = 1; b <= boards; ++b)
    c.boards.push_back({b, b - 1, "E1, 00, 00, 00, 00, 00", 2.112, NAN});
  return c;
}

RecordingStart Start(std::int64_t ms = 1765258000000) {
  return {.program = "eb2250-gui 25.0 (test)", .bridge = "sim:boards=2", .startedMs = ms};
}

TEST(Recording, SamplesAndProvenanceAsTheSchemaSays) {
  const std::string path = TempPath("recording_schema.db");
  std::string error;
  auto r = Recording::Open(path, Start(), &error);
  ASSERT_NE(r, nullptr) << error;
  r->ConfigChanged(ConfigOf(2, 1765258000000));
  r->Sample(SampleOfBoard(1, 1765258000300));
  // Board 1 of two: the pass is not whole yet, nothing is committed.
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples"), std::vector<std::string>{"0"});
  r->Sample(SampleOfBoard(2, 1765258000600));
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples"), std::vector<std::string>{"2"});
  EXPECT_EQ(r->samplesWritten(), 2);

  EXPECT_EQ(Query(path, "PRAGMA journal_mode"), std::vector<std::string>{"wal"});
  EXPECT_EQ(
      Query(path, "SELECT key, value FROM recording ORDER BY key"),
      (std::vector<std::string>{"bridge|sim:boards=2", "program|eb2250-gui 25.0 (test)", "schema|1",
                                "started|2025-12-09T05:26:40.000Z", "started_ms|1765258000000"}));
  EXPECT_EQ(Query(path, "SELECT ms, board, address, cfgr, vuv, vov FROM stack_config"),
            (std::vector<std::string>{"1765258000000|1|0|E1, 00, 00, 00, 00, 00|2.112|NULL",
                                      "1765258000000|2|1|E1, 00, 00, 00, 00, 00|2.112|NULL"}));
  EXPECT_EQ(
      Query(path,
            "SELECT ms, board, address, cfgr, flgr, vuv, vov, c1, c12, etmp1, etmp2, itmp, "
            "substr(status, 1, 6), cfgr_read, flgr_read, cv_read, tmp_read FROM samples "
            "WHERE board = 2"),
      std::vector<std::string>{"1765258000600|2|1|E1, 00, 00, 00, 00, 00.|00, 00, 00| 2.112| "
                               "4.200|3.0|4.375|1.25|1.5|NULL|GD, GD|unread|unread|mismatch|none"});

  // A change of the stack commits the pass in flight and is stored.
  r->Sample(SampleOfBoard(1, 1765258000900));
  r->ConfigChanged(ConfigOf(1, 1765258001000));
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples"), std::vector<std::string>{"3"});
  r->Sample(SampleOfBoard(1, 1765258001200));  // one board: each sample is a pass
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples"), std::vector<std::string>{"4"});
  EXPECT_EQ(Query(path, "SELECT count(*) FROM stack_config"), std::vector<std::string>{"3"});
}

TEST(Recording, AppendsToARecordingAndRefusesEveryOtherFile) {
  const std::string path = TempPath("recording_append.db");
  std::string error;
  {
    auto r = Recording::Open(path, Start(1000), &error);
    ASSERT_NE(r, nullptr) << error;
    r->ConfigChanged(ConfigOf(2, 1000));
    r->Sample(SampleOfBoard(1, 1300));  // the end of the recording commits it
  }
  {
    auto r = Recording::Open(path, Start(5000), &error);
    ASSERT_NE(r, nullptr) << error;
    r->ConfigChanged(ConfigOf(2, 5000));
    r->Sample(SampleOfBoard(1, 5300));
    r->Sample(SampleOfBoard(2, 5600));
  }
  EXPECT_EQ(Query(path, "SELECT ms FROM samples ORDER BY id"),
            (std::vector<std::string>{"1300", "5300", "5600"}));
  EXPECT_EQ(Query(path, "SELECT value FROM recording WHERE key = 'started_ms'"),
            std::vector<std::string>{"1000"});

  struct Case {
    const char* name;
    std::string content;  // written as the file; "sql:" runs the SQL in a new database
    const char* why;
  };
  const Case cases[] = {
      {"text", "not a database at all, just some text of the operator's\n", "not a recording"},
      {"other database", "sql:CREATE TABLE t(x); INSERT INTO t VALUES(1);",
       "not a recording of this program"},
      {"later schema",
       "sql:CREATE TABLE recording(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
       "INSERT INTO recording VALUES('schema', '2');",
       "not a recording of this program"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string other = TempPath("recording_other.db");
    if (c.content.rfind("sql:", 0) == 0) {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, c.content.c_str() + 4, nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    } else {
      std::ofstream(other) << c.content;
    }
    std::ifstream before(other, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(before)), {});
    error.clear();
    EXPECT_EQ(Recording::Open(other, Start(), &error), nullptr);
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    std::ifstream after(other, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), bytes);
  }
  EXPECT_EQ(Recording::Open(::testing::TempDir() + "no/such/folder/r.db", Start(), &error),
            nullptr);
  EXPECT_NE(error.find("Cannot record to"), std::string::npos);
}

TEST(Recording, AFullDiskIsSaidOnceAndRecordingGoesOn) {
  const std::string path = TempPath("recording_full.db");
  std::string error;
  RecordingStart start = Start();
  start.maxPages = 12;  // SQLite answers SQLITE_FULL beyond it, as on a full disk
  auto r = Recording::Open(path, start, &error);
  ASSERT_NE(r, nullptr) << error;
  r->ConfigChanged(ConfigOf(1, 0));
  int said = 0;
  for (int i = 0; i < 400; ++i) {
    r->Sample(SampleOfBoard(1, 1000 + i));
    const std::string failure = r->TakeFailure();
    if (!failure.empty()) {
      ++said;
      EXPECT_NE(failure.find("the disk is full"), std::string::npos) << failure;
    }
  }
  EXPECT_EQ(said, 1);
  EXPECT_TRUE(r->diskFull());
  EXPECT_GT(r->samplesLost(), 0);
  EXPECT_GT(r->samplesWritten(), 0);
  EXPECT_EQ(r->samplesWritten() + r->samplesLost(), 400);
  // Every committed sample is there and whole.
  EXPECT_EQ(Query(path, "SELECT count(*) FROM samples WHERE c12 = 4.375"),
            std::vector<std::string>{std::to_string(r->samplesWritten())});
  EXPECT_EQ(Query(path, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

// A ten-board pass (ten samples, one commit) against the journal's append
// of a ten-board datalog sample on the same disk; and the file's size for an
// hour of ten boards (a pass every 3 s).
TEST(Recording, ATenBoardPassCostsAboutWhatTheJournalDoesAndAnHourIsAFewMegabytes) {
  auto each = [](int passes, auto&& pass) {
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < passes; ++p) pass(p);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count() /
           passes;
  };
  const std::string path = TempPath("recording_cost.db");
  std::string error;
  auto r = Recording::Open(path, Start(), &error);
  ASSERT_NE(r, nullptr) << error;
  r->ConfigChanged(ConfigOf(10, 0));
  std::int64_t ms = 1765258000000;
  auto pass = [&](int) {
    for (int b = 1; b <= 10; ++b) r->Sample(SampleOfBoard(b, ms += 300));
  };
  const double recording = each(40, pass);
  ASSERT_EQ(r->samplesWritten(), 400);

  std::vector<std::string> record(7, "12-08-2026_03_15_42 PM");
  for (int i = 0; i < 220; ++i) record.push_back("3.600");
  datalog::JournalWriter journal;
  ASSERT_TRUE(journal.Start(::testing::TempDir(), {"1000", "1000", "800", "x", "s", "0"}));
  const double journaled = each(40, [&](int) { ASSERT_TRUE(journal.Append(record)); });
  journal.Finish();
  EXPECT_LT(recording, 100.0);  // on the disk before the next pass, 3 s later
  std::printf("ten-board pass: recording %.3f ms, journal %.3f ms\n", recording, journaled);

  // 200 passes, a sixth of an hour of ten boards.
  for (int p = 40; p < 200; ++p) pass(p);
  r.reset();
  const double hour = 6.0 * static_cast<double>(std::filesystem::file_size(path));
  EXPECT_LT(hour, 8.0 * (1 << 20));
  std::printf("an hour of ten boards: %.2f MB\n", hour / (1 << 20));
}

}  // namespace
}  // namespace eb
