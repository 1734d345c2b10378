// Reading recordings: export of a time range, files that are no recording,
// reading while the recording is written, the setups stored, and the
// trend's minima and maxima.
#include "record/recording.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "record/export.h"
#include "record/recording_view.h"
#include "support/datalog_support.h"
#include "support/recording_file.h"
#include "support/scenario.h"
#include "support/xlsx_reader.h"

namespace eb {
namespace {

using record::ExportFormat;
using test::SyntheticRecording;

// The fields of each line of a CSV file (RFC 4180 quoting).
std::vector<std::vector<std::string>> CsvRows(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  const std::string text = test::FileBytes(path);
  std::vector<std::string> row{""};
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        row.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        row.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.push_back(row);
      row = {""};
      ++i;
    } else {
      row.back() += c;
    }
  }
  return rows;
}

std::string Volts(double v) {
  if (std::isnan(v)) return "";
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The CSV line the recording `r` must give for pass p of board b.
std::vector<std::string> ExpectedRow(const SyntheticRecording& r, int p, int b) {
  std::vector<std::string> row{
      std::to_string(r.Ms(p, b)), "",           std::to_string(b), std::to_string(b - 1),
      "E1, 00, 00, 00, 00, 00",   "00, 00, 00", "3.000",           "4.200"};
  for (int c = 1; c <= 12; ++c) row.push_back(Volts(r.Cell(p, b, c)));
  for (int k = 1; k <= 3; ++k) row.push_back(Volts(r.Temp(p, b, k)));
  for (const std::string& s : {r.Status(p, b), std::string("match"), std::string("match"),
                               std::string(r.Gap(p, b) ? "none" : "match"), std::string("match")})
    row.push_back(s);
  return row;
}

// An export's CSV file holds the header and exactly the expected rows; the
// first sample is the recording's first when the range starts before it.
void ExpectCsvRows(const std::string& path, const std::vector<std::vector<std::string>>& expected,
                   bool fromBeforeStart) {
  auto rows = CsvRows(path);
  ASSERT_EQ(rows.size(), expected.size() + 1);
  EXPECT_EQ(rows[0], record::RecordingColumns());
  if (!expected.empty() && fromBeforeStart) {
    EXPECT_EQ(rows[1][1], "2026-12-09T10:00:00.001Z");
  }
  for (std::size_t i = 0; i < expected.size(); ++i) {
    // The time column is the MS column as UTC.
    std::int64_t ms = 0;
    ASSERT_TRUE(record::ParseTime(rows[i + 1][1], &ms));
    EXPECT_EQ(std::to_string(ms), rows[i + 1][0]);
    rows[i + 1][1] = "";
    ASSERT_EQ(rows[i + 1], expected[i]) << "row " << i + 2;
  }
}

// An export's workbook: each sheet the header, then up to sheetRows
// samples; MS and C1 as numbers.
void ExpectSheetRows(const std::string& path, const std::vector<std::vector<std::string>>& expected,
                     int sheetRows) {
  std::size_t next = 0;
  for (int sheet = 1; next < expected.size(); ++sheet) {
    const auto cells =
        test::WorkbookCells(path, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
    ASSERT_FALSE(cells.empty()) << "sheet " << sheet;
    EXPECT_EQ(cells.at({1, 9}), "C1_V");
    int row = 2;
    for (; next < expected.size() && row <= sheetRows + 1; ++row, ++next) {
      EXPECT_EQ(cells.at({row, 1}), expected[next][0]);
      if (expected[next][8].empty()) {
        EXPECT_EQ(cells.count({row, 9}), 0u);
      } else {
        EXPECT_NEAR(std::stod(cells.at({row, 9})), std::stod(expected[next][8]), 1e-12);
      }
    }
    EXPECT_EQ(cells.count({row, 1}), 0u) << "sheet " << sheet << " ends at row " << row - 1;
  }
}

class RecordingFiles : public ::testing::Test {
 protected:
  test::ScratchDir dir;
};

TEST_F(RecordingFiles, AnExportOfARangeHoldsExactlyTheSamplesInIt) {
  SyntheticRecording r;
  r.passes = 60;
  r.boards = 4;
  r.gapFrom = 20;
  r.gapTo = 25;
  r.spikePass = 30;
  const std::string rec = dir / "rec.db";
  test::WriteRecording(rec, r);
  struct Case {
    const char* name;
    std::int64_t from, to;  // ms; both ends count
    std::vector<int> boards;
    ExportFormat format;
    int sheetRows;
  };
  const std::int64_t all = std::numeric_limits<std::int64_t>::max();
  const Case cases[] = {
      {"whole", std::numeric_limits<std::int64_t>::min(), all, {}, ExportFormat::Csv, 0},
      // The ends fall exactly on samples: both are in.
      {"passes 10-30, boards 1 and 3", r.Ms(10, 1), r.Ms(30, 3), {1, 3}, ExportFormat::Csv, 0},
      {"the gap", r.Ms(19, 4), r.Ms(25, 1) - 1, {2}, ExportFormat::Csv, 0},
      {"before the start", 0, r.startMs, {}, ExportFormat::Csv, 0},
      {"three sheets", r.Ms(5, 1), all, {}, ExportFormat::Xlsx, 80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<std::string>> expected;
    for (int p = 0; p < r.passes; ++p) {
      for (int b = 1; b <= r.boards; ++b) {
        const bool board =
            c.boards.empty() || std::find(c.boards.begin(), c.boards.end(), b) != c.boards.end();
        if (board && r.Ms(p, b) >= c.from && r.Ms(p, b) <= c.to)
          expected.push_back(ExpectedRow(r, p, b));
      }
    }
    record::ExportRequest request;
    request.selection = {c.from, c.to, c.boards};
    request.format = c.format;
    request.output = dir / (c.format == ExportFormat::Csv ? "out.csv" : "out.xlsx");
    if (c.sheetRows > 0) request.sheetRows = c.sheetRows;
    record::Recording recording(rec);
    std::vector<double> shares;
    const auto outcome = record::ExportRecording(recording, request, [&](double done) {
      shares.push_back(done);
      return true;
    });
    EXPECT_EQ(outcome.rows, static_cast<std::int64_t>(expected.size()));
    ASSERT_FALSE(shares.empty());
    EXPECT_EQ(shares.back(), 1.0);
    if (c.format == ExportFormat::Csv) {
      ExpectCsvRows(request.output, expected, c.from < r.startMs);
    } else {
      ExpectSheetRows(request.output, expected, c.sheetRows);
    }
  }
}

TEST_F(RecordingFiles, WhatIsNoReadableRecordingIsRefusedWithOneLine) {
  auto sqlite = [](const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    test::Exec(db, sql);
    sqlite3_close(db);
  };
  SyntheticRecording r;
  r.passes = 400;
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* says;
    const char* output = "out.csv";
  };
  const Case cases[] = {
      {"missing", [](const std::string&) {}, "No such file or directory"},
      {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); },
       "is not a recording (not a file)"},
      {"text", [](const std::string& p) { std::ofstream(p) << "MS,TIME\r\n1,2\r\n"; },
       "is not a recording (not an SQLite database)"},
      {"another database",
       [&](const std::string& p) { sqlite(p, "CREATE TABLE t(x); INSERT INTO t VALUES (1);"); },
       "is not a recording (it has no table \"recording\")"},
      {"no samples",
       [&](const std::string& p) {
         sqlite(p,
                "CREATE TABLE recording(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
                "INSERT INTO recording VALUES ('schema', '1');");
       },
       "is not a recording (no such table: samples)"},
      {"newer",
       [&](const std::string& p) {
         test::WriteRecording(p, SyntheticRecording{.passes = 1});
         sqlite(p, "UPDATE recording SET value = '2' WHERE key = 'schema';");
       },
       "was written by a newer program (recording schema 2; this one reads schema 1)"},
      {"damaged pages",
       [&](const std::string& p) {
         test::WriteRecording(p, r);
         std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(64 * 1024);
         f << std::string(64 * 1024, '\x5a');
       },
       "is damaged: database disk image is malformed"},
      {"output in no folder",
       [&](const std::string& p) { test::WriteRecording(p, SyntheticRecording{.passes = 1}); },
       "cannot write", "none/out.csv"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / ("r" + std::to_string(++n) + ".db");
    c.make(path);
    try {
      record::Recording recording(path);
      record::ExportRecording(recording, {{}, ExportFormat::Csv, dir / c.output});
      ADD_FAILURE() << "read without complaint";
    } catch (const record::RecordingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "out.csv"));
  }
}

TEST_F(RecordingFiles, ARecordingIsReadWhileItIsWritten) {
  SyntheticRecording r;
  r.passes = 50;
  r.boards = 3;
  const std::string rec = dir / "live.db";
  sqlite3* writer = test::WriteRecording(rec, r, true);
  record::Recording recording(rec);
  record::RecordingView view(recording);
  ASSERT_TRUE(view.Load());
  EXPECT_EQ(view.samples(), 150);
  // An open transaction of the writer is not seen; its commit is.
  test::Exec(writer,
             "BEGIN; INSERT INTO samples(ms, board, address) VALUES (1796810999000, 1, 0);");
  EXPECT_EQ(recording.Count({}), 150);
  test::Exec(writer, "COMMIT");
  test::AppendPasses(writer, r, 50, 60);
  EXPECT_EQ(recording.Count({}), 181);
  ASSERT_TRUE(view.Load());
  EXPECT_EQ(view.samples(), 181);
  EXPECT_EQ(view.last(), 1796810999000);
  sqlite3_close(writer);
}

// The window's setup goes into the recording at its start and at each change
// (a broadcast choice too, which no board's configuration shows), and each
// one stored sets a fresh window up as the window it was taken from. A
// recording made before setups were stored is read as having none.
TEST_F(RecordingFiles, EachStoredSetupLoadsBackIntoAFreshWindowAsItWas) {
  const std::string db = dir / "run.db";
  const test::ScenarioResult made = test::RunScenario(
      "sim:boards=10",
      "set Combo1 3\nclick Command0 1\ntype Text2 1 \"4.2\\r\"\ntype Text2 0 \"3.4\\r\"\n"
      "click Check1 2\nclick Check0 4\nsave-setup \"" +
          dir / "start.ini" + "\"\nrecord \"" + db + "\"\ntick 2\nclick Check5 2\ntick 2\n" +
          "save-setup \"" + dir / "changed.ini" + "\"\nrecord stop\nexpect-no-msgbox\n");
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  record::Recording recording(db);
  const std::vector<record::Recording::StoredSetup> setups = recording.Setups();
  ASSERT_EQ(setups.size(), 2u);
  EXPECT_LT(setups[0].ms, setups[1].ms);
  // The broadcast box changed the setup only: no second configuration.
  sqlite3_stmt* q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(recording.db(), "SELECT count(DISTINCT ms) FROM stack_config", -1,
                               &q, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(q, 0), 1);
  sqlite3_finalize(q);
  const std::pair<std::size_t, const char*> expected[] = {{0, "start.ini"}, {1, "changed.ini"}};
  for (const auto& [at, file] : expected) {
    SCOPED_TRACE(file);
    const std::string original = test::FileBytes(dir / file);
    EXPECT_EQ(setups[at].text, original);
    std::ofstream(dir / "stored.ini") << setups[at].text;
    const test::ScenarioResult loaded = test::RunScenario(
        "sim:boards=10", "load-setup \"" + dir / "stored.ini" +
                             "\"\nexpect-no-msgbox\nsave-setup \"" + dir / "loaded.ini" + "\"\n");
    ASSERT_EQ(loaded.status, 0) << loaded.out << loaded.err;
    EXPECT_EQ(test::FileBytes(dir / "loaded.ini"), original);
  }
  test::WriteRecording(dir / "older.db", SyntheticRecording{.passes = 1});
  EXPECT_TRUE(record::Recording(dir / "older.db").Setups().empty());
}

TEST(RecordingArguments, TimesAndBoards) {
  const std::pair<const char*, std::int64_t> times[] = {
      {"2026-12-09T10:00:00", 1'796'810'400'000},
      {"2026-12-09T10:00:00.250Z", 1'796'810'400'250},
      {"2026-12-09 10:00:00Z", 1'796'810'400'000},
      {"1796810400123", 1'796'810'400'123},
      {"2026-02-29T10:00:00", -1},
      {"2026-12-09T10:00", -1},
      {"2026-12-09T10:00:00.5", -1},
      {"2026-12-09T10:00:00+01:00", -1},
      {"-5", -1},
      {"", -1},
  };
  for (const auto& [text, ms] : times) {
    std::int64_t got = -1;
    EXPECT_EQ(record::ParseTime(text, &got), ms >= 0) << text;
    if (ms < 0) continue;
    EXPECT_EQ(got, ms) << text;
    if (std::string(text).find('.') != std::string::npos) {
      EXPECT_EQ(record::UtcStamp(ms), text);
    }
  }
  const std::pair<const char*, std::vector<int>> boards[] = {
      {"1,3", {1, 3}}, {"10,2,2", {2, 10}}, {"0", {}}, {"11", {}}, {"1,", {}}, {"1 ,2", {}}};
  for (const auto& [text, want] : boards) {
    std::vector<int> got;
    EXPECT_EQ(record::ParseBoards(text, &got), !want.empty()) << text;
    if (!want.empty()) {
      EXPECT_EQ(got, want) << text;
    }
  }
}

// Every point of a line of the view, and the highest of them (0 for none).
std::vector<trend::Point> PointsOf(const record::RecordingView& view, trend::Chart chart,
                                   int line) {
  std::vector<trend::Point> all;
  for (const auto& run : view.line(chart, line).runs())
    all.insert(all.end(), run.points.begin(), run.points.end());
  return all;
}

double HighestOf(const record::RecordingView& view, trend::Chart chart, int line) {
  double hi = 0;
  for (const auto& p : PointsOf(view, chart, line)) hi = std::max(hi, p.v);
  return hi;
}

// The gap board's lines in a view showing its gap [gapFrom, gapTo].
void ExpectGap(const record::RecordingView& view, const SyntheticRecording& r, double gapFrom,
               double gapTo, double column) {
  // Board 2 draws nothing inside its gap (a column away from its ends),
  // and its line breaks there; board 1 goes on.
  for (auto [chart, line] : {std::pair{trend::Chart::Stack, 3 * (r.gapBoard - 1) + trend::kMin},
                             std::pair{trend::Chart::Itmp, r.gapBoard - 1}}) {
    for (const auto& p : PointsOf(view, chart, line)) {
      EXPECT_FALSE(p.t > gapFrom + column && p.t < gapTo - column) << p.t;
      EXPECT_GT(p.v, 1.0);
    }
    if (view.from() < gapFrom && view.to() > gapTo) {
      EXPECT_GE(view.line(chart, line).runs().size(), 2u);
    }
  }
}

// The trend of a recording long enough that its whole is drawn from the
// levels and its shorter spans from the file.
TEST_F(RecordingFiles, TheTrendKeepsTheSpikeAndTheGapsAtEveryZoom) {
  SyntheticRecording r;
  r.passes = 3000;  // 2 h 30 min
  r.gapFrom = 1000;
  r.gapTo = 1400;  // 20 min without board 2
  r.spikePass = 2000;
  const std::string rec = dir / "trend.db";
  test::WriteRecording(rec, r);
  record::Recording recording(rec);
  record::RecordingView view(recording);
  ASSERT_TRUE(view.Load());
  view.SetColumns(900);
  view.SetRows(150);  // readings within a pixel row drawn as one
  view.SetBoard(r.spikeBoard - 1);
  const double spike = static_cast<double>(r.Ms(r.spikePass, r.spikeBoard));
  const double gapFrom = static_cast<double>(r.Ms(r.gapFrom, r.gapBoard));
  const double gapTo = static_cast<double>(r.Ms(r.gapTo, r.gapBoard));
  const double spans[] = {30'000, 300'000, 3'600'000, 1e12};
  for (double span : spans) {
    SCOPED_TRACE("span " + std::to_string(span / 1000) + " s");
    for (double centre : {spike, (gapFrom + gapTo) / 2}) {
      view.Show(centre - span / 2, centre + span / 2);
      view.Update();
      EXPECT_EQ(view.direct(), span <= 300'000);
      const double column = (view.to() - view.from()) / 900;
      auto points = [&](trend::Chart chart, int line) { return PointsOf(view, chart, line); };
      auto highest = [&](trend::Chart chart, int line) { return HighestOf(view, chart, line); };
      if (centre == spike) {
        EXPECT_NEAR(highest(trend::Chart::Cells, r.spikeCell - 1), r.spikeVolts, 1e-4);
        EXPECT_NEAR(highest(trend::Chart::Stack, 3 * (r.spikeBoard - 1) + trend::kMax),
                    r.spikeVolts, 1e-4);
        EXPECT_LT(highest(trend::Chart::Stack, 3 * (r.spikeBoard - 1) + trend::kMean), 4);
      } else {
        ExpectGap(view, r, gapFrom, gapTo, column);
        EXPECT_FALSE(points(trend::Chart::Itmp, 0).empty());
      }
    }
  }
  // An export cancelled part way leaves nothing behind.
  const auto before = dir.Entries();
  int calls = 0;
  const auto outcome =
      record::ExportRecording(recording, {{}, ExportFormat::Csv, dir / "cancelled.csv"},
                              [&](double) { return ++calls < 3; });
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.rows, 3 * 2048);
  EXPECT_EQ(dir.Entries(), before);
}

}  // namespace
}  // namespace eb
