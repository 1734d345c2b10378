// Layout of the datalog worksheet and its export to an .xlsx file.
#include "window/datalog_sheet.h"

#include <array>
#include <chrono>
#include <vector>

#include "protocol/hex.h"
#include "sheet/stamps.h"
#include "sheet/xlsx_sheet.h"
#include "window/form1.h"

namespace eb::datalog {

namespace {

// Row 10 heading names and row 11 units of a board block, field 1 … 20.
struct Heading {
  const char* name;
  const char* unit;
};

constexpr std::array<Heading, 20> kHeadings{{
    {"RD-CFGR0-5", "HEX"},
    {"RD-FLGR0-2", "HEX"},
    {"UVTHR", "VOLTS"},
    {"OVTHR", "VOLTS"},
    {"CV1", "VOLTS"},
    {"CV2", "VOLTS"},
    {"CV3", "VOLTS"},
    {"CV4", "VOLTS"},
    {"CV5", "VOLTS"},
    {"CV6", "VOLTS"},
    {"CV7", "VOLTS"},
    {"CV8", "VOLTS"},
    {"CV9", "VOLTS"},
    {"CV10", "VOLTS"},
    {"CV11", "VOLTS"},
    {"CV12", "VOLTS"},
    {"CELL1 - CELL12 STATUS", "STATUS"},
    {"ETMP1", "VOLTS"},
    {"ETMP2", "VOLTS"},
    {"ITMP1", "VOLTS"},
}};

constexpr std::array<const char*, 9> kLegend{
    "STATUS LEGEND",         "NR = NO READING",       "OK = GOOD",
    "DC = DISCHARGE",        "UV = UNDER VOLTAGE",    "OV = OVER VOLTAGE",
    "MI = MASKED INTERRUPT", "MD = MASKED DISCHARGE", "TS = THERMAL SHUTDOWN",
};

// Row `row` (1 … 11) of the header block of board `board`: the legend in
// its status column (rows 1 … 9), its headings (row 10) and units (row 11),
// and the point and time-stamp heads of columns A and B.
void WriteBlockHeaderRow(Sheet& sheet, int board, int row) {
  if (row <= 9) {
    sheet.WriteText(row, StatusColumn(board), kLegend[static_cast<size_t>(row - 1)]);
    return;
  }
  const bool units = row == kHeaderRows;
  sheet.WriteText(row, 1, units ? "POINT" : "SAMPLE");
  sheet.WriteText(row, 2, units ? "Date/Time" : "TIME STAMP");
  const std::string n = "(" + std::to_string(board + 1) + ") ";
  for (int k = 1; k <= 20; ++k) {
    const Heading& h = kHeadings[static_cast<size_t>(k - 1)];
    sheet.WriteText(row, BlockColumn(board) + k - 1, units ? std::string(h.unit) : n + h.name);
  }
}

void WriteSampleRow(const Form1& form, Sheet& sheet, int row, int point, int slot) {
  sheet.WriteInteger(row, 1, point);
  sheet.WriteText(row, 2, form.DataCell(slot, 0, 0));
  for (int b = 0; b <= form.CARDSTACK; ++b) {
    for (int k = 1; k <= 20; ++k)
      sheet.WriteText(row, BlockColumn(b) + k - 1, form.DataCell(slot, k, b));
  }
}

std::string WithoutFinalStop(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string ColumnName(int col) {
  std::string name;
  for (int n = col; n > 0; n = (n - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
  return name;
}

std::string EndCell(int cardstack) {
  return ColumnName(LastColumn(cardstack)) + std::to_string(kHeaderRows);
}

void BuildDatalogSheet(const Form1& form, Sheet& sheet, const std::string& path) {
  // The sheet is written row by row, top down, so a streaming writer never
  // holds more than one row: the formats first, then the header block, then
  // the samples.
  const int lastCol = LastColumn(form.CARDSTACK);
  sheet.SetBold({1, 1, kHeaderRows, lastCol});
  sheet.SetVerticalCenter({1, 1, kHeaderRows, lastCol});
  sheet.SetBottomBorder({kHeaderRows, 1, kHeaderRows, lastCol});
  sheet.FitColumns(1, lastCol);

  const std::string columnA[] = {
      path,
      "ZQM4417-1 DATALOGGING SPREADSHEET",
      "DATALOG SETUP MADE   = " + form.DSETUPstamp,
      "SECONDS = " + Fixed3(form.SAMPLEtime),
      "SAMPLES = " + std::to_string(form.SAMPLEpoints),
      "CURRENT DATALOG VIEW = " + form.DCURRENTstamp,
      "SECONDS = " + Fixed3(form.VIEWtime),
      "SAMPLES = " + std::to_string(form.VIEWpoints),
  };
  for (int row = 1; row <= kHeaderRows; ++row) {
    if (row <= 8) sheet.WriteText(row, 1, columnA[row - 1]);
    for (int b = 0; b <= form.CARDSTACK; ++b) WriteBlockHeaderRow(sheet, b, row);
  }

  // Oldest sample first: after a wrap the ring runs from COUNTERstop to its
  // end, then from slot 1 up to the slot before COUNTERstop.
  int row = kFirstDataRow;
  int point = 1;
  if (form.CYCLEflag == 1) {
    for (int s = form.COUNTERstop; s <= form.SETpoint; ++s)
      WriteSampleRow(form, sheet, row++, point++, s);
  }
  for (int s = 1; s <= form.COUNTERstop - 1; ++s) WriteSampleRow(form, sheet, row++, point++, s);
}

ExportError::ExportError(const std::string& file, const std::string& why)
    : std::runtime_error((file.empty() ? std::string("Cannot write the datalog: ")
                                       : "Cannot write the datalog to " + file + ": ") +
                         WithoutFinalStop(why) + ". The recorded samples are kept."),
      path(file),
      reason(why) {}

void ExportDatalog(const Form1& form, const std::string& path) {
  if (path.empty()) throw ExportError(path, "no datalog file has been set up");
  XlsxSheet sheet(path);
  BuildDatalogSheet(form, sheet, path);
  const std::string failure = sheet.Finish();
  if (!failure.empty()) throw ExportError(path, failure);
}

namespace {

// CSV column names of a board block's fields 1 … 20.
constexpr std::array<const char*, 20> kCsvFields{
    "CFGR", "FLGR", "VUV_V", "VOV_V", "C1_V",  "C2_V",  "C3_V",   "C4_V",    "C5_V",    "C6_V",
    "C7_V", "C8_V", "C9_V",  "C10_V", "C11_V", "C12_V", "STATUS", "ETMP1_V", "ETMP2_V", "ITMP_V"};

bool NumericField(int k) { return (k >= 3 && k <= 16) || (k >= 18 && k <= 20); }

// A voltage text of the sheet (" 1.234", "2.712V ", "-.---") as a plain
// decimal, or "" when it holds no number.
std::string PlainNumber(const std::string& text) {
  size_t a = text.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  size_t b = text.find_last_not_of(" V");
  if (b == std::string::npos || b < a) return "";
  const std::string n = text.substr(a, b - a + 1);
  const bool number = n.find_first_not_of("-0123456789.") == std::string::npos &&
                      n.find_first_of("0123456789") != std::string::npos;
  return number ? n : "";
}

void WriteCsvRow(const Form1& form, CsvFile& csv, int point, int slot) {
  std::vector<std::string> row{std::to_string(point)};
  const auto when = form.DataTime(slot);
  row.push_back(when == std::chrono::system_clock::time_point{} ? "" : IsoStamp(when));
  for (int b = 0; b <= form.CARDSTACK; ++b) {
    for (int k = 1; k <= 20; ++k) {
      const std::string& cell = form.DataCell(slot, k, b);
      row.push_back(NumericField(k) ? PlainNumber(cell) : cell);
    }
  }
  csv.Row(row);
}

}  // namespace

void BuildDatalogCsv(const Form1& form, CsvFile& csv) {
  std::vector<std::string> header{"POINT", "TIME"};
  for (int b = 0; b <= form.CARDSTACK; ++b) {
    for (const char* name : kCsvFields) header.push_back("B" + std::to_string(b + 1) + "_" + name);
  }
  csv.Row(header);
  int point = 1;
  if (form.CYCLEflag == 1) {
    for (int s = form.COUNTERstop; s <= form.SETpoint; ++s) WriteCsvRow(form, csv, point++, s);
  }
  for (int s = 1; s <= form.COUNTERstop - 1; ++s) WriteCsvRow(form, csv, point++, s);
}

void ExportDatalogCsv(const Form1& form, const std::string& path) {
  CsvFile csv(path);
  BuildDatalogCsv(form, csv);
  const std::string failure = csv.Finish();
  if (!failure.empty()) throw ExportError(path, failure);
}

std::string CsvBeside(const std::string& workbook) {
  const std::string ending = ".xlsx";
  if (workbook.size() >= ending.size() &&
      workbook.compare(workbook.size() - ending.size(), ending.size(), ending) == 0) {
    return workbook.substr(0, workbook.size() - ending.size()) + ".csv";
  }
  return workbook + ".csv";
}

}  // namespace eb::datalog
