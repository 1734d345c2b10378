// A day of a simulated ten-board stack recorded at the cycle's real rate
// (864,000 timer ticks of 100 ms on the script's clock), the program killed
// (SIGKILL) in the middle and started again on the same recording: every
// sample committed before the kill is there, whole, each pass of the stack
// complete, every cell the voltage the simulator was set to.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/launch.h"

namespace eb {
namespace {

constexpr int kBoards = 10;
constexpr int kTicksPerBlock = 3000;  // 100 passes of the stack: 5 minutes
constexpr int kSamplesPerBlock = kTicksPerBlock / 3;
constexpr int kBlocksPerDay = 864000 / kTicksPerBlock;

// The voltage cell c (1 … 12) of board b (0 … 9) is set to in block k: a
// multiple of the chip's 1.5 mV step, different from block to block.
double Volts(int k, int b, int c) { return 3.0 + 0.0015 * ((k * 37 + b * 11 + c * 5) % 600); }

// Configures the stack, starts recording and reading, then runs blocks
// first … first + count - 1, each setting every cell before its ticks.
void WriteScript(const std::string& path, const std::string& db, int first, int count) {
  std::ofstream s(path);
  s << "set Combo1 " << kBoards - 1 << "\nclick Command0 1\nclick Command1 5\n"
    << "record \"" << db << "\"\nclick Command1 10\n";
  for (int k = first; k < first + count; ++k) {
    for (int b = 0; b < kBoards; ++b)
      for (int c = 1; c <= 12; ++c)
        s << "sim cell " << b << " " << c << " " << Volts(k, b, c) << "\n";
    s << "tick " << kTicksPerBlock << "\n";
  }
}

struct Db {
  sqlite3* db = nullptr;
  explicit Db(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_busy_timeout(db, 1000);
  }
  ~Db() { sqlite3_close(db); }
  long long Number(const char* sql) const {
    sqlite3_stmt* st = nullptr;
    long long v = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
  }
};

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Rows `from` … `to` (ids) are run `firstBlock`'s blocks in order, pass
// after pass of boards 1 … 10, 300 ms apart, each cell as set.
void ExpectSamples(const Db& db, long long from, long long to, int firstBlock) {
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db.db,
                               "SELECT id, ms, board, address, c1, c2, c3, c4, c5, c6, c7, c8, c9, "
                               "c10, c11, c12, cv_read FROM samples WHERE id BETWEEN ? AND ? "
                               "ORDER BY id",
                               -1, &st, nullptr),
            SQLITE_OK);
  sqlite3_bind_int64(st, 1, from);
  sqlite3_bind_int64(st, 2, to);
  long long expectId = from, lastMs = 0;
  int wrong = 0;
  while (sqlite3_step(st) == SQLITE_ROW && wrong < 5) {
    const long long id = sqlite3_column_int64(st, 0);
    const long long i = id - from;  // sample of this run
    const int board = static_cast<int>(i % kBoards);
    const int block = firstBlock + static_cast<int>(i / kSamplesPerBlock);
    const long long ms = sqlite3_column_int64(st, 1);
    bool ok = id == expectId && sqlite3_column_int(st, 2) == board + 1 &&
              sqlite3_column_int(st, 3) == board && (i == 0 || ms == lastMs + 300) &&
              std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 16))) == "match";
    for (int c = 1; c <= 12; ++c) {
      ok = ok && sqlite3_column_type(st, 3 + c) == SQLITE_FLOAT &&
           std::fabs(sqlite3_column_double(st, 3 + c) - Volts(block, board, c)) < 0.0008;
    }
    if (!ok) {
      ++wrong;
      ADD_FAILURE() << "sample " << id << " (board " << board + 1 << ", block " << block
                    << ") is not as recorded";
    }
    lastMs = ms;
    ++expectId;
  }
  sqlite3_finalize(st);
  EXPECT_EQ(expectId, to + 1) << "samples missing after " << expectId - 1;
}

TEST(RecordKill, ADayOfTenBoardsKilledInTheMiddleKeepsEverySampleBeforeTheKill) {
  // On a RAM disk when there is one: the commits' flushes cost nothing
  // there, and a kill, unlike a power cut, needs none.
  const std::filesystem::path base =
      std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : ::testing::TempDir();
  const std::filesystem::path dir = base / ("eb-record-kill-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string db = (dir / "day.db").string();
  const std::string sim = "sim:boards=10,seed=5,noise=0";

  // The first run would record a whole day; it is killed once it has
  // committed half of one.
  WriteScript(dir / "first.script", db, 0, kBlocksPerDay);
  const pid_t first = test::Launch(EB_GUI_EXE, {"--bridge", sim, "--script", dir / "first.script"},
                                   dir / "first.out", dir / "first.err");
  const long long half = static_cast<long long>(kBlocksPerDay / 2) * kSamplesPerBlock;
  long long seen = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  while (seen < half && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (std::filesystem::exists(db)) seen = Db(db).Number("SELECT count(*) FROM samples");
  }
  ASSERT_EQ(kill(first, SIGKILL), 0);
  const int status = Wait(first);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << "the first run ended by itself: " << std::ifstream(dir / "first.err").rdbuf();
  ASSERT_GE(seen, half) << "the first run did not get half-way in time";

  const long long kept = Db(db).Number("SELECT count(*) FROM samples");
  EXPECT_GE(kept, seen);  // nothing committed was lost
  EXPECT_EQ(kept % kBoards, 0) << "a pass of the stack was cut";
  {
    SCOPED_TRACE("first run");
    ExpectSamples(Db(db), 1, kept, 0);
  }

  // Started again, the program appends the rest of the day.
  const int blocksLeft = kBlocksPerDay - static_cast<int>(kept / kSamplesPerBlock);
  WriteScript(dir / "second.script", db, 1000, blocksLeft);
  const pid_t second =
      test::Launch(EB_GUI_EXE, {"--bridge", sim, "--script", dir / "second.script"},
                   dir / "second.out", dir / "second.err");
  const int secondStatus = Wait(second);
  ASSERT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0)
      << std::ifstream(dir / "second.err").rdbuf();
  const Db all(db);
  const long long total = all.Number("SELECT count(*) FROM samples");
  EXPECT_EQ(total, kept + static_cast<long long>(blocksLeft) * kSamplesPerBlock);
  {
    SCOPED_TRACE("second run");
    ExpectSamples(all, kept + 1, total, 1000);
  }
  // A day of cycle samples: at least 24 h between the first and the last
  // sample's time stamps of the two runs together.
  const long long firstRunMs = all.Number(
      ("SELECT max(ms) - min(ms) FROM samples WHERE id <= " + std::to_string(kept)).c_str());
  const long long secondRunMs = all.Number(
      ("SELECT max(ms) - min(ms) FROM samples WHERE id > " + std::to_string(kept)).c_str());
  EXPECT_GE(firstRunMs + secondRunMs + 2 * 300, 24LL * 3600 * 1000 - 300);
  EXPECT_EQ(all.Number("SELECT count(*) FROM stack_config"), 2 * kBoards);  // at each start
  std::printf("recorded %lld samples (%lld before the kill), %.1f MB\n", total, kept,
              static_cast<double>(std::filesystem::file_size(db)) / (1 << 20));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace eb
