// A worksheet as the datalog export writes it: cells addressed by row and
// column (both counted from 1, column 1 = A), text or integer values, a few
// range formats, fitted columns.
//
// The sheet is written as a stream: rows come in increasing order (cells of
// one row in any order), and a range format is declared before the rows it
// covers, so a writer never has to hold more than one row. A formatted cell
// that gets no value is written as a formatted blank.
//
// MemorySheet keeps everything in memory (tests read the cells back);
// XlsxSheet (xlsx_sheet.h) streams the rows into an .xlsx workbook.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// How a cell looks.
struct CellLook {
  bool bold = false;
  bool verticalCenter = false;
  bool bottomBorder = false;
  bool Plain() const { return !bold && !verticalCenter && !bottomBorder; }
  bool operator==(const CellLook&) const = default;
};

class Sheet {
 public:
  virtual ~Sheet() = default;
  virtual void WriteText(int row, int col, const std::string& text) = 0;
  virtual void WriteInteger(int row, int col, long long value) = 0;
  // Range formats, for the cells of rows not yet written.
  virtual void SetBold(const CellRange& range) = 0;
  virtual void SetVerticalCenter(const CellRange& range) = 0;
  virtual void SetBottomBorder(const CellRange& range) = 0;
  // Columns first … last get widths that fit their content.
  virtual void FitColumns(int firstCol, int lastCol) = 0;
  // Completes the sheet. Returns an empty text, or why it failed.
  virtual std::string Finish() = 0;
};

// The look of each cell from the range formats declared so far.
class RangeLooks {
 public:
  void Add(const CellRange& range, const CellLook& look) { ranges_.emplace_back(range, look); }
  CellLook At(int row, int col) const;
  // The columns of `row` that some range formats.
  std::vector<int> FormattedColumns(int row) const;

 private:
  std::vector<std::pair<CellRange, CellLook>> ranges_;
};

// Widths (characters) that fit each column's longest value, learnt from the
// values as they are written.
class ColumnFitter {
 public:
  void Add(int col, const std::string& shown, bool bold);
  // Widths of columns first … last; a column without values keeps the
  // default width.
  std::map<int, double> Widths(int firstCol, int lastCol) const;

 private:
  std::map<int, double> widest_;  // characters, bold text counted wider
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
  // Records that the sheet is complete; fails with `finishFailure` when that is set.
  std::string Finish() override;

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
  bool finished = false;
  std::string finishFailure;
  // The first write that came after a later row had been written ("" when
  // the rows came in order): a streaming writer could not have written it.
  std::string orderFault;

 protected:
  SheetCell& Cell(int row, int col);

 private:
  template <typename F>
  void ForRange(const CellRange& range, F apply);
  void Written(int row, int col);
  std::map<std::pair<int, int>, SheetCell> cells_;  // by (row, col)
  int lastRow_ = 0;
};

}  // namespace eb::datalog
