#include "record/recording.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace eb::record {

namespace {

// The columns of `samples` in the order Sample takes them.
constexpr const char* kSampleColumns =
    "id, ms, board, address, cfgr, flgr, vuv, vov, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, "
    "c12, etmp1, etmp2, itmp, status, cfgr_read, flgr_read, cv_read, tmp_read";

std::string Text(sqlite3_stmt* s, int col) {
  const unsigned char* text = sqlite3_column_text(s, col);
  return text == nullptr ? std::string()
                         : std::string(reinterpret_cast<const char*>(text),
                                       static_cast<std::size_t>(sqlite3_column_bytes(s, col)));
}

double Volts(sqlite3_stmt* s, int col) {
  return sqlite3_column_type(s, col) == SQLITE_NULL ? kNoReading : sqlite3_column_double(s, col);
}

bool Damage(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// A statement finalized when it goes out of scope.
struct Statement {
  sqlite3_stmt* s = nullptr;
  ~Statement() { sqlite3_finalize(s); }
};

}  // namespace

bool Selection::Takes(int board) const {
  return boards.empty() || std::find(boards.begin(), boards.end(), board) != boards.end();
}

std::string Selection::Where() const {
  std::string where = " WHERE ms >= ?1 AND ms <= ?2";
  if (!boards.empty()) {
    where += " AND board IN (";
    for (std::size_t i = 0; i < boards.size(); ++i)
      where += (i > 0 ? "," : "") + std::to_string(boards[i]);
    where += ")";
  }
  return where;
}

Recording::Recording(const std::string& path) : path_(path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw RecordingError("cannot open " + path + ": " + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw RecordingError(path + " is not a recording (not a file)");
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw RecordingError("cannot open " + path + ": " + why);
  }
  // A writer checkpointing holds the file for a moment: wait for it.
  sqlite3_busy_timeout(db_, 2000);
  try {
    Statement q;
    int step = sqlite3_prepare_v2(db_, "SELECT value FROM recording WHERE key = 'schema'", -1, &q.s,
                                  nullptr);
    if (step == SQLITE_OK) step = sqlite3_step(q.s);
    if ((step & 0xff) == SQLITE_NOTADB)
      throw RecordingError(path + " is not a recording (not an SQLite database)");
    if (step == SQLITE_ERROR && std::strstr(sqlite3_errmsg(db_), "no such table") != nullptr)
      throw RecordingError(path + " is not a recording (it has no table \"recording\")");
    if (step != SQLITE_ROW && step != SQLITE_DONE) Fail(step);
    const std::string schema = step == SQLITE_ROW ? Text(q.s, 0) : std::string();
    int version = 0;
    const auto [end, ec] = std::from_chars(schema.data(), schema.data() + schema.size(), version);
    if (schema.empty() || ec != std::errc() || end != schema.data() + schema.size() || version < 1)
      throw RecordingError(path + " is not a recording (no schema version)");
    if (version > kSchema)
      throw RecordingError(path + " was written by a newer program (recording schema " + schema +
                           "; this one reads schema " + std::to_string(kSchema) + ")");
    // Every column read must be there.
    Statement columns;
    const std::string probe = std::string("SELECT ") + kSampleColumns + " FROM samples LIMIT 0";
    step = sqlite3_prepare_v2(db_, probe.c_str(), -1, &columns.s, nullptr);
    if (step == SQLITE_ERROR)
      throw RecordingError(path + " is not a recording (" + sqlite3_errmsg(db_) + ")");
    if (step != SQLITE_OK) Fail(step);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

Recording::~Recording() { sqlite3_close(db_); }

void Recording::Fail(int rc) const {
  const std::string why = sqlite3_errmsg(db_);
  if (Damage(rc)) throw RecordingError(path_ + " is damaged: " + why);
  throw RecordingError("cannot read " + path_ + ": " + why);
}

std::string Recording::Provenance(const std::string& key) const {
  Statement q;
  int rc = sqlite3_prepare_v2(db_, "SELECT value FROM recording WHERE key = ?1", -1, &q.s, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  sqlite3_bind_text(q.s, 1, key.c_str(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  rc = sqlite3_step(q.s);
  if (rc == SQLITE_ROW) return Text(q.s, 0);
  if (rc != SQLITE_DONE) Fail(rc);
  return "";
}

Recording::Extent Recording::Span() const {
  Statement q;
  int rc =
      sqlite3_prepare_v2(db_, "SELECT min(ms), max(ms), count(*) FROM samples", -1, &q.s, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  rc = sqlite3_step(q.s);
  if (rc != SQLITE_ROW) Fail(rc);
  return {sqlite3_column_int64(q.s, 0), sqlite3_column_int64(q.s, 1), sqlite3_column_int64(q.s, 2)};
}

std::pair<double, double> Recording::Thresholds(int board) const {
  Statement q;
  int rc = sqlite3_prepare_v2(
      db_, "SELECT vuv, vov FROM stack_config WHERE board = ?1 ORDER BY ms DESC LIMIT 1", -1, &q.s,
      nullptr);
  // A recording without the table has no thresholds to draw.
  if (rc != SQLITE_OK) return {kNoReading, kNoReading};
  sqlite3_bind_int(q.s, 1, board);
  rc = sqlite3_step(q.s);
  if (rc == SQLITE_ROW) return {Volts(q.s, 0), Volts(q.s, 1)};
  if (rc != SQLITE_DONE) Fail(rc);
  return {kNoReading, kNoReading};
}

std::int64_t Recording::Count(const Selection& selection) const {
  Statement q;
  const std::string sql = "SELECT count(*) FROM samples" + selection.Where();
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &q.s, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  sqlite3_bind_int64(q.s, 1, selection.from);
  sqlite3_bind_int64(q.s, 2, selection.to);
  rc = sqlite3_step(q.s);
  if (rc != SQLITE_ROW) Fail(rc);
  return sqlite3_column_int64(q.s, 0);
}

std::vector<Recording::StoredSetup> Recording::Setups() const {
  Statement q;
  int rc = sqlite3_prepare_v2(db_, "SELECT ms, setup FROM stack_setup ORDER BY ms, rowid", -1, &q.s,
                              nullptr);
  // An older recording has no such table: it stored no setup.
  if (rc == SQLITE_ERROR && std::strstr(sqlite3_errmsg(db_), "no such table") != nullptr) return {};
  if (rc != SQLITE_OK) Fail(rc);
  std::vector<StoredSetup> setups;
  while ((rc = sqlite3_step(q.s)) == SQLITE_ROW)
    setups.push_back({sqlite3_column_int64(q.s, 0), Text(q.s, 1)});
  if (rc != SQLITE_DONE) Fail(rc);
  return setups;
}

SampleCursor::SampleCursor(const Recording& recording, const Selection& selection)
    : recording_(recording) {
  std::string sql = std::string("SELECT ") + kSampleColumns + " FROM samples" + selection.Where();
  // The index on (ms, board) gives this order without sorting.
  sql += " ORDER BY ms, board, id";
  const int rc = sqlite3_prepare_v2(recording.db(), sql.c_str(), -1, &statement_, nullptr);
  if (rc != SQLITE_OK) recording.Fail(rc);
  sqlite3_bind_int64(statement_, 1, selection.from);
  sqlite3_bind_int64(statement_, 2, selection.to);
}

SampleCursor::~SampleCursor() { sqlite3_finalize(statement_); }

bool SampleCursor::Next(Sample* out) {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_DONE) return false;
  if (rc != SQLITE_ROW) recording_.Fail(rc);
  sqlite3_stmt* s = statement_;
  out->id = sqlite3_column_int64(s, 0);
  out->ms = sqlite3_column_int64(s, 1);
  out->board = sqlite3_column_int(s, 2);
  out->address = sqlite3_column_int(s, 3);
  out->cfgr = Text(s, 4);
  out->flgr = Text(s, 5);
  out->vuv = Text(s, 6);
  out->vov = Text(s, 7);
  for (int c = 0; c < kCells; ++c) out->cells[static_cast<std::size_t>(c)] = Volts(s, 8 + c);
  for (int k = 0; k < kTemps; ++k) out->temps[static_cast<std::size_t>(k)] = Volts(s, 20 + k);
  out->status = Text(s, 23);
  out->cfgrRead = Text(s, 24);
  out->flgrRead = Text(s, 25);
  out->cvRead = Text(s, 26);
  out->tmpRead = Text(s, 27);
  return true;
}

namespace {

// Reads `digits` decimal digits at text[*at]; false when they are not there.
bool Digits(const std::string& text, std::size_t* at, int digits, int* value) {
  if (*at + static_cast<std::size_t>(digits) > text.size()) return false;
  int v = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = text[*at + static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *at += static_cast<std::size_t>(digits);
  *value = v;
  return true;
}

bool Expect(const std::string& text, std::size_t* at, const char* one_of) {
  if (*at >= text.size() || std::strchr(one_of, text[*at]) == nullptr) return false;
  ++*at;
  return true;
}

}  // namespace

bool ParseTime(const std::string& text, std::int64_t* ms) {
  if (text.empty()) return false;
  if (text.find_first_not_of("0123456789") == std::string::npos) {
    if (text.size() > 15) return false;  // beyond year 33000
    return std::from_chars(text.data(), text.data() + text.size(), *ms).ec == std::errc();
  }
  std::size_t at = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
  if (!Digits(text, &at, 4, &year) || !Expect(text, &at, "-") || !Digits(text, &at, 2, &month) ||
      !Expect(text, &at, "-") || !Digits(text, &at, 2, &day) || !Expect(text, &at, "T ") ||
      !Digits(text, &at, 2, &hour) || !Expect(text, &at, ":") || !Digits(text, &at, 2, &minute) ||
      !Expect(text, &at, ":") || !Digits(text, &at, 2, &second))
    return false;
  if (at < text.size() && text[at] == '.') {
    ++at;
    if (!Digits(text, &at, 3, &millis)) return false;
  }
  if (at < text.size() && text[at] == 'Z') ++at;
  if (at != text.size()) return false;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
    return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const std::time_t secs = timegm(&tm);
  // timegm carries a day past the month's end into the next: refuse it.
  if (tm.tm_mday != day || tm.tm_mon != month - 1) return false;
  *ms = static_cast<std::int64_t>(secs) * 1000 + millis;
  return true;
}

std::string UtcStamp(std::int64_t ms) {
  std::int64_t secs = ms / 1000, millis = ms % 1000;
  if (millis < 0) {
    millis += 1000;
    --secs;
  }
  const auto t = static_cast<std::time_t>(secs);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(millis));
  return buf;
}

bool ParseBoards(const std::string& text, std::vector<int>* boards) {
  boards->clear();
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const std::string item =
        text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    int b = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), b);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size() || b < 1 ||
        b > kBoards)
      return false;
    if (std::find(boards->begin(), boards->end(), b) == boards->end()) boards->push_back(b);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  std::sort(boards->begin(), boards->end());
  return true;
}

}  // namespace eb::record
