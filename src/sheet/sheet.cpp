// In-memory worksheet, range formats and column fitting.
#include "sheet/sheet.h"

#include <algorithm>
#include <stdexcept>

namespace eb::datalog {

namespace {

constexpr double kDefaultWidth = 8.43;  // a new sheet's column width, characters
constexpr double kMaxWidth = 255;       // widest column a workbook allows
constexpr double kBoldFactor = 1.15;    // bold text takes this much more room
constexpr double kPadding = 2;          // room for the cell margins

}  // namespace

CellLook RangeLooks::At(int row, int col) const {
  CellLook look;
  for (const auto& [range, l] : ranges_) {
    if (!range.Contains(row, col)) continue;
    look.bold = look.bold || l.bold;
    look.verticalCenter = look.verticalCenter || l.verticalCenter;
    look.bottomBorder = look.bottomBorder || l.bottomBorder;
  }
  return look;
}

std::vector<int> RangeLooks::FormattedColumns(int row) const {
  std::vector<int> cols;
  for (const auto& [range, l] : ranges_) {
    if (row < range.firstRow || row > range.lastRow) continue;
    for (int c = range.firstCol; c <= range.lastCol; ++c) cols.push_back(c);
  }
  std::sort(cols.begin(), cols.end());
  cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
  return cols;
}

void ColumnFitter::Add(int col, const std::string& shown, bool bold) {
  double chars = static_cast<double>(shown.size());
  if (bold) chars *= kBoldFactor;
  double& w = widest_[col];
  w = std::max(w, chars);
}

std::map<int, double> ColumnFitter::Widths(int firstCol, int lastCol) const {
  std::map<int, double> widths;
  for (int col = firstCol; col <= lastCol; ++col) {
    auto it = widest_.find(col);
    double w = it == widest_.end() ? kDefaultWidth : std::max(kDefaultWidth, it->second + kPadding);
    widths[col] = std::min(kMaxWidth, w);
  }
  return widths;
}

std::string SheetCell::Shown() const {
  if (integer) return std::to_string(*integer);
  if (text) return *text;
  return "";
}

SheetCell& MemorySheet::Cell(int row, int col) {
  if (row < 1 || col < 1) throw std::out_of_range("sheet cell out of range");
  return cells_[{row, col}];
}

void MemorySheet::Written(int row, int col) {
  if (row < lastRow_ && orderFault.empty()) {
    orderFault = "row " + std::to_string(row) + " column " + std::to_string(col) +
                 " written after row " + std::to_string(lastRow_);
  }
  lastRow_ = std::max(lastRow_, row);
}

void MemorySheet::WriteText(int row, int col, const std::string& text) {
  Written(row, col);
  SheetCell& c = Cell(row, col);
  c.integer.reset();
  c.text = text;
}

void MemorySheet::WriteInteger(int row, int col, long long value) {
  Written(row, col);
  SheetCell& c = Cell(row, col);
  c.text.reset();
  c.integer = value;
}

template <typename F>
void MemorySheet::ForRange(const CellRange& range, F apply) {
  for (int r = range.firstRow; r <= range.lastRow; ++r) {
    for (int c = range.firstCol; c <= range.lastCol; ++c) apply(Cell(r, c));
  }
}

void MemorySheet::SetBold(const CellRange& range) {
  ForRange(range, [](SheetCell& c) { c.bold = true; });
}

void MemorySheet::SetVerticalCenter(const CellRange& range) {
  ForRange(range, [](SheetCell& c) { c.verticalCenter = true; });
}

void MemorySheet::SetBottomBorder(const CellRange& range) {
  ForRange(range, [](SheetCell& c) { c.bottomBorder = true; });
}

void MemorySheet::FitColumns(int firstCol, int lastCol) { fitted = std::pair{firstCol, lastCol}; }

std::string MemorySheet::Finish() {
  if (!finishFailure.empty()) return finishFailure;
  finished = true;
  return "";
}

const SheetCell* MemorySheet::At(int row, int col) const {
  auto it = cells_.find({row, col});
  return it == cells_.end() ? nullptr : &it->second;
}

std::string MemorySheet::Shown(int row, int col) const {
  const SheetCell* c = At(row, col);
  return c ? c->Shown() : std::string();
}

std::optional<long long> MemorySheet::Integer(int row, int col) const {
  const SheetCell* c = At(row, col);
  return c ? c->integer : std::nullopt;
}

int MemorySheet::LastRow() const {
  int last = 0;
  for (const auto& [at, c] : cells_) {
    if (c.HasValue()) last = std::max(last, at.first);
  }
  return last;
}

int MemorySheet::LastCol() const {
  int last = 0;
  for (const auto& [at, c] : cells_) {
    if (c.HasValue()) last = std::max(last, at.second);
  }
  return last;
}

std::map<int, double> MemorySheet::FittedWidths(int firstCol, int lastCol) const {
  ColumnFitter fitter;
  for (const auto& [at, c] : cells_) {
    if (at.second < firstCol || at.second > lastCol || !c.HasValue()) continue;
    fitter.Add(at.second, c.Shown(), c.bold);
  }
  return fitter.Widths(firstCol, lastCol);
}

}  // namespace eb::datalog
