// .xlsx writer: the cells collected in memory go into one worksheet, each
// with a format for its bold / alignment / border combination.
#include "sheet/xlsx_sheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace eb::datalog {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

// Creates an empty temporary file beside `path` with the permissions a new
// file would get; returns its name, or "" with the reason in `why`.
std::string CreateTemporaryBeside(const std::string& path, std::string& why) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string name = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0) {
    why = ErrnoText(errno);
    return "";
  }
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  return std::string(buf.data());
}

// Flushes a finished file to the disk so the rename never exposes an empty one.
void SyncFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

class Formats {
 public:
  explicit Formats(lxw_workbook* wb) : wb_(wb) {}
  // The format for a cell, or nullptr for a plain one.
  lxw_format* For(const SheetCell& c) {
    const int key = (c.bold ? 1 : 0) | (c.verticalCenter ? 2 : 0) | (c.bottomBorder ? 4 : 0);
    if (key == 0) return nullptr;
    lxw_format*& f = formats_[static_cast<size_t>(key)];
    if (f == nullptr) {
      f = workbook_add_format(wb_);
      if (f == nullptr) return nullptr;
      if (c.bold) format_set_bold(f);
      if (c.verticalCenter) format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
      if (c.bottomBorder) format_set_bottom(f, LXW_BORDER_THIN);
    }
    return f;
  }

 private:
  lxw_workbook* wb_;
  std::array<lxw_format*, 8> formats_{};
};

// Writes every cell and the column widths; returns the first error.
lxw_error Fill(const MemorySheet& sheet, lxw_workbook* wb, lxw_worksheet* ws) {
  Formats formats(wb);
  for (const auto& [at, c] : sheet.Cells()) {
    const auto row = static_cast<lxw_row_t>(at.first - 1);
    const auto col = static_cast<lxw_col_t>(at.second - 1);
    lxw_format* f = formats.For(c);
    lxw_error err = LXW_NO_ERROR;
    if (c.integer) {
      err = worksheet_write_number(ws, row, col, static_cast<double>(*c.integer), f);
    } else if (c.text && !c.text->empty()) {
      err = worksheet_write_string(ws, row, col, c.text->c_str(), f);
    } else if (f != nullptr) {
      err = worksheet_write_blank(ws, row, col, f);
    }
    if (err != LXW_NO_ERROR) return err;
  }
  if (sheet.fitted) {
#if defined(LXW_VERSION_ID) && LXW_VERSION_ID >= 115
    worksheet_autofit(ws);
#else
    for (const auto& [col, width] : sheet.FittedWidths(sheet.fitted->first, sheet.fitted->second)) {
      const auto c = static_cast<lxw_col_t>(col - 1);
      lxw_error err = worksheet_set_column(ws, c, c, width, nullptr);
      if (err != LXW_NO_ERROR) return err;
    }
#endif
  }
  return LXW_NO_ERROR;
}

}  // namespace

std::string XlsxSheet::Save(const std::string& path) {
  if (path.empty()) return "no file name";
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return "a folder has that name";

  std::string why;
  const std::string temporary = CreateTemporaryBeside(path, why);
  if (temporary.empty()) return why;

  lxw_workbook* wb = workbook_new(temporary.c_str());
  if (wb == nullptr) {
    std::remove(temporary.c_str());
    return "not enough memory for the workbook";
  }
  lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
  lxw_error err = ws == nullptr ? LXW_ERROR_MEMORY_MALLOC_FAILED : Fill(*this, wb, ws);
  // Closing writes the file, and frees the workbook whatever happened before.
  const lxw_error closed = workbook_close(wb);
  if (err == LXW_NO_ERROR) err = closed;
  if (err != LXW_NO_ERROR) {
    std::remove(temporary.c_str());
    return lxw_strerror(err);
  }

  SyncFile(temporary);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    why = ErrnoText(errno);
    std::remove(temporary.c_str());
    return why;
  }
  return "";
}

}  // namespace eb::datalog
