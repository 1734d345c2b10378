// A worksheet streamed into an .xlsx workbook (libxlsxwriter in its
// constant-memory mode): each row goes to the file as soon as the next one
// begins, so the sheet is never held in memory. NextSheet continues on a
// new worksheet, for data beyond a sheet's rows.
//
// The workbook is written to a temporary file beside the target and renamed
// over it only once it is complete (see ReplacingFile): a failed export
// leaves any earlier file untouched.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "sheet/replacing_file.h"
#include "sheet/sheet.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace eb::datalog {

class XlsxSheet : public Sheet {
 public:
  // `sheetName`: the first worksheet's name ("" gives "Sheet1").
  explicit XlsxSheet(const std::string& path, const std::string& sheetName = "");
  ~XlsxSheet() override;
  XlsxSheet(const XlsxSheet&) = delete;
  XlsxSheet& operator=(const XlsxSheet&) = delete;

  void WriteText(int row, int col, const std::string& text) override;
  void WriteInteger(int row, int col, long long value) override;
  // A number; NaN writes nothing.
  void WriteNumber(int row, int col, double value);
  void SetBold(const CellRange& range) override;
  void SetVerticalCenter(const CellRange& range) override;
  void SetBottomBorder(const CellRange& range) override;
  void FitColumns(int firstCol, int lastCol) override;
  std::string Finish() override;
  // Why the workbook cannot be written, as far as known yet ("" so far none).
  const std::string& error() const { return error_; }
  // Ends the worksheet (its fitted columns and formats) and goes on with a
  // new one called `name`, rows counted from 1 again.
  void NextSheet(const std::string& name);
  // The rows a worksheet holds.
  static constexpr int kMaxRows = 1'048'576;

 private:
  // Moves on to `row`, writing the formatted blanks of the rows left behind.
  bool Reach(int row, int col);
  void FlushRow();
  void EndSheet();
  lxw_format* Format(const CellLook& look);
  void Fail(const std::string& why);

  ReplacingFile file_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  std::string error_;
  RangeLooks looks_;
  ColumnFitter fitter_;
  std::vector<std::pair<int, int>> fitted_;
  std::array<lxw_format*, 8> formats_{};
  int row_ = 0;               // row being written (0: none yet)
  std::vector<int> written_;  // columns of that row holding a value
  int lastFormattedRow_ = 0;
};

}  // namespace eb::datalog
