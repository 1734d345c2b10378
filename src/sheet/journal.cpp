#include "sheet/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace eb::datalog {

namespace {

constexpr const char* kMagic = "EB2250 DATALOG JOURNAL 1";
constexpr std::size_t kCrcDigits = 8;

std::string Escape(const std::string& field) {
  std::string out;
  for (char c : field) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

std::string Crc(std::string_view text) {
  const uLong crc =
      crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08lx", crc & 0xFFFFFFFFul);
  return buf;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// What a file that is not a regular one is, for the operator.
std::string NotRegular(mode_t mode) {
  if (S_ISLNK(mode)) return "it is a symbolic link";
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

}  // namespace

std::string JournalLine(char kind, const std::vector<std::string>& fields) {
  std::string line(1, kind);
  for (const std::string& f : fields) line += '\t' + Escape(f);
  return line + '\t' + Crc(line);
}

bool SplitJournalRecord(std::string_view record, char* kind, std::vector<std::string>* fields,
                        std::size_t maxFields) {
  if (record.empty()) return false;
  *kind = record[0];
  fields->clear();
  if (record.size() == 1) return true;
  if (record[1] != '\t') return false;
  size_t at = 2;
  while (true) {
    if (fields->size() >= maxFields) return false;
    const size_t next = record.find('\t', at);
    std::string field;
    if (!Unescape(record.substr(at, next == std::string_view::npos ? next : next - at), &field)) {
      return false;
    }
    fields->push_back(std::move(field));
    if (next == std::string_view::npos) return true;
    at = next + 1;
  }
}

bool ParseJournalLine(const std::string& line, char* kind, std::vector<std::string>* fields) {
  const size_t tab = line.rfind('\t');
  if (tab == std::string::npos || line.size() - tab - 1 != kCrcDigits) return false;
  const std::string_view body = std::string_view(line).substr(0, tab);
  if (Crc(body) != line.substr(tab + 1)) return false;
  return SplitJournalRecord(body, kind, fields, line.size());
}

namespace {

// Why the journal at path could not be opened (errno e, not a vanished
// file): not a regular file, somebody's journal (in use, or left by a
// datalog that did not end) when creating, or the system's reason.
JournalLock::Result OpenRefused(const std::string& folder, const std::string& path, int e,
                                std::string* error) {
  if (e == ELOOP || e == EEXIST) {
    struct stat there {};
    if (lstat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) {
      *error = NotRegular(there.st_mode);
      return JournalLock::Result::kRefused;
    }
    if (e == EEXIST) {
      JournalLock other;
      if (other.Take(folder, false) == JournalLock::Result::kInUse) {
        *error = other.error();
        return JournalLock::Result::kInUse;
      }
      *error = "the journal of an earlier datalog that did not end, " + path + ", is still there";
      return JournalLock::Result::kRefused;
    }
  }
  *error = std::strerror(e);
  return JournalLock::Result::kRefused;
}

}  // namespace

JournalLock::Result JournalLock::Take(const std::string& folder, bool create) {
  Release();
  path_ = folder + "/" + kJournalName;
  // A journal removed or replaced by another program between our open and
  // our lock is not the folder's journal any more: open again until the
  // locked file is the one the name leads to.
  for (int attempt = 0; attempt < 5; ++attempt) {
    struct stat named {};
    if (!create) {
      // Looked at before it is opened: a device or FIFO is never opened.
      if (lstat(path_.c_str(), &named) != 0) {
        if (errno == ENOENT) return Result::kMissing;
        error_ = std::strerror(errno);
        return Result::kRefused;
      }
      if (!S_ISREG(named.st_mode)) {
        error_ = NotRegular(named.st_mode);
        return Result::kRefused;
      }
    }
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK |
                      (create ? O_RDWR | O_APPEND | O_CREAT | O_EXCL : O_RDONLY);
    int fd = open(path_.c_str(), flags, 0666);
    if (fd < 0) {
      const int e = errno;
      if (!create && e == ENOENT) continue;  // removed since: look again
      return OpenRefused(folder, path_, e, &error_);
    }
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      error_ = NotRegular(opened.st_mode);
      close(fd);
      return Result::kRefused;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int e = errno;
      close(fd);
      if (e == EWOULDBLOCK) {
        error_ = "the datalog folder " + folder + " is in use by another eb2250-gui";
        return Result::kInUse;
      }
      error_ = std::strerror(e);
      return Result::kRefused;
    }
    fd_ = fd;
    if (StillNamed()) {
      error_.clear();
      return Result::kTaken;
    }
    Release();
  }
  error_ = "the journal keeps changing";
  return Result::kRefused;
}

bool JournalLock::StillNamed() const {
  struct stat opened {
  }, named{};
  return fd_ >= 0 && fstat(fd_, &opened) == 0 && lstat(path_.c_str(), &named) == 0 &&
         SameFile(opened, named);
}

void JournalLock::Replace(int fd) {
  Release();
  fd_ = fd;
}

void JournalLock::Release() {
  if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
  fd_ = -1;
}

bool JournalWriter::Start(const std::string& folder, const std::vector<std::string>& setup,
                          int keep) {
  error_.clear();
  failed_ = false;
  setup_ = setup;
  keep_ = keep > 0 ? static_cast<std::size_t>(keep) : 0;
  kept_.clear();
  next_ = 0;
  inFile_ = 0;
  left_ = 0;
  // The writer's own journal of an earlier setup in this folder starts
  // again (that datalog is given up); anything else is never truncated or
  // written through.
  // A journal of a datalog this setup replaces elsewhere is given up.
  if (lock_.Held() && (folder != folder_ || !lock_.StillNamed())) Finish();
  folder_ = folder;
  if (lock_.Held()) {
    if (ftruncate(lock_.fd(), 0) != 0) return Fail(std::strerror(errno));
  } else if (lock_.Take(folder, true) != JournalLock::Result::kTaken) {
    error_ = lock_.error();
    failed_ = true;
    return false;
  }
  if (!WriteRecord('H', setup, std::string(kMagic) + "\n")) return false;
  // The new file's name must reach the disk too.
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

bool JournalWriter::Fail(const std::string& why) {
  error_ = why;
  failed_ = true;  // the lock stays: see Append
  return false;
}

bool JournalWriter::WriteRecord(char kind, const std::vector<std::string>& fields,
                                const std::string& before) {
  if (!Active()) return false;
  if (!WriteAll(lock_.fd(), before + JournalLine(kind, fields) + "\n") ||
      fdatasync(lock_.fd()) != 0) {
    return Fail(std::strerror(errno));
  }
  // Written into a file nobody can find any more (the folder, or the
  // journal alone, was removed): no crash could be recovered from it.
  struct stat st {};
  if (fstat(lock_.fd(), &st) == 0 && st.st_nlink == 0) {
    struct stat dir {};
    return Fail(stat(folder_.c_str(), &dir) != 0 ? "the datalog folder " + folder_ + " was removed"
                                                 : "its file " + path() + " was removed");
  }
  return true;
}

bool JournalWriter::Append(const std::vector<std::string>& sample) {
  if (!WriteRecord('S', sample, "")) return false;
  ++inFile_;
  if (keep_ == 0) return true;
  std::string line = JournalLine('S', sample) + "\n";
  if (kept_.size() < keep_) {
    kept_.push_back(std::move(line));
  } else {
    kept_[next_] = std::move(line);
    next_ = (next_ + 1) % keep_;
  }
  if (inFile_ >= 2 * keep_) Compact();
  return true;
}

// The setup and the kept samples into a new file beside the journal, made
// durable and locked, then renamed over it. Until the rename the journal is
// the old one, whole; after it, the new one. When the new file cannot be
// written the journal goes on growing and the next try is `keep` samples
// later.
void JournalWriter::Compact() {
  const std::string tmp = folder_ + "/." + kJournalName + ".compact";
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(tmp.c_str(), kFlags, 0666);
  if (fd < 0 && errno == EEXIST && unlink(tmp.c_str()) == 0) {
    // Left by a compaction that a crash cut short: only this program,
    // holding the journal's lock, writes that name.
    fd = open(tmp.c_str(), kFlags, 0666);
  }
  const std::size_t kept = kept_.size();
  auto giveUp = [&] {
    if (fd >= 0) {
      close(fd);
      unlink(tmp.c_str());
    }
    inFile_ -= std::min(inFile_, keep_);  // tried again after `keep` more
  };
  if (fd < 0) return giveUp();
  std::vector<std::string> setup = setup_;
  setup.push_back(std::to_string(left_ + (inFile_ - kept)));
  std::string data = std::string(kMagic) + "\n" + JournalLine('H', setup) + "\n";
  for (std::size_t i = 0; i < kept; ++i) data += kept_[(next_ + i) % kept];
  if (!WriteAll(fd, data) || fdatasync(fd) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
      !lock_.StillNamed()) {
    return giveUp();
  }
  if (rename(tmp.c_str(), lock_.path().c_str()) != 0) return giveUp();
  int dir = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  lock_.Replace(fd);  // the old file, no longer named, is let go
  left_ += inFile_ - kept;
  inFile_ = kept;
}

void JournalWriter::Finish() {
  // Removed while still locked, so no other program takes it in between.
  // A journal that cannot be removed is emptied: an empty journal holds
  // nothing and is removed by the next start.
  if (lock_.Held() && lock_.StillNamed() && unlink(lock_.path().c_str()) != 0 &&
      ftruncate(lock_.fd(), 0) == 0) {
    fdatasync(lock_.fd());
  }
  lock_.Release();
  failed_ = false;
}

void JournalReader::Line() {
  if (overlong_) {
    ++scan_.damaged;
    overlong_ = false;
    line_.clear();
    return;
  }
  if (!magicRead_) {
    magicRead_ = true;
    if (line_ != kMagic) scan_.error = "not a datalog journal";
    line_.clear();
    return;
  }
  const size_t tab = line_.rfind('\t');
  const std::string_view body = std::string_view(line_).substr(0, tab);
  if (tab == std::string::npos || line_.size() - tab - 1 != kCrcDigits || body.empty() ||
      Crc(body) != std::string_view(line_).substr(tab + 1)) {
    ++scan_.damaged;
  } else {
    ++scan_.records;
    onRecord_(body);
  }
  line_.clear();
}

void JournalReader::Feed(const char* data, std::size_t size) {
  while (size > 0 && scan_.error.empty()) {
    const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
    const size_t piece = end == nullptr ? size : static_cast<size_t>(end - data);
    if (!magicRead_ && line_.size() + piece > std::strlen(kMagic)) {
      scan_.error = "not a datalog journal";
      return;
    }
    if (!overlong_ && line_.size() + piece <= kMaxRecordBytes) {
      line_.append(data, piece);
    } else {
      overlong_ = true;
      line_.clear();
    }
    if (end == nullptr) return;
    Line();
    data += piece + 1;
    size -= piece + 1;
  }
}

void JournalReader::FeedZeros(std::size_t size) {
  if (size == 0 || !scan_.error.empty()) return;
  if (!magicRead_) {
    scan_.error = "not a datalog journal";
  } else if (overlong_ || line_.size() + size > kMaxRecordBytes) {
    overlong_ = true;
    line_.clear();
  } else {
    line_.append(size, '\0');
  }
}

JournalScan JournalReader::End() {
  if (scan_.error.empty()) {
    if (!magicRead_) {
      scan_.error = "not a datalog journal";
    } else if (overlong_) {
      ++scan_.damaged;  // no crash leaves a record that long
    } else {
      scan_.cutBytes = line_.size();
    }
  }
  line_.clear();
  overlong_ = false;
  return scan_;
}

JournalScan ScanJournal(int fd, const JournalReader::OnRecord& onRecord) {
  JournalReader reader(onRecord);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    JournalScan failed;
    failed.error = std::strerror(errno);
    return failed;
  }
  // Only the bytes there when the scan began: a file that grows while it
  // is read cannot keep the scan going.
  const off_t size = st.st_size;
  std::vector<char> buf(1 << 20);
  off_t at = 0;
  while (at < size) {
    // Holes of a sparse file hold only zeros: counted, not read.
    const off_t data = lseek(fd, at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) {
      reader.FeedZeros(static_cast<size_t>(size - at));
      break;
    }
    if (data > at) {
      const off_t hole = std::min(data, size) - at;
      reader.FeedZeros(static_cast<size_t>(hole));
      at += hole;
      continue;
    }
    const size_t want =
        static_cast<size_t>(std::min<off_t>(size - at, static_cast<off_t>(buf.size())));
    const ssize_t n = pread(fd, buf.data(), want, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      JournalScan failed = reader.End();
      failed.error = std::strerror(errno);
      return failed;
    }
    if (n == 0) break;  // the file shrank
    reader.Feed(buf.data(), static_cast<size_t>(n));
    at += n;
  }
  return reader.End();
}

}  // namespace eb::datalog
