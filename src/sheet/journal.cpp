#include "sheet/journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace eb::datalog {

namespace {

constexpr const char* kMagic = "EB2250 DATALOG JOURNAL 1";

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

bool Unescape(const std::string& text, std::string* out) {
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

std::string Crc(const std::string& text) {
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
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string JournalLine(char kind, const std::vector<std::string>& fields) {
  std::string line(1, kind);
  for (const std::string& f : fields) line += '\t' + Escape(f);
  return line + '\t' + Crc(line);
}

bool ParseJournalLine(const std::string& line, char* kind, std::vector<std::string>* fields) {
  const size_t tab = line.rfind('\t');
  if (tab == std::string::npos || line.size() - tab - 1 != 8) return false;
  const std::string body = line.substr(0, tab);
  if (Crc(body) != line.substr(tab + 1) || body.empty()) return false;
  *kind = body[0];
  fields->clear();
  if (body.size() == 1) return true;
  if (body[1] != '\t') return false;
  size_t at = 2;
  while (true) {
    const size_t next = body.find('\t', at);
    std::string field;
    if (!Unescape(body.substr(at, next == std::string::npos ? std::string::npos : next - at),
                  &field)) {
      return false;
    }
    fields->push_back(field);
    if (next == std::string::npos) return true;
    at = next + 1;
  }
}

bool JournalLock::Take(const std::string& folder, bool create) {
  Release();
  const std::string path = folder + "/" + kJournalName;
  // A journal removed by its owner between our open and our lock is not the
  // folder's journal any more: open again until the locked file is the one
  // the name leads to.
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
      error_ = std::strerror(errno);
      return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      error_ = errno == EWOULDBLOCK
                   ? "the datalog folder " + folder + " is in use by another eb2250-gui"
                   : std::string(std::strerror(errno));
      close(fd);
      return false;
    }
    struct stat opened {
    }, named{};
    if (fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
        opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
      fd_ = fd;
      error_.clear();
      return true;
    }
    close(fd);
  }
  error_ = "the journal keeps changing";
  return false;
}

void JournalLock::Release() {
  if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
  fd_ = -1;
}

JournalWriter::~JournalWriter() { lock_.Release(); }

bool JournalWriter::Start(const std::string& folder, const std::vector<std::string>& setup) {
  lock_.Release();
  error_.clear();
  if (!lock_.Take(folder, true)) {
    error_ = lock_.error();
    return false;
  }
  path_ = folder + "/" + kJournalName;
  if (ftruncate(lock_.fd(), 0) != 0) {
    error_ = std::strerror(errno);
    lock_.Release();
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

bool JournalWriter::WriteRecord(char kind, const std::vector<std::string>& fields,
                                const std::string& before) {
  if (!lock_.Held()) return false;
  if (!WriteAll(lock_.fd(), before + JournalLine(kind, fields) + "\n") ||
      fdatasync(lock_.fd()) != 0) {
    error_ = std::strerror(errno);
    lock_.Release();
    return false;
  }
  return true;
}

bool JournalWriter::Append(const std::vector<std::string>& sample) {
  return WriteRecord('S', sample, "");
}

void JournalWriter::Finish() {
  // Removed while still locked, so no other program takes it in between.
  if (lock_.Held()) std::remove(path_.c_str());
  lock_.Release();
}

JournalContents ReadJournal(const std::string& path) {
  JournalContents c;
  std::ifstream in(path, std::ios::binary);
  if (!in) return c;
  c.found = true;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string magic = std::string(kMagic) + "\n";
  if (text.compare(0, magic.size(), magic) != 0) {
    c.error = "not a datalog journal";
    return c;
  }
  size_t at = magic.size();
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;  // the last record was cut short
    char kind = 0;
    std::vector<std::string> fields;
    if (!ParseJournalLine(text.substr(at, end - at), &kind, &fields)) break;
    if (kind == 'H' && c.setup.empty() && c.samples.empty()) {
      c.setup = std::move(fields);
    } else if (kind == 'S' && !c.setup.empty()) {
      c.samples.push_back(std::move(fields));
    } else {
      break;
    }
    at = end + 1;
  }
  c.dropped = text.size() - at;
  if (c.setup.empty()) c.error = "the journal holds no setup";
  return c;
}

}  // namespace eb::datalog
