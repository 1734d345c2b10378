#include "record/recording_writer.h"

#include <sqlite3.h>

#include <chrono>
#include <cmath>

#include "record/recording.h"

namespace eb {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS recording(
  key   TEXT PRIMARY KEY,
  value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS stack_config(
  ms      INTEGER NOT NULL,
  board   INTEGER NOT NULL,
  address INTEGER NOT NULL,
  cfgr    TEXT NOT NULL,
  vuv     REAL,
  vov     REAL);
CREATE TABLE IF NOT EXISTS stack_setup(
  ms    INTEGER NOT NULL,
  setup TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS samples(
  id        INTEGER PRIMARY KEY,
  ms        INTEGER NOT NULL,
  board     INTEGER NOT NULL,
  address   INTEGER NOT NULL,
  cfgr      TEXT,
  flgr      TEXT,
  vuv       TEXT, vov TEXT,
  c1 REAL, c2 REAL, c3 REAL, c4 REAL, c5 REAL, c6 REAL,
  c7 REAL, c8 REAL, c9 REAL, c10 REAL, c11 REAL, c12 REAL,
  etmp1 REAL, etmp2 REAL, itmp REAL,
  status    TEXT,
  cfgr_read TEXT, flgr_read TEXT, cv_read TEXT, tmp_read TEXT);
CREATE INDEX IF NOT EXISTS samples_by_time ON samples(ms, board);
)sql";

constexpr const char* kInsert =
    "INSERT INTO samples(ms, board, address, cfgr, flgr, vuv, vov, c1, c2, c3, c4, c5, c6, c7, "
    "c8, c9, c10, c11, c12, etmp1, etmp2, itmp, status, cfgr_read, flgr_read, cv_read, tmp_read) "
    "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

constexpr const char* kInsertConfig =
    "INSERT INTO stack_config(ms, board, address, cfgr, vuv, vov) VALUES(?,?,?,?,?,?)";

constexpr const char* kInsertSetup = "INSERT INTO stack_setup(ms, setup) VALUES(?,?)";

void BindText(sqlite3_stmt* st, int i, const std::string& text) {
  sqlite3_bind_text(st, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindVolts(sqlite3_stmt* st, int i, double v) {
  if (std::isnan(v)) {
    sqlite3_bind_null(st, i);
  } else {
    sqlite3_bind_double(st, i, v);
  }
}

std::string Why(sqlite3* db, int code) {
  if (code == SQLITE_FULL) return "the disk is full";
  const char* msg = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return msg != nullptr ? msg : sqlite3_errstr(code);
}

}  // namespace

std::unique_ptr<Recording> Recording::Open(const std::string& path, const RecordingStart& start,
                                           std::string* error) {
  std::unique_ptr<Recording> r(new Recording);
  r->path_ = path;
  auto fail = [&](const std::string& why) {
    *error = "Cannot record to " + path + ": " + why + ".";
    return nullptr;
  };
  const int opened = sqlite3_open_v2(
      path.c_str(), &r->db_,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
      nullptr);
  if (opened != SQLITE_OK) return fail(Why(r->db_, opened));
  sqlite3_extended_result_codes(r->db_, 0);
  sqlite3_busy_timeout(r->db_, 2000);
  // Anything but an empty file or a recording of this schema is left alone.
  sqlite3_stmt* probe = nullptr;
  int rc = sqlite3_prepare_v2(r->db_, "SELECT count(*) FROM sqlite_schema", -1, &probe, nullptr);
  if (rc != SQLITE_OK) return fail(rc == SQLITE_NOTADB ? "it is not a recording" : Why(r->db_, rc));
  rc = sqlite3_step(probe);
  const int objects = rc == SQLITE_ROW ? sqlite3_column_int(probe, 0) : -1;
  sqlite3_finalize(probe);
  if (objects < 0) return fail(rc == SQLITE_NOTADB ? "it is not a recording" : Why(r->db_, rc));
  if (objects > 0) {
    rc = sqlite3_prepare_v2(r->db_, "SELECT value FROM recording WHERE key = 'schema'", -1, &probe,
                            nullptr);
    bool ours = false;
    if (rc == SQLITE_OK && sqlite3_step(probe) == SQLITE_ROW) {
      const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(probe, 0));
      ours = v != nullptr && std::string(v) == std::to_string(kRecordingSchema);
    }
    sqlite3_finalize(probe);
    if (!ours) return fail("it is not a recording of this program");
  }
  if (!r->Exec("PRAGMA journal_mode=WAL") || !r->Exec("PRAGMA synchronous=FULL") ||
      !r->Exec(kSchema)) {
    return fail(r->failure_);
  }
  if (start.maxPages > 0) {
    r->Exec(("PRAGMA max_page_count=" + std::to_string(start.maxPages)).c_str());
  }
  // The first start's provenance stays when a recording is appended to.
  const std::pair<const char*, std::string> keys[] = {
      {"schema", std::to_string(kRecordingSchema)},
      {"program", start.program},
      {"bridge", start.bridge},
      {"started_ms", std::to_string(start.startedMs)},
      {"started", record::UtcStamp(start.startedMs)},
  };
  sqlite3_stmt* put = nullptr;
  if (sqlite3_prepare_v2(r->db_, "INSERT OR IGNORE INTO recording(key, value) VALUES(?, ?)", -1,
                         &put, nullptr) != SQLITE_OK) {
    return fail(Why(r->db_, sqlite3_errcode(r->db_)));
  }
  r->Exec("BEGIN");
  bool ok = true;
  for (const auto& [key, value] : keys) {
    sqlite3_bind_text(put, 1, key, -1, SQLITE_STATIC);
    BindText(put, 2, value);
    ok = ok && sqlite3_step(put) == SQLITE_DONE;
    sqlite3_reset(put);
  }
  sqlite3_finalize(put);
  if (!ok || !r->Exec("COMMIT")) {
    const std::string why =
        r->failure_.empty() ? Why(r->db_, sqlite3_errcode(r->db_)) : r->failure_;
    return fail(why);
  }
  if (sqlite3_prepare_v2(r->db_, kInsert, -1, &r->insert_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(r->db_, kInsertConfig, -1, &r->config_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(r->db_, kInsertSetup, -1, &r->setup_, nullptr) != SQLITE_OK) {
    return fail(Why(r->db_, sqlite3_errcode(r->db_)));
  }
  r->failure_.clear();
  return r;
}

Recording::~Recording() {
  Flush();
  sqlite3_finalize(insert_);
  sqlite3_finalize(config_);
  sqlite3_finalize(setup_);
  sqlite3_close(db_);
}

bool Recording::Exec(const char* sql) {
  char* msg = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &msg);
  if (rc != SQLITE_OK) {
    failure_ = rc == SQLITE_FULL ? "the disk is full" : (msg != nullptr ? msg : sqlite3_errstr(rc));
    if (rc == SQLITE_FULL) diskFull_ = true;
  }
  sqlite3_free(msg);
  return rc == SQLITE_OK;
}

void Recording::Failed(int code) {
  if (code == SQLITE_FULL) diskFull_ = true;
  if (failure_.empty() && !failureSaid_) failure_ = Why(db_, code);
  broken_ = true;
}

bool Recording::Begin() {
  if (open_) return true;
  const int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    Failed(rc);
    return false;
  }
  open_ = true;
  broken_ = false;
  return true;
}

bool Recording::Commit() {
  if (!open_) return true;
  open_ = false;
  if (!broken_) {
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      written_ += pending_;
      pending_ = 0;
      return true;
    }
    Failed(rc);
  }
  // A commit that failed may have left the transaction open.
  if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  lost_ += pending_;
  pending_ = 0;
  broken_ = false;
  return false;
}

void Recording::Sample(const BoardSample& s) {
  if (!Begin()) {
    ++lost_;
    return;
  }
  sqlite3_stmt* st = insert_;
  int i = 1;
  sqlite3_bind_int64(st, i++, s.ms);
  sqlite3_bind_int(st, i++, s.board);
  sqlite3_bind_int(st, i++, s.address);
  BindText(st, i++, s.cfgr);
  BindText(st, i++, s.flgr);
  BindText(st, i++, s.vuv);
  BindText(st, i++, s.vov);
  for (double v : s.cells) BindVolts(st, i++, v);
  for (double v : s.temps) BindVolts(st, i++, v);
  BindText(st, i++, s.StatusText());
  for (ReadOutcome o : {s.cfgrRead, s.flgrRead, s.cvRead, s.tmpRead})
    sqlite3_bind_text(st, i++, OutcomeWord(o), -1, SQLITE_STATIC);
  ++pending_;
  if (!broken_) {
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) Failed(rc);
  }
  sqlite3_reset(st);
  if (s.board >= lastBoard_) Commit();
}

void Recording::ConfigChanged(const StackConfig& config) {
  Commit();  // the pass before the change is whole
  lastBoard_ = config.boards.empty() ? 10 : config.boards.back().board;
  // Each table gets rows when its part changed (a new selected board
  // changes only the setup), or when it has none of this recording yet.
  const bool boards = !stored_ || stored_->boards != config.boards;
  const bool setup = !config.setup.empty() && (!stored_ || stored_->setup != config.setup);
  if (!boards && !setup) return;
  if (!Begin()) return;
  for (const BoardConfig& b : config.boards) {
    if (!boards) break;
    sqlite3_stmt* st = config_;
    sqlite3_bind_int64(st, 1, config.ms);
    sqlite3_bind_int(st, 2, b.board);
    sqlite3_bind_int(st, 3, b.address);
    BindText(st, 4, b.cfgr);
    BindVolts(st, 5, b.vuv);
    BindVolts(st, 6, b.vov);
    const int rc = broken_ ? SQLITE_DONE : sqlite3_step(st);
    if (rc != SQLITE_DONE) Failed(rc);
    sqlite3_reset(st);
  }
  if (setup) {
    sqlite3_bind_int64(setup_, 1, config.ms);
    BindText(setup_, 2, config.setup);
    const int rc = broken_ ? SQLITE_DONE : sqlite3_step(setup_);
    if (rc != SQLITE_DONE) Failed(rc);
    sqlite3_reset(setup_);
  }
  // Only what is in the file counts as stored: after a failed write the
  // next change writes both parts again.
  if (Commit()) {
    stored_ = config;
  } else {
    stored_.reset();
  }
}

void Recording::Flush() { Commit(); }

std::string Recording::TakeFailure() {
  if (failureSaid_ || failure_.empty()) return "";
  failureSaid_ = true;
  return "Recording to " + path_ + " failed: " + failure_ +
         ". The window goes on; samples that cannot be written are lost until there is room again.";
}

}  // namespace eb
