// Names for the files of a new datalog that no earlier file has and no
// other program can take: each name is created empty with O_CREAT | O_EXCL
// before anything is written, so a file, a link or another program's export
// of the same name is never replaced or written through. The writers then
// rename their finished file over the empty one (see ReplacingFile). An
// empty reservation left by a program that died is removed at the next start
// (CleanStaleTemporaries).
#pragma once

#include <string>
#include <vector>

namespace eb::datalog {

class ReservedNames {
 public:
  // Reserves, in `folder`, "<name><ending>" for every ending, or when one of
  // them is taken "<name>_2<ending>", "<name>_3<ending>", …: the first number
  // for which all are free. `name` must be a plain file name (no '/').
  ReservedNames(const std::string& folder, const std::string& name,
                const std::vector<std::string>& endings);
  // Removes the reserved names that are still the empty files made here
  // (nothing was saved under them).
  ~ReservedNames();
  ReservedNames(const ReservedNames&) = delete;
  ReservedNames& operator=(const ReservedNames&) = delete;

  // Why nothing could be reserved ("" when the names are reserved).
  const std::string& error() const { return error_; }
  // The reserved paths, one for each ending, in order.
  const std::vector<std::string>& paths() const { return paths_; }
  // The path that was being reserved when it failed.
  const std::string& tried() const { return tried_; }

 private:
  void Release();
  struct Placeholder {
    std::string path;
    unsigned long long dev = 0, ino = 0;
    int fd = -1;  // holds its lock
  };
  std::vector<Placeholder> made_;
  std::vector<std::string> paths_;
  std::string error_;
  std::string tried_;
};

}  // namespace eb::datalog
