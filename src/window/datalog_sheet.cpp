// Layout of the datalog worksheet and its export to an .xlsx file.
#include "window/datalog_sheet.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <vector>

#include "protocol/hex.h"
#include "sheet/reserved_names.h"
#include "sheet/stamps.h"
#include "sheet/xlsx_sheet.h"
#include "window/cell_status.h"
#include "window/form1.h"

namespace eb::datalog {

namespace {

// Row `row` (1 … 11) of the header block of board `board`: the legend in
// its status column (rows 1 … 9), its headings (row 10) and units (row 11),
// and the point and time-stamp heads of columns A and B.
void WriteBlockHeaderRow(Sheet& sheet, int board, int row) {
  if (row == 1) {
    sheet.WriteText(row, StatusColumn(board), "STATUS LEGEND");
    return;
  }
  if (row <= 9) {
    const CellStatusLook& look = kCellStatuses[static_cast<size_t>(row - 2)];
    sheet.WriteText(row, StatusColumn(board), std::string(look.code) + " = " + look.meaning);
    return;
  }
  const bool units = row == kHeaderRows;
  sheet.WriteText(row, 1, units ? "POINT" : "SAMPLE");
  sheet.WriteText(row, 2, units ? "Date/Time" : "TIME STAMP");
  const std::string n = "(" + std::to_string(board + 1) + ") ";
  for (int k = 1; k <= kBlockFields; ++k) {
    const Field& f = FieldAt(k);
    sheet.WriteText(row, BlockColumn(board) + k - 1, units ? std::string(f.unit) : n + f.heading);
  }
}

void WriteSampleRow(const DatalogView& view, Sheet& sheet, int row, int point, int slot) {
  sheet.WriteInteger(row, 1, point);
  sheet.WriteText(row, 2, view.cell(slot, 0, 0));
  for (int b = 0; b <= view.cardstack; ++b) {
    for (int k = 1; k <= kBlockFields; ++k)
      sheet.WriteText(row, BlockColumn(b) + k - 1, view.cell(slot, k, b));
  }
}

// The slots of the ring in recording order: after a wrap it runs from
// `counterStop` to its end, then from slot 1 up to the slot before.
template <typename F>
void ForEachSample(const DatalogView& view, F each) {
  int point = 1;
  if (view.cycle == 1) {
    for (int s = view.counterStop; s <= view.setpoint; ++s) each(point++, s);
  }
  for (int s = 1; s <= view.counterStop - 1; ++s) each(point++, s);
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

DatalogView ViewOf(const Form1& form) {
  DatalogView v;
  v.cardstack = form.CARDSTACK;
  v.setpoint = form.SETpoint;
  v.cycle = form.CYCLEflag;
  v.counterStop = form.COUNTERstop;
  v.setupStamp = form.DSETUPstamp;
  v.currentStamp = form.DCURRENTstamp;
  v.sampleTime = form.SAMPLEtime;
  v.viewTime = form.VIEWtime;
  v.samplePoints = form.SAMPLEpoints;
  v.viewPoints = form.VIEWpoints;
  v.cell = [&form](int slot, int field, int board) -> const std::string& {
    return form.DataCell(slot, field, board);
  };
  v.time = [&form](int slot) { return form.DataTime(slot); };
  return v;
}

void BuildDatalogSheet(const DatalogView& view, Sheet& sheet, const std::string& path) {
  // The sheet is written row by row, top down, so a streaming writer never
  // holds more than one row: the formats first, then the header block, then
  // the samples.
  const int lastCol = LastColumn(view.cardstack);
  sheet.SetBold({1, 1, kHeaderRows, lastCol});
  sheet.SetVerticalCenter({1, 1, kHeaderRows, lastCol});
  sheet.SetBottomBorder({kHeaderRows, 1, kHeaderRows, lastCol});
  sheet.FitColumns(1, lastCol);

  const std::string columnA[] = {
      path,
      "ZQM4417-1 DATALOGGING SPREADSHEET",
      "DATALOG SETUP MADE   = " + view.setupStamp,
      "SECONDS = " + Fixed3(view.sampleTime),
      "SAMPLES = " + std::to_string(view.samplePoints),
      "CURRENT DATALOG VIEW = " + view.currentStamp,
      "SECONDS = " + Fixed3(view.viewTime),
      "SAMPLES = " + std::to_string(view.viewPoints),
  };
  for (int row = 1; row <= kHeaderRows; ++row) {
    if (row <= 8) sheet.WriteText(row, 1, columnA[row - 1]);
    for (int b = 0; b <= view.cardstack; ++b) WriteBlockHeaderRow(sheet, b, row);
  }

  // Oldest sample first.
  ForEachSample(view, [&](int point, int slot) {
    WriteSampleRow(view, sheet, kFirstDataRow + point - 1, point, slot);
  });
}

ExportError::ExportError(const std::string& file, const std::string& why)
    : std::runtime_error((file.empty() ? std::string("Cannot write the datalog: ")
                                       : "Cannot write the datalog to " + file + ": ") +
                         WithoutFinalStop(why) + ". The recorded samples are kept."),
      path(file),
      reason(WithoutFinalStop(why)) {}

void ExportDatalog(const DatalogView& view, const std::string& path) {
  if (path.empty()) throw ExportError(path, "no datalog file has been set up");
  XlsxSheet sheet(path);
  BuildDatalogSheet(view, sheet, path);
  const std::string failure = sheet.Finish();
  if (!failure.empty()) throw ExportError(path, failure);
}

namespace {

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

std::string CsvText(const std::string& cell, int k) {
  return FieldAt(k).number ? PlainNumber(cell) : cell;
}

void WriteCsvRow(const DatalogView& view, CsvFile& csv, int point, int slot) {
  std::vector<std::string> row{std::to_string(point)};
  const auto when = view.time(slot);
  row.push_back(when == std::chrono::system_clock::time_point{} ? "" : IsoStamp(when));
  for (int b = 0; b <= view.cardstack; ++b) {
    for (int k = 1; k <= kBlockFields; ++k) row.push_back(CsvText(view.cell(slot, k, b), k));
  }
  for (int b = 0; b <= view.cardstack; ++b) {
    for (int k = kBlockFields + 1; k < kRecordFields; ++k)
      row.push_back(CsvText(view.cell(slot, k, b), k));
  }
  csv.Row(row);
}

}  // namespace

void BuildDatalogCsv(const DatalogView& view, CsvFile& csv) {
  std::vector<std::string> header{"POINT", "TIME"};
  auto columns = [&](int first, int last) {
    for (int b = 0; b <= view.cardstack; ++b) {
      for (int k = first; k <= last; ++k)
        header.push_back("B" + std::to_string(b + 1) + "_" + FieldAt(k).csv);
    }
  };
  columns(1, kBlockFields);
  // After the blocks, so that their columns stay where they always were.
  columns(kBlockFields + 1, kRecordFields - 1);
  csv.Row(header);
  ForEachSample(view, [&](int point, int slot) { WriteCsvRow(view, csv, point, slot); });
}

void ExportDatalogCsv(const DatalogView& view, const std::string& path) {
  CsvFile csv(path);
  BuildDatalogCsv(view, csv);
  const std::string failure = csv.Finish();
  if (!failure.empty()) throw ExportError(path, failure);
}

void ExportNewDatalog(const DatalogView& view, const std::string& folder, const std::string& name,
                      bool csv, NewDatalogFiles* saved) {
  const std::vector<std::string> endings =
      csv ? std::vector<std::string>{".xlsx", ".csv"} : std::vector<std::string>{".xlsx"};
  ReservedNames names(folder, name, endings);
  if (!names.error().empty()) {
    saved->workbook = names.tried();
    throw ExportError(names.tried(), names.error());
  }
  saved->workbook = names.paths()[0];
  saved->csv = csv ? names.paths()[1] : std::string();
  ExportDatalog(view, saved->workbook);
  if (csv) ExportDatalogCsv(view, saved->csv);
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
