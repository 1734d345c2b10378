// A comma-separated text file (RFC 4180): one line per row, fields quoted
// when they hold a comma, a quote or a line break. Written beside its target
// and renamed over it when complete (see ReplacingFile).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sheet/replacing_file.h"

namespace eb::datalog {

class CsvFile {
 public:
  explicit CsvFile(const std::string& path);
  ~CsvFile();
  CsvFile(const CsvFile&) = delete;
  CsvFile& operator=(const CsvFile&) = delete;

  void Row(const std::vector<std::string>& fields);
  // Why the file cannot be written, as far as known yet ("" so far none).
  const std::string& error() const { return error_; }
  // Completes the file. Returns an empty text, or why it failed.
  std::string Finish();

 private:
  ReplacingFile file_;
  std::FILE* out_ = nullptr;
  std::string error_;
  std::string line_;
};

// A field as it stands in a CSV line.
std::string CsvField(const std::string& text);

}  // namespace eb::datalog
