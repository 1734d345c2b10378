// Helpers of the datalog tests: a scratch directory, local clock instants,
// cell names, and a look at a written workbook file.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "sheet/journal.h"
#include "sheet/sheet.h"

namespace eb::test {

// Complete sample records a journal file stands for (0 when there is none):
// those in it, and those its compaction left out.
inline size_t DurableSamples(const std::string& journal) {
  const int fd = open(journal.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t samples = 0;
  datalog::ScanJournal(fd, [&samples](std::string_view record) {
    samples += record[0] == 'S';
    char kind = 0;
    std::vector<std::string> setup;
    if (record[0] == 'H' && datalog::SplitJournalRecord(record, &kind, &setup, 7) &&
        setup.size() == 7)
      samples += std::stoul(setup[6]);
  });
  close(fd);
  return samples;
}

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "eb-dlog-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) ADD_FAILURE() << "cannot create a scratch directory";
    path_ = buf.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

// The instant a local wall clock shows the given date and time.
inline std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour,
                                                       int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

// Sets (or with nullptr unsets) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Row and column of a cell name such as "AM5".
inline std::pair<int, int> CellAt(const std::string& name) {
  int col = 0;
  size_t i = 0;
  for (; i < name.size() && name[i] >= 'A' && name[i] <= 'Z'; ++i)
    col = col * 26 + (name[i] - 'A' + 1);
  return {std::stoi(name.substr(i)), col};
}

inline std::string Shown(const datalog::MemorySheet& sheet, const std::string& cell) {
  auto [row, col] = CellAt(cell);
  return sheet.Shown(row, col);
}

inline std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An .xlsx workbook is a zip archive holding the worksheet part.
inline bool LooksLikeXlsx(const std::string& path) {
  const std::string bytes = FileBytes(path);
  return bytes.rfind("PK\x03\x04", 0) == 0 &&
         bytes.find("xl/worksheets/sheet1.xml") != std::string::npos;
}

}  // namespace eb::test
