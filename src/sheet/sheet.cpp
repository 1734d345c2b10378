// In-memory worksheet.
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

std::string SheetCell::Shown() const {
  if (integer) return std::to_string(*integer);
  if (text) return *text;
  return "";
}

SheetCell& MemorySheet::Cell(int row, int col) {
  if (row < 1 || col < 1) throw std::out_of_range("sheet cell out of range");
  return cells_[{row, col}];
}

void MemorySheet::WriteText(int row, int col, const std::string& text) {
  SheetCell& c = Cell(row, col);
  c.integer.reset();
  c.text = text;
}

void MemorySheet::WriteInteger(int row, int col, long long value) {
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

std::string MemorySheet::Save(const std::string& path) {
  if (!saveFailure.empty()) return saveFailure;
  savedTo = path;
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
  std::map<int, double> widest;
  for (const auto& [at, c] : cells_) {
    if (at.second < firstCol || at.second > lastCol || !c.HasValue()) continue;
    double chars = static_cast<double>(c.Shown().size());
    if (c.bold) chars *= kBoldFactor;
    double& w = widest[at.second];
    w = std::max(w, chars);
  }
  std::map<int, double> widths;
  for (int col = firstCol; col <= lastCol; ++col) {
    auto it = widest.find(col);
    double w = it == widest.end() ? kDefaultWidth : std::max(kDefaultWidth, it->second + kPadding);
    widths[col] = std::min(kMaxWidth, w);
  }
  return widths;
}

}  // namespace eb::datalog
