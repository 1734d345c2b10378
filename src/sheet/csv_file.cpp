#include "sheet/csv_file.h"

#include <cerrno>
#include <cstring>

namespace eb::datalog {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

CsvFile::CsvFile(const std::string& path) : file_(path) {
  if (!file_.error().empty()) {
    error_ = file_.error();
    return;
  }
  out_ = std::fopen(file_.temporary().c_str(), "wb");
  if (out_ == nullptr) error_ = std::strerror(errno);
}

CsvFile::~CsvFile() {
  if (out_ != nullptr) std::fclose(out_);
  file_.Discard();
}

void CsvFile::Row(const std::vector<std::string>& fields) {
  if (out_ == nullptr || !error_.empty()) return;
  line_.clear();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line_ += ',';
    line_ += CsvField(fields[i]);
  }
  line_ += "\r\n";
  if (std::fwrite(line_.data(), 1, line_.size(), out_) != line_.size()) {
    error_ = std::strerror(errno);
  }
}

std::string CsvFile::Finish() {
  if (out_ != nullptr) {
    if (std::fflush(out_) != 0 && error_.empty()) error_ = std::strerror(errno);
    if (std::ferror(out_) && error_.empty()) error_ = "write error";
    if (std::fclose(out_) != 0 && error_.empty()) error_ = std::strerror(errno);
    out_ = nullptr;
  }
  if (!error_.empty()) {
    file_.Discard();
    return error_;
  }
  return file_.Commit();
}

}  // namespace eb::datalog
