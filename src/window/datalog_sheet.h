// The datalog worksheet: a header block (rows 1 … 11) and one row per
// sample of the ring, oldest first.
//
// Board b (0 … CARDSTACK) owns the kBlockFields columns from BlockColumn(b)
// (20·b + 3 … 20·b + 22); datalog field k (1 … kBlockFields) of board b goes
// to column BlockColumn(b) + k - 1. Column A holds the point number, column
// B the sample's time stamp.
#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "sheet/csv_file.h"
#include "sheet/sheet.h"
#include "window/datalog_fields.h"

namespace eb {
class Form1;
}

namespace eb::datalog {

// What an export needs of a datalog: the ring and the figures of the header
// block. The window's datalog is one (ViewOf); a recovered journal another.
struct DatalogView {
  int cardstack = 0;    // last board of the stack
  int setpoint = 0;     // slots of the ring in use
  int cycle = 0;        // 1 once the ring has wrapped
  int counterStop = 1;  // the slot the next sample fills
  std::string setupStamp, currentStamp;
  float sampleTime = 0, viewTime = 0;
  int samplePoints = 0, viewPoints = 0;
  std::function<const std::string&(int slot, int field, int board)> cell;
  std::function<std::chrono::system_clock::time_point(int slot)> time;
};

// The window's datalog as it stands (COUNTERstop as the export sets it).
DatalogView ViewOf(const Form1& form);

constexpr int kHeaderRows = 11;
constexpr int kFirstDataRow = 12;

// Column letters: 1 → "A", 26 → "Z", 27 → "AA", 202 → "GT".
std::string ColumnName(int col);
// First column of board b's block.
constexpr int BlockColumn(int board) { return kBlockFields * board + 3; }
// Status column of board b's block (it also carries the status legend).
constexpr int StatusColumn(int board) { return BlockColumn(board) + kStatusField - 1; }
// Last column of the sheet for a stack whose last board is `cardstack`.
constexpr int LastColumn(int cardstack) { return BlockColumn(cardstack + 1) - 1; }
// Row 11 of the last column: "V11" for one board … "GT11" for ten.
std::string EndCell(int cardstack);

// Lays out the form's datalog in `sheet`: the header block, the samples of
// the ring in recording order (up to COUNTERstop), fitted columns, and
// `path` in A1. Does not save.
void BuildDatalogSheet(const DatalogView& view, Sheet& sheet, const std::string& path);
inline void BuildDatalogSheet(const Form1& form, Sheet& sheet, const std::string& path) {
  BuildDatalogSheet(ViewOf(form), sheet, path);
}

// A datalog export that could not be written. what() is the operator text.
class ExportError : public std::runtime_error {
 public:
  ExportError(const std::string& path, const std::string& reason);
  std::string path;
  std::string reason;
};

// Builds the datalog sheet and saves it as an .xlsx workbook under `path`.
// Throws ExportError when it cannot be written; the form is not changed.
void ExportDatalog(const DatalogView& view, const std::string& path);
inline void ExportDatalog(const Form1& form, const std::string& path) {
  ExportDatalog(ViewOf(form), path);
}

// The samples of the ring, in the sheet's order, as plain text for analysis
// tools: a header row naming each column ("POINT", "TIME", "B1_CFGR", …,
// "B1_C1_V", …), then one row per sample: the point, the ISO 8601 time stamp
// with milliseconds, then per board its block's fields in the sheet's order,
// then per board the CSV-only fields, how the reads behind its fields ended
// ("B1_READS", …). Voltages
// are plain decimals with a point; a reading that could not be decoded is an
// empty field.
void BuildDatalogCsv(const DatalogView& view, CsvFile& csv);

// Writes that CSV under `path`. Throws ExportError when it cannot be written.
void ExportDatalogCsv(const DatalogView& view, const std::string& path);
inline void ExportDatalogCsv(const Form1& form, const std::string& path) {
  ExportDatalogCsv(ViewOf(form), path);
}

// The files of a new datalog in `folder`: the workbook "<name>.xlsx" and,
// with `csv`, the CSV file "<name>.csv" beside it. Their names are reserved
// before anything is written (see ReservedNames): when one of them is taken,
// both become "<name>_2…", "<name>_3…", …, so no earlier file is ever
// replaced and two programs never write the same file. `saved` gets the
// paths as soon as they are reserved (the workbook's goes to its cell A1).
// Throws ExportError when a file cannot be written; a file not written
// leaves no empty name behind. `name` must be a plain file name.
struct NewDatalogFiles {
  std::string workbook;
  std::string csv;  // "" without a CSV file
};
void ExportNewDatalog(const DatalogView& view, const std::string& folder, const std::string& name,
                      bool csv, NewDatalogFiles* saved);

// The CSV file beside a workbook: the same name ending in ".csv".
std::string CsvBeside(const std::string& workbook);

}  // namespace eb::datalog
