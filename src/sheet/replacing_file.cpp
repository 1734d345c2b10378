#include "sheet/replacing_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

constexpr const char* kTemporaryPrefix = ".eb2250-";
constexpr std::size_t kTemporaryRandom = 6;  // the XXXXXX of mkstemp

SyncFunction syncCall = ::fsync;

std::string Why(int error) { return std::strerror(error); }

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

// Flushes a folder's entries to the disk. Returns 0 or the error.
int SyncFolder(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int failed = syncCall(fd) != 0 ? errno : 0;
  close(fd);
  return failed;
}

bool IsTemporaryName(const std::string& name) {
  const std::string prefix = kTemporaryPrefix;
  if (name.size() != prefix.size() + kTemporaryRandom ||
      name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

}  // namespace

SyncFunction ReplaceSyncFunction(SyncFunction sync) {
  const SyncFunction old = syncCall;
  syncCall = sync != nullptr ? sync : ::fsync;
  return old;
}

ReplacingFile::ReplacingFile(const std::string& target) {
  if (target.empty()) {
    error_ = "no file name";
    return;
  }
  const fs::path resolved = ThroughLinks(target);
  target_ = resolved.string();
  std::error_code ec;
  const fs::file_status status = fs::status(resolved, ec);
  if (fs::is_directory(status)) {
    error_ = "a folder has that name";
    return;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    error_ = "it is not a regular file";
    return;
  }
  fs::path dir = resolved.parent_path();
  if (dir.empty()) dir = ".";
  // A short name of its own, so that any name the file system accepts for
  // the target can be written.
  std::string pattern = (dir / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) {
    error_ = Why(errno);
    return;
  }
  // Locked for as long as it is written: a temporary whose lock is free was
  // left by a writer that died.
  flock(fd, LOCK_EX | LOCK_NB);
  // The permissions a newly created file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  fd_ = fd;
  temporary_ = buf.data();
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
  temporary_.clear();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::string ReplacingFile::Commit() {
  if (!error_.empty()) return error_;
  if (temporary_.empty()) return "nothing to save";
  // The file under the temporary's name must still be the one created (and
  // locked) here, or the sync below would not cover what was written.
  struct stat mine {
  }, named{};
  if (fstat(fd_, &mine) != 0 || lstat(temporary_.c_str(), &named) != 0 ||
      mine.st_dev != named.st_dev || mine.st_ino != named.st_ino) {
    Discard();
    return "its temporary file was removed while it was written";
  }
  if (syncCall(fd_) != 0) {
    const std::string why = Why(errno);
    Discard();
    return why + " while making it durable";
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const std::string why = Why(errno);
    Discard();
    return why;
  }
  temporary_.clear();
  close(fd_);
  fd_ = -1;
  fs::path dir = fs::path(target_).parent_path();
  if (const int failed = SyncFolder(dir.empty() ? "." : dir.string()); failed != 0) {
    return Why(failed) + " while making its folder durable";
  }
  return "";
}

int CleanStaleTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return 0;
  const int dirFd = dirfd(dir);
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const bool temporary = IsTemporaryName(name);
    struct stat seen {};
    if (fstatat(dirFd, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(seen.st_mode) ||
        seen.st_uid != geteuid()) {
      continue;
    }
    const bool reservation = seen.st_size == 0 && (seen.st_mode & 07777) == kPlaceholderMode;
    if (!temporary && !reservation) continue;
    // A reservation is writable by its owner only (opening it writes nothing).
    const int fd = openat(dirFd, name.c_str(),
                          (temporary ? O_RDONLY : O_WRONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened {};
    // Its writer holds the lock while it lives; the name must still be the
    // file looked at.
    if (fstat(fd, &opened) == 0 && opened.st_ino == seen.st_ino && opened.st_dev == seen.st_dev &&
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
      struct stat again {};
      if (fstatat(dirFd, name.c_str(), &again, AT_SYMLINK_NOFOLLOW) == 0 &&
          again.st_ino == seen.st_ino && again.st_dev == seen.st_dev &&
          (temporary || again.st_size == 0) && unlinkat(dirFd, name.c_str(), 0) == 0) {
        ++removed;
      }
    }
    close(fd);
  }
  closedir(dir);
  return removed;
}

}  // namespace eb::datalog
