// The CSV file written beside a datalog workbook: the same samples, as plain
// numbers, for analysis tools.
#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <regex>
#include <sstream>

#include "sheet/csv_file.h"
#include "support/datalog_support.h"
#include "support/fakes.h"
#include "support/xlsx_reader.h"
#include "window/datalog_sheet.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb {
namespace {

// Splits CSV text (RFC 4180: quoted fields, doubled quotes, CRLF lines).
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  return rows;
}

TEST(DatalogCsvFile, FieldsAreQuotedWhenTheyMustBe) {
  EXPECT_EQ(datalog::CsvField("3.600"), "3.600");
  EXPECT_EQ(datalog::CsvField("E0, 00."), "\"E0, 00.\"");
  EXPECT_EQ(datalog::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(datalog::CsvField("two\nlines"), "\"two\nlines\"");
  test::ScratchDir dir;
  datalog::CsvFile csv(dir / "a.csv");
  csv.Row({"a", "b,c", ""});
  csv.Row({"1"});
  EXPECT_EQ(csv.Finish(), "");
  EXPECT_EQ(test::FileBytes(dir / "a.csv"), "a,\"b,c\",\r\n1\r\n");
  datalog::CsvFile nowhere(dir / "missing/a.csv");
  nowhere.Row({"x"});
  EXPECT_EQ(nowhere.Finish(), "No such file or directory");
}

// A wrapped datalog of a ten-board simulated stack, stopped with CSV export
// on (under a decimal-comma locale when one is installed): every number in
// the CSV equals the workbook's cell.
TEST(DatalogCsvExport, AWrappedTenBoardRingRoundTrips) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  test::ScratchDir dir;
  std::string error;
  auto conn = OpenConnection("sim:boards=10,seed=5,noise=0.002,missing=7,pec-errors=0.02", &error);
  ASSERT_TRUE(conn.has_value()) << error;
  test::FakePlatform platform;
  platform.appDir = dir.path();
  platform.now = test::LocalTime(2026, 12, 8, 15, 15, 42);
  Form1 form(*conn->bridge, platform);
  form.Form_Load();
  ASSERT_FALSE(form.Unloaded);
  form.Combo1.setListIndex(9);
  form.Command0_Click(1);
  form.Command1_click(5);
  ASSERT_EQ(form.SetupDatalog(30, dir / "run", true), "");
  form.Command1_click(11);
  // 40 samples of one board each into a ring of 30: wrapped.
  for (int t = 0; t < 160; ++t) {
    platform.now += std::chrono::milliseconds(100);
    form.Timer1_Timer();
  }
  ASSERT_EQ(form.CYCLEflag, 1);
  form.Command1_click(12);  // STOP
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_FALSE(form.LastDATAlog.empty());
  const std::string csvPath = datalog::CsvBeside(form.LastDATAlog);
  EXPECT_EQ(csvPath.substr(csvPath.size() - 4), ".csv");

  const auto rows = ParseCsv(test::FileBytes(csvPath));
  const auto cells = test::WorkbookCells(form.LastDATAlog);
  ASSERT_EQ(rows.size(), 31u);  // header and 30 samples
  const auto& header = rows[0];
  ASSERT_EQ(header.size(), 2u + 10 * 21);
  EXPECT_EQ(header[0], "POINT");
  EXPECT_EQ(header[1], "TIME");
  EXPECT_EQ(header[2], "B1_CFGR");
  EXPECT_EQ(header[6], "B1_C1_V");
  EXPECT_EQ(header[17], "B1_C12_V");
  EXPECT_EQ(header[18], "B1_STATUS");
  EXPECT_EQ(header[21], "B1_ITMP_V");
  EXPECT_EQ(header[201], "B10_ITMP_V");
  EXPECT_EQ(header[202], "B1_READS");
  EXPECT_EQ(header[211], "B10_READS");
  // How each board's reads ended: board 8 is missing, with "PEC Match Only"
  // off some reads were accepted without a matching PEC, and only board 1's
  // configuration was read since it was written.
  const std::regex reads("CFGR=\\w+ FLGR=(mis)?match CV=(mis)?match TMP=(mis)?match");
  int mismatched = 0;
  const std::regex iso(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2})");
  const std::regex plain(R"(-?\d+\.\d{3})");
  int numbers = 0, gaps = 0;
  for (size_t r = 1; r < rows.size(); ++r) {
    const auto& row = rows[r];
    ASSERT_EQ(row.size(), header.size()) << "row " << r;
    const int sheetRow = 11 + static_cast<int>(r);
    EXPECT_EQ(row[0], std::to_string(r));
    EXPECT_EQ(row[0], cells.at({sheetRow, 1}));
    EXPECT_TRUE(std::regex_match(row[1], iso)) << row[1];
    for (size_t c = 202; c < row.size(); ++c) {
      const bool missing = c == 209;
      EXPECT_TRUE(missing ? row[c] == "CFGR=none FLGR=none CV=none TMP=none"
                          : std::regex_match(row[c], reads))
          << header[c] << ": " << row[c];
      mismatched += row[c].find("mismatch") != std::string::npos ? 1 : 0;
    }
    for (size_t c = 2; c < 202; ++c) {
      const int sheetCol = static_cast<int>(c) + 1;  // C … GT
      const std::string name = header[c];
      auto it = cells.find({sheetRow, sheetCol});
      const std::string sheet = it == cells.end() ? "" : it->second;
      const bool numeric = name.size() > 2 && name.substr(name.size() - 2) == "_V";
      if (!numeric) {
        EXPECT_EQ(row[c], sheet) << name << " row " << r;
        continue;
      }
      if (row[c].empty()) {  // no number in the sheet either
        ++gaps;
        EXPECT_EQ(sheet.find_first_of("0123456789"), std::string::npos) << name << ": " << sheet;
        continue;
      }
      ++numbers;
      EXPECT_TRUE(std::regex_match(row[c], plain)) << name << ": " << row[c];
      EXPECT_EQ(std::stod(row[c]), std::stod(sheet.substr(sheet.find_first_not_of(' '))))
          << name << " row " << r << ": " << row[c] << " vs \"" << sheet << "\"";
    }
  }
  // Thresholds, twelve cells and three temperatures per board and sample.
  EXPECT_EQ(numbers + gaps, 30 * 10 * 17);
  EXPECT_GT(numbers, 30 * 10 * 17 / 2);
  EXPECT_GT(mismatched, 0);
}

}  // namespace
}  // namespace eb
