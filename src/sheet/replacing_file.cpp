#include "sheet/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace eb::datalog {

namespace {

namespace fs = std::filesystem;

// Follows a chain of symbolic links to the file it ends at (which need not
// exist yet). Relative links are taken from the folder of the link.
fs::path ThroughLinks(fs::path path) {
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, ec)); ++hops) {
    fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

// Flushes a file or folder to the disk.
void SyncPath(const std::string& path, int flags) {
  int fd = open(path.c_str(), flags);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target) {
  if (target.empty()) {
    error_ = "no file name";
    return;
  }
  const fs::path resolved = ThroughLinks(target);
  target_ = resolved.string();
  std::error_code ec;
  if (fs::is_directory(resolved, ec)) {
    error_ = "a folder has that name";
    return;
  }
  fs::path dir = resolved.parent_path();
  if (dir.empty()) dir = ".";
  // A short name of its own, so that any name the file system accepts for
  // the target can be written.
  std::string pattern = (dir / ".eb2250-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0) {
    error_ = std::strerror(errno);
    return;
  }
  // The permissions a newly created file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  temporary_ = buf.data();
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
}

std::string ReplacingFile::Commit() {
  if (!error_.empty()) return error_;
  if (temporary_.empty()) return "nothing to save";
  SyncPath(temporary_, O_RDONLY);
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    Discard();
    return why;
  }
  temporary_.clear();
  fs::path dir = fs::path(target_).parent_path();
  SyncPath(dir.empty() ? "." : dir.string(), O_RDONLY | O_DIRECTORY);
  return "";
}

}  // namespace eb::datalog
