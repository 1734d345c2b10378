#include "sheet/xlsx_sheet.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace eb::datalog {

namespace {

// The library's text for an error, without its final full stop; for a
// failure to write the file, the system's reason (e.g. "No space left on
// device") when the library left one in errno.
std::string LibraryError(lxw_error err, int systemError) {
  const bool fileError = err == LXW_ERROR_CREATING_XLSX_FILE || err == LXW_ERROR_CREATING_TMPFILE ||
                         err == LXW_ERROR_READING_TMPFILE || err == LXW_ERROR_ZIP_FILE_OPERATION ||
                         err == LXW_ERROR_ZIP_FILE_ADD || err == LXW_ERROR_ZIP_CLOSE;
  if (fileError && systemError != 0) return std::strerror(systemError);
  std::string text = lxw_strerror(err);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

XlsxSheet::XlsxSheet(const std::string& path, const std::string& sheetName) : file_(path) {
  if (!file_.error().empty()) {
    error_ = file_.error();
    return;
  }
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  workbook_ = workbook_new_opt(file_.temporary().c_str(), &options);
  if (workbook_ == nullptr) {
    error_ = "not enough memory for the workbook";
    return;
  }
  sheet_ = workbook_add_worksheet(workbook_, sheetName.empty() ? nullptr : sheetName.c_str());
  if (sheet_ == nullptr) error_ = "not enough memory for the worksheet";
}

XlsxSheet::~XlsxSheet() {
  // An unfinished workbook is closed (which frees it) and its file dropped.
  if (workbook_ != nullptr) workbook_close(workbook_);
  file_.Discard();
}

void XlsxSheet::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

lxw_format* XlsxSheet::Format(const CellLook& look) {
  if (look.Plain()) return nullptr;
  const int key = (look.bold ? 1 : 0) | (look.verticalCenter ? 2 : 0) | (look.bottomBorder ? 4 : 0);
  lxw_format*& f = formats_[static_cast<size_t>(key)];
  if (f == nullptr) {
    f = workbook_add_format(workbook_);
    if (f == nullptr) return nullptr;
    if (look.bold) format_set_bold(f);
    if (look.verticalCenter) format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
    if (look.bottomBorder) format_set_bottom(f, LXW_BORDER_THIN);
  }
  return f;
}

// The formatted cells of the current row that got no value become
// formatted blanks.
void XlsxSheet::FlushRow() {
  if (row_ == 0) return;
  for (int col : looks_.FormattedColumns(row_)) {
    if (std::find(written_.begin(), written_.end(), col) != written_.end()) continue;
    lxw_error err =
        worksheet_write_blank(sheet_, static_cast<lxw_row_t>(row_ - 1),
                              static_cast<lxw_col_t>(col - 1), Format(looks_.At(row_, col)));
    if (err != LXW_NO_ERROR) Fail(LibraryError(err, 0));
  }
  written_.clear();
}

bool XlsxSheet::Reach(int row, int col) {
  if (!error_.empty()) return false;
  if (row < 1 || col < 1) {
    Fail("cell outside the sheet");
    return false;
  }
  if (row < row_) {
    Fail("row " + std::to_string(row) + " written after row " + std::to_string(row_));
    return false;
  }
  while (row_ < row) {
    FlushRow();
    ++row_;
  }
  written_.push_back(col);
  return error_.empty();
}

void XlsxSheet::WriteText(int row, int col, const std::string& text) {
  if (!Reach(row, col)) return;
  const CellLook look = looks_.At(row, col);
  lxw_format* f = Format(look);
  lxw_error err = LXW_NO_ERROR;
  if (!text.empty()) {
    err = worksheet_write_string(sheet_, static_cast<lxw_row_t>(row - 1),
                                 static_cast<lxw_col_t>(col - 1), text.c_str(), f);
    fitter_.Add(col, text, look.bold);
  } else if (f != nullptr) {
    err = worksheet_write_blank(sheet_, static_cast<lxw_row_t>(row - 1),
                                static_cast<lxw_col_t>(col - 1), f);
  }
  if (err != LXW_NO_ERROR) Fail(LibraryError(err, 0));
}

void XlsxSheet::WriteInteger(int row, int col, long long value) {
  if (!Reach(row, col)) return;
  const CellLook look = looks_.At(row, col);
  lxw_error err = worksheet_write_number(sheet_, static_cast<lxw_row_t>(row - 1),
                                         static_cast<lxw_col_t>(col - 1),
                                         static_cast<double>(value), Format(look));
  fitter_.Add(col, std::to_string(value), look.bold);
  if (err != LXW_NO_ERROR) Fail(LibraryError(err, 0));
}

void XlsxSheet::WriteNumber(int row, int col, double value) {
  if (std::isnan(value) || !Reach(row, col)) return;
  const CellLook look = looks_.At(row, col);
  lxw_error err = worksheet_write_number(sheet_, static_cast<lxw_row_t>(row - 1),
                                         static_cast<lxw_col_t>(col - 1), value, Format(look));
  if (err != LXW_NO_ERROR) Fail(LibraryError(err, 0));
}

void XlsxSheet::SetBold(const CellRange& range) {
  looks_.Add(range, CellLook{.bold = true});
  lastFormattedRow_ = std::max(lastFormattedRow_, range.lastRow);
}

void XlsxSheet::SetVerticalCenter(const CellRange& range) {
  looks_.Add(range, CellLook{.verticalCenter = true});
  lastFormattedRow_ = std::max(lastFormattedRow_, range.lastRow);
}

void XlsxSheet::SetBottomBorder(const CellRange& range) {
  looks_.Add(range, CellLook{.bottomBorder = true});
  lastFormattedRow_ = std::max(lastFormattedRow_, range.lastRow);
}

void XlsxSheet::FitColumns(int firstCol, int lastCol) { fitted_.emplace_back(firstCol, lastCol); }

void XlsxSheet::EndSheet() {
  if (!error_.empty() || workbook_ == nullptr) return;
  // Formatted rows that got no value at all still get their blanks.
  if (lastFormattedRow_ > row_ && Reach(lastFormattedRow_, 1)) written_.pop_back();
  FlushRow();
  for (const auto& [first, last] : fitted_) {
    for (const auto& [col, width] : fitter_.Widths(first, last)) {
      const auto c = static_cast<lxw_col_t>(col - 1);
      lxw_error err = worksheet_set_column(sheet_, c, c, width, nullptr);
      if (err != LXW_NO_ERROR) Fail(LibraryError(err, 0));
    }
  }
}

void XlsxSheet::NextSheet(const std::string& name) {
  EndSheet();
  if (!error_.empty() || workbook_ == nullptr) return;
  sheet_ = workbook_add_worksheet(workbook_, name.c_str());
  if (sheet_ == nullptr) Fail("cannot add worksheet " + name);
  looks_ = RangeLooks();
  fitter_ = ColumnFitter();
  fitted_.clear();
  written_.clear();
  row_ = 0;
  lastFormattedRow_ = 0;
}

std::string XlsxSheet::Finish() {
  EndSheet();
  if (workbook_ != nullptr) {
    // Closing writes the file, and frees the workbook whatever happened before.
    errno = 0;
    const lxw_error closed = workbook_close(workbook_);
    const int systemError = errno;
    workbook_ = nullptr;
    if (closed != LXW_NO_ERROR) Fail(LibraryError(closed, systemError));
  }
  if (!error_.empty()) {
    file_.Discard();
    return error_;
  }
  return file_.Commit();
}

}  // namespace eb::datalog
