// A worksheet as the datalog export sees it: cells addressed by row and
// column (both counted from 1, column 1 = A), text or integer values, a few
// range formats, fitted columns, and saving under a file path.
//
// MemorySheet keeps everything in memory (tests read the cells back);
// XlsxSheet (xlsx_sheet.h) is a MemorySheet that saves itself as an .xlsx
// workbook.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace eb::datalog {

struct CellRange {
  int firstRow = 1;
  int firstCol = 1;
  int lastRow = 1;
  int lastCol = 1;
  bool Contains(int row, int col) const {
    return row >= firstRow && row <= lastRow && col >= firstCol && col <= lastCol;
  }
};

class Sheet {
 public:
  virtual ~Sheet() = default;
  virtual void WriteText(int row, int col, const std::string& text) = 0;
  virtual void WriteInteger(int row, int col, long long value) = 0;
  virtual void SetBold(const CellRange& range) = 0;
  virtual void SetVerticalCenter(const CellRange& range) = 0;
  virtual void SetBottomBorder(const CellRange& range) = 0;
  // Columns first … last get widths that fit their content.
  virtual void FitColumns(int firstCol, int lastCol) = 0;
  // Saves the sheet under `path`. Returns an empty text, or why it failed.
  virtual std::string Save(const std::string& path) = 0;
};

struct SheetCell {
  std::optional<std::string> text;
  std::optional<long long> integer;
  bool bold = false;
  bool verticalCenter = false;
  bool bottomBorder = false;
  bool HasValue() const { return text.has_value() || integer.has_value(); }
  // What the cell shows: the text, the integer in decimal, or "".
  std::string Shown() const;
};

class MemorySheet : public Sheet {
 public:
  void WriteText(int row, int col, const std::string& text) override;
  void WriteInteger(int row, int col, long long value) override;
  void SetBold(const CellRange& range) override;
  void SetVerticalCenter(const CellRange& range) override;
  void SetBottomBorder(const CellRange& range) override;
  void FitColumns(int firstCol, int lastCol) override;
  // Records the path; fails with `saveFailure` when that is set.
  std::string Save(const std::string& path) override;

  // The cell at (row, col), or nullptr when nothing was written or formatted there.
  const SheetCell* At(int row, int col) const;
  // Shown value of a cell ("" when empty).
  std::string Shown(int row, int col) const;
  // Integer of a cell written as an integer.
  std::optional<long long> Integer(int row, int col) const;
  // Highest row and column holding a value (0 when the sheet is empty).
  int LastRow() const;
  int LastCol() const;
  // Widths (characters) of columns first … last that fit each column's
  // longest value; a column without values keeps the default width.
  std::map<int, double> FittedWidths(int firstCol, int lastCol) const;

  const std::map<std::pair<int, int>, SheetCell>& Cells() const { return cells_; }
  std::optional<std::pair<int, int>> fitted;  // columns given to FitColumns
  std::optional<std::string> savedTo;
  std::string saveFailure;

 protected:
  SheetCell& Cell(int row, int col);

 private:
  template <typename F>
  void ForRange(const CellRange& range, F apply);
  std::map<std::pair<int, int>, SheetCell> cells_;  // by (row, col)
};

}  // namespace eb::datalog
