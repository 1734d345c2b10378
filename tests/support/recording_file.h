// A recording file made straight through libsqlite3, in the layout the
// recorder writes: `passes` passes of `boards` boards, one every `periodMs`,
// with synthetic voltages, a gap (every reading of one board missing for a
// run of passes), cells 11 and 12 of board 3 missing throughout (10-cell
// mode) and one spike on one cell.
#pragma once

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace eb::test {

struct SyntheticRecording {
  int passes = 100;
  int boards = 10;
  std::int64_t startMs = 1'796'810'400'000;  // 2026-12-09T10:00:00Z
  std::int64_t periodMs = 3000;
  // Board gapBoard reads nothing in passes gapFrom … gapTo - 1.
  int gapBoard = 2, gapFrom = 40, gapTo = 50;
  // Cell spikeCell (1 … 12) of board spikeBoard reads spikeVolts in pass spikePass.
  int spikeBoard = 4, spikeCell = 5, spikePass = 77;
  double spikeVolts = 4.95;

  std::int64_t Ms(int pass, int board) const { return startMs + pass * periodMs + board; }
  bool Gap(int pass, int board) const {
    return board == gapBoard && pass >= gapFrom && pass < gapTo;
  }
  // Cell c (1 … 12) of board b (1 … 10) in pass p; NaN: no reading.
  double Cell(int pass, int board, int cell) const {
    if (Gap(pass, board) || (board == 3 && cell > 10)) return std::nan("");
    if (board == spikeBoard && cell == spikeCell && pass == spikePass) return spikeVolts;
    return 3.6 + 0.001 * ((pass * 7 + board * 13 + cell * 3) % 200);
  }
  // Temperature input k (1 … 3) of board b in pass p.
  double Temp(int pass, int board, int k) const {
    if (Gap(pass, board)) return std::nan("");
    return 1.5 + 0.0001 * ((pass + board * 11 + k) % 100);
  }
  std::string Status(int pass, int board) const {
    return Gap(pass, board) ? "" : pass % 2 ? "GD, GD, OV" : "GD, UV, GD";
  }
};

inline void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string why = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error(why);
  }
}

constexpr const char* kRecordingSchema = R"(
PRAGMA journal_mode = WAL;
CREATE TABLE recording(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE stack_config(ms INTEGER NOT NULL, board INTEGER NOT NULL, address INTEGER NOT NULL,
  cfgr TEXT NOT NULL, vuv REAL, vov REAL);
CREATE TABLE samples(id INTEGER PRIMARY KEY, ms INTEGER NOT NULL, board INTEGER NOT NULL,
  address INTEGER NOT NULL, cfgr TEXT, flgr TEXT, vuv TEXT, vov TEXT,
  c1 REAL, c2 REAL, c3 REAL, c4 REAL, c5 REAL, c6 REAL,
  c7 REAL, c8 REAL, c9 REAL, c10 REAL, c11 REAL, c12 REAL,
  etmp1 REAL, etmp2 REAL, itmp REAL, status TEXT,
  cfgr_read TEXT, flgr_read TEXT, cv_read TEXT, tmp_read TEXT);
CREATE INDEX samples_by_time ON samples(ms, board);
INSERT INTO recording VALUES ('schema', '1'), ('program', 'eb2250-gui test'),
  ('bridge', 'sim'), ('started_ms', '1796810400000'), ('started', '2026-12-09T10:00:00.000Z');
)";

// Appends the passes first … end - 1 of `r` to the open database.
inline void AppendPasses(sqlite3* db, const SyntheticRecording& r, int first, int end) {
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO samples(ms, board, address, cfgr, flgr, vuv, vov, c1, c2, c3, "
                     "c4, c5, c6, c7, c8, c9, c10, c11, c12, etmp1, etmp2, itmp, status, "
                     "cfgr_read, flgr_read, cv_read, tmp_read) VALUES (?, ?, ?, 'E1, 00, 00, 00, "
                     "00, 00', '00, 00, 00', '3.000', '4.200', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                     "?, ?, ?, ?, ?, 'match', 'match', ?, 'match')",
                     -1, &insert, nullptr);
  Exec(db, "BEGIN");
  for (int p = first; p < end; ++p) {
    for (int b = 1; b <= r.boards; ++b) {
      sqlite3_reset(insert);
      sqlite3_bind_int64(insert, 1, r.Ms(p, b));
      sqlite3_bind_int(insert, 2, b);
      sqlite3_bind_int(insert, 3, b - 1);
      auto volts = [insert](int at, double v) {
        if (std::isnan(v)) {
          sqlite3_bind_null(insert, at);
        } else {
          sqlite3_bind_double(insert, at, v);
        }
      };
      for (int c = 1; c <= 12; ++c) volts(3 + c, r.Cell(p, b, c));
      for (int k = 1; k <= 3; ++k) volts(15 + k, r.Temp(p, b, k));
      const std::string status = r.Status(p, b);
      sqlite3_bind_text(insert, 19, status.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 20, r.Gap(p, b) ? "none" : "match", -1, SQLITE_STATIC);
      if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    }
  }
  Exec(db, "COMMIT");
  sqlite3_finalize(insert);
}

// Creates the recording file `path` (which must not exist yet). Returns the
// open database when `keepOpen` (the caller closes it), else nullptr.
inline sqlite3* WriteRecording(const std::string& path, const SyntheticRecording& r,
                               bool keepOpen = false) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
    throw std::runtime_error("cannot create " + path);
  Exec(db, kRecordingSchema);
  AppendPasses(db, r, 0, r.passes);
  if (keepOpen) return db;
  sqlite3_close(db);
  return nullptr;
}

// One day of a ten-board stack (28,800 passes, 288,000 samples) for the
// benchmarks: made once in the temporary folder and kept for later runs.
inline const SyntheticRecording& DayOfTenBoards() {
  static const SyntheticRecording day{.passes = 28'800, .boards = 10};
  return day;
}
inline const std::string& DayRecordingFile() {
  static const std::string path = [] {
    const std::string p =
        (std::filesystem::temp_directory_path() / "eb2250-bench-day-v1.db").string();
    if (!std::filesystem::exists(p)) {
      const std::string partial = p + ".partial";
      std::filesystem::remove(partial);
      WriteRecording(partial, DayOfTenBoards());
      std::filesystem::rename(partial, p);
    }
    return p;
  }();
  return path;
}

}  // namespace eb::test
