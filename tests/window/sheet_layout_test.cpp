// Layout of the datalog worksheet, checked cell by cell on an in-memory sheet.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/datalog_support.h"
#include "support/form_fixture.h"
#include "window/datalog_sheet.h"

namespace eb {
namespace {

using datalog::MemorySheet;
using test::CellAt;
using test::Shown;

class DatalogSheet : public test::FormFixture {
 protected:
  MemorySheet sheet;
  const std::string path = "/data/bench/run.xlsx";

  // Slot s, field k, board b holds "s<s>k<k>b<b>"; field 0 of board 0 "t<s>".
  void FillSlots(int last) {
    for (int s = 1; s <= last; ++s) {
      form.DataCell(s, 0, 0) = "t" + std::to_string(s);
      for (int b = 0; b <= form.CARDSTACK; ++b) {
        for (int k = 1; k <= 20; ++k) {
          form.DataCell(s, k, b) =
              "s" + std::to_string(s) + "k" + std::to_string(k) + "b" + std::to_string(b);
        }
      }
    }
  }
  // Time stamps of the data rows, top down, and their point numbers.
  std::vector<std::string> Stamps() const {
    std::vector<std::string> v;
    for (int r = 12; r <= sheet.LastRow(); ++r) v.push_back(sheet.Shown(r, 2));
    return v;
  }
  std::vector<long long> Points() const {
    std::vector<long long> v;
    for (int r = 12; r <= sheet.LastRow(); ++r) v.push_back(sheet.Integer(r, 1).value_or(-1));
    return v;
  }
};

TEST(DatalogColumns, LettersAndEndCellByStackSize) {
  EXPECT_EQ(datalog::ColumnName(1), "A");
  EXPECT_EQ(datalog::ColumnName(26), "Z");
  EXPECT_EQ(datalog::ColumnName(27), "AA");
  EXPECT_EQ(datalog::ColumnName(52), "AZ");
  EXPECT_EQ(datalog::ColumnName(53), "BA");
  EXPECT_EQ(datalog::ColumnName(202), "GT");
  const std::vector<std::string> ends{"V11",  "AP11", "BJ11", "CD11", "CX11",
                                      "DR11", "EL11", "FF11", "FZ11", "GT11"};
  for (int stack = 0; stack <= 9; ++stack)
    EXPECT_EQ(datalog::EndCell(stack), ends[static_cast<size_t>(stack)]);
}

TEST_F(DatalogSheet, NothingCollectedGivesTheHeaderBlockOnly) {
  form.CARDSTACK = 0;
  form.DSETUPstamp = "09:00:00 AM @ 12-08-2026";
  form.SAMPLEtime = 20.0f;
  form.SAMPLEpoints = 25;
  form.DCURRENTstamp = "";
  form.VIEWtime = 0;
  form.VIEWpoints = 0;
  form.COUNTERstop = 1;
  form.CYCLEflag = 0;
  datalog::BuildDatalogSheet(form, sheet, path);

  EXPECT_EQ(Shown(sheet, "A1"), path);
  EXPECT_EQ(Shown(sheet, "A2"), "ZQM4417-1 DATALOGGING SPREADSHEET");
  EXPECT_EQ(Shown(sheet, "A3"), "DATALOG SETUP MADE   = 09:00:00 AM @ 12-08-2026");
  EXPECT_EQ(Shown(sheet, "A4"), "SECONDS = 20.000");
  EXPECT_EQ(Shown(sheet, "A5"), "SAMPLES = 25");
  EXPECT_EQ(Shown(sheet, "A6"), "CURRENT DATALOG VIEW = ");
  EXPECT_EQ(Shown(sheet, "A7"), "SECONDS = 0.000");
  EXPECT_EQ(Shown(sheet, "A8"), "SAMPLES = 0");
  EXPECT_EQ(Shown(sheet, "A9"), "");
  EXPECT_EQ(Shown(sheet, "A10"), "SAMPLE");
  EXPECT_EQ(Shown(sheet, "A11"), "POINT");
  EXPECT_EQ(Shown(sheet, "B10"), "TIME STAMP");
  EXPECT_EQ(Shown(sheet, "B11"), "Date/Time");

  std::vector<std::pair<std::string, std::string>> heads{{"(1) RD-CFGR0-5", "HEX"},
                                                         {"(1) RD-FLGR0-2", "HEX"},
                                                         {"(1) UVTHR", "VOLTS"},
                                                         {"(1) OVTHR", "VOLTS"}};
  for (int c = 1; c <= 12; ++c) heads.emplace_back("(1) CV" + std::to_string(c), "VOLTS");
  heads.insert(heads.end(), {{"(1) CELL1 - CELL12 STATUS", "STATUS"},
                             {"(1) ETMP1", "VOLTS"},
                             {"(1) ETMP2", "VOLTS"},
                             {"(1) ITMP1", "VOLTS"}});
  ASSERT_EQ(heads.size(), 20u);
  for (int k = 0; k < 20; ++k) {  // columns C … V
    EXPECT_EQ(sheet.Shown(10, 3 + k), heads[static_cast<size_t>(k)].first) << k;
    EXPECT_EQ(sheet.Shown(11, 3 + k), heads[static_cast<size_t>(k)].second) << k;
  }
  const std::vector<std::string> legend{
      "STATUS LEGEND",         "NR = NO READING",       "OK = GOOD",
      "DC = DISCHARGE",        "UV = UNDER VOLTAGE",    "OV = OVER VOLTAGE",
      "MI = MASKED INTERRUPT", "MD = MASKED DISCHARGE", "TS = THERMAL SHUTDOWN"};
  for (int r = 1; r <= 9; ++r)
    EXPECT_EQ(Shown(sheet, "S" + std::to_string(r)), legend[static_cast<size_t>(r - 1)]);

  // Nothing below the header and nothing right of V.
  EXPECT_EQ(sheet.LastRow(), 11);
  EXPECT_EQ(sheet.LastCol(), 22);
  // Bold header block A1 … V11 and nothing else; the unit row is underlined.
  for (const auto& [at, cell] : sheet.Cells()) {
    const bool inHeader = at.first <= 11 && at.second <= 22;
    EXPECT_EQ(cell.bold, inHeader) << at.first << "," << at.second;
    EXPECT_EQ(cell.bottomBorder, at.first == 11 && at.second <= 22) << at.first << "," << at.second;
  }
  ASSERT_NE(sheet.At(11, 22), nullptr);
  EXPECT_TRUE(sheet.At(1, 22)->bold);  // an empty cell inside the block is bold too
  ASSERT_TRUE(sheet.fitted.has_value());
  EXPECT_EQ(*sheet.fitted, (std::pair{1, 22}));
}

TEST_F(DatalogSheet, TenBoardsRunToColumnGTWithALegendInEveryBlock) {
  form.CARDSTACK = 9;
  form.COUNTERstop = 1;
  form.CYCLEflag = 0;
  datalog::BuildDatalogSheet(form, sheet, path);

  const std::vector<std::string> statusCols{"S",  "AM", "BG", "CA", "CU",
                                            "DO", "EI", "FC", "FW", "GQ"};
  for (size_t b = 0; b < statusCols.size(); ++b) {
    const std::string n = std::to_string(b + 1);
    EXPECT_EQ(Shown(sheet, statusCols[b] + "1"), "STATUS LEGEND") << b;
    EXPECT_EQ(Shown(sheet, statusCols[b] + "9"), "TS = THERMAL SHUTDOWN") << b;
    EXPECT_EQ(Shown(sheet, statusCols[b] + "10"), "(" + n + ") CELL1 - CELL12 STATUS") << b;
    EXPECT_EQ(Shown(sheet, statusCols[b] + "11"), "STATUS") << b;
  }
  EXPECT_EQ(Shown(sheet, "W10"), "(2) RD-CFGR0-5");
  EXPECT_EQ(Shown(sheet, "GA10"), "(10) RD-CFGR0-5");
  EXPECT_EQ(Shown(sheet, "GT10"), "(10) ITMP1");
  EXPECT_EQ(Shown(sheet, "GT11"), "VOLTS");
  EXPECT_EQ(sheet.LastCol(), CellAt("GT11").second);
  EXPECT_TRUE(sheet.At(11, 202)->bold);
  EXPECT_EQ(sheet.At(11, 203), nullptr);
  EXPECT_EQ(*sheet.fitted, (std::pair{1, 202}));
}

TEST_F(DatalogSheet, SamplesBeforeAWrapInSlotOrderWithEveryBoardsFields) {
  form.CARDSTACK = 2;
  FillSlots(4);
  form.COUNTERstop = 4;  // slots 1 … 3 collected
  form.CYCLEflag = 0;
  form.SETpoint = 10;
  datalog::BuildDatalogSheet(form, sheet, path);

  EXPECT_EQ(Points(), (std::vector<long long>{1, 2, 3}));
  EXPECT_EQ(Stamps(), (std::vector<std::string>{"t1", "t2", "t3"}));
  EXPECT_EQ(Shown(sheet, "C12"), "s1k1b0");
  EXPECT_EQ(Shown(sheet, "V14"), "s3k20b0");
  EXPECT_EQ(Shown(sheet, "W13"), "s2k1b1");  // board 2's block starts at W
  EXPECT_EQ(Shown(sheet, "AP13"), "s2k20b1");
  EXPECT_EQ(Shown(sheet, "AQ12"), "s1k1b2");  // board 3's block starts at AQ
  EXPECT_EQ(Shown(sheet, "BJ14"), "s3k20b2");
  EXPECT_EQ(sheet.LastCol(), CellAt("BJ11").second);
  EXPECT_EQ(Shown(sheet, "C15"), "");  // slot 4 is not exported
  // Data cells are text, only the point numbers are integers.
  EXPECT_FALSE(sheet.Integer(12, 2).has_value());
  EXPECT_FALSE(sheet.At(12, 3)->bold);
}

TEST_F(DatalogSheet, AfterAWrapTheOldestSlotComesFirst) {
  form.CARDSTACK = 0;
  FillSlots(5);
  form.SETpoint = 5;
  form.CYCLEflag = 1;
  form.COUNTERstop = 3;
  datalog::BuildDatalogSheet(form, sheet, path);
  EXPECT_EQ(Stamps(), (std::vector<std::string>{"t3", "t4", "t5", "t1", "t2"}));
  EXPECT_EQ(Points(), (std::vector<long long>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Shown(sheet, "D12"), "s3k2b0");

  // Stopped right at the wrap: the ring is exported from slot 1.
  MemorySheet atWrap;
  form.COUNTERstop = 1;
  datalog::BuildDatalogSheet(form, atWrap, path);
  std::vector<std::string> stamps;
  for (int r = 12; r <= atWrap.LastRow(); ++r) stamps.push_back(atWrap.Shown(r, 2));
  EXPECT_EQ(stamps, (std::vector<std::string>{"t1", "t2", "t3", "t4", "t5"}));
}

TEST(DatalogSheetWidths, ColumnsFitTheirLongestValue) {
  MemorySheet sheet;
  sheet.WriteText(1, 1, "abc");
  sheet.WriteText(2, 1, "a much longer text here");  // 23 characters
  sheet.WriteInteger(3, 2, 123456789012345);         // 15 digits
  sheet.WriteText(1, 4, std::string(400, 'x'));
  sheet.WriteText(1, 5, "short");
  sheet.WriteText(2, 5, "");
  auto widths = sheet.FittedWidths(1, 5);
  ASSERT_EQ(widths.size(), 5u);
  EXPECT_DOUBLE_EQ(widths[1], 25);
  EXPECT_DOUBLE_EQ(widths[2], 17);
  EXPECT_DOUBLE_EQ(widths[3], 8.43);  // empty column keeps the default width
  EXPECT_DOUBLE_EQ(widths[4], 255);   // capped at the widest column allowed
  EXPECT_DOUBLE_EQ(widths[5], 8.43);  // never narrower than the default
  // Bold text needs more room than plain text of the same length.
  MemorySheet bold;
  bold.WriteText(1, 1, "a much longer text here");
  bold.SetBold({1, 1, 1, 1});
  EXPECT_GT(bold.FittedWidths(1, 1)[1], widths[1]);
}

}  // namespace
}  // namespace eb

namespace eb {
namespace {

// Every cell of a sheet with its look, and the fitted column widths, in row
// and column order, folded into one FNV-1a hash: two sheets with the same
// hash hold the same cells.
std::uint64_t SheetHash(const datalog::MemorySheet& sheet, int lastCol) {
  std::uint64_t h = 1469598103934665603ull;
  auto add = [&h](const std::string& s) {
    for (unsigned char c : s) {
      h ^= c;
      h *= 1099511628211ull;
    }
  };
  for (const auto& [at, cell] : sheet.Cells()) {
    add(std::to_string(at.first) + "\t" + std::to_string(at.second) + "\t" +
        (cell.integer ? "i" : "t") + cell.Shown() + "\t" + (cell.bold ? "b" : "-") +
        (cell.verticalCenter ? "v" : "-") + (cell.bottomBorder ? "u" : "-") + "\n");
  }
  for (const auto& [col, width] : sheet.FittedWidths(1, lastCol)) {
    add(std::to_string(col) + "=" + std::to_string(width) + "\n");
  }
  return h;
}

// The largest datalog, wrapped, is laid out cell for cell as it always was.
TEST(DatalogSheetFull, WrappedTenBoardRingKeepsItsLayoutCellForCell) {
  test::FakeStack stack;
  test::FakePlatform platform;
  Form1 form(stack.bridge, platform);
  form.CARDSTACK = 9;
  form.SETpoint = 1000;
  form.CYCLEflag = 1;
  form.COUNTERstop = 437;
  form.DSETUPstamp = "09:00:00 AM @ 12-08-2026";
  form.DCURRENTstamp = "09:13:20 AM @ 12-08-2026";
  form.SAMPLEtime = 800;
  form.SAMPLEpoints = 1000;
  form.VIEWtime = 800;
  form.VIEWpoints = 1000;
  for (int s = 1; s <= 1000; ++s) {
    for (int b = 0; b <= 9; ++b) {
      form.DataCell(s, 0, b) = "09:0" + std::to_string(s % 10) + ":00 AM @ 12-08-2026";
      for (int k = 1; k <= 20; ++k) {
        form.DataCell(s, k, b) = std::to_string((s * 31 + k * 7 + b) % 4096 * 15 / 10) + "." +
                                 std::to_string(s % 10) + std::string(k % 3, ' ');
      }
    }
  }
  datalog::MemorySheet sheet;
  datalog::BuildDatalogSheet(form, sheet, "/data/bench/full.xlsx");
  EXPECT_EQ(sheet.LastRow(), 1011);
  EXPECT_EQ(sheet.LastCol(), 202);
  EXPECT_EQ(sheet.Cells().size(), 11u * 202u + 1000u * 202u);
  EXPECT_EQ(SheetHash(sheet, 202), 16092152397744752180ull);
  EXPECT_EQ(sheet.orderFault, "") << "rows must come top down for a streaming writer";
}

}  // namespace
}  // namespace eb
