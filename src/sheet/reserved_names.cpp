#include "sheet/reserved_names.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sheet/replacing_file.h"

namespace eb::datalog {

namespace {

// Numbers tried before giving up: a folder with that many datalogs of one
// second is not a folder to go on searching in.
constexpr int kLastNumber = 9999;

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

}  // namespace

ReservedNames::ReservedNames(const std::string& folder, const std::string& name,
                             const std::vector<std::string>& endings) {
  std::string base = folder.empty() ? "." : folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base != "/") base += '/';
  if (!PlainName(name)) {
    tried_ = base + name;
    error_ = "the file name is not a plain name in the folder";
    return;
  }
  for (int n = 1; n <= kLastNumber; ++n) {
    const std::string stem = base + name + (n == 1 ? "" : "_" + std::to_string(n));
    bool taken = false;
    for (const std::string& ending : endings) {
      tried_ = stem + ending;
      const int fd = open(tried_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          kPlaceholderMode);
      if (fd < 0) {
        if (errno == EEXIST) {
          taken = true;
          break;
        }
        error_ = std::strerror(errno);
        Release();
        return;
      }
      // Marked as a reservation (empty, writable by its owner only) and
      // locked while this program lives: one its writer left behind when it
      // died is found and removed at the next start.
      fchmod(fd, kPlaceholderMode);
      flock(fd, LOCK_EX | LOCK_NB);
      struct stat st {};
      fstat(fd, &st);
      made_.push_back({tried_, static_cast<unsigned long long>(st.st_dev),
                       static_cast<unsigned long long>(st.st_ino), fd});
      paths_.push_back(tried_);
    }
    if (!taken) return;
    Release();
  }
  error_ = "no free file name is left for it";
}

ReservedNames::~ReservedNames() { Release(); }

void ReservedNames::Release() {
  for (const Placeholder& p : made_) {
    struct stat st {};
    if (lstat(p.path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
        static_cast<unsigned long long>(st.st_dev) == p.dev &&
        static_cast<unsigned long long>(st.st_ino) == p.ino) {
      unlink(p.path.c_str());
    }
    close(p.fd);
  }
  made_.clear();
  paths_.clear();
}

}  // namespace eb::datalog
