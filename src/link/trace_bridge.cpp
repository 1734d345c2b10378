#include "link/trace_bridge.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace eb {
namespace {

// Keeps one transaction on one line: control characters, tabs and
// backslashes are written as escapes (\r, \n, \t, \\, \xHH).
void AppendEscaped(std::string* line, std::string_view text) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '\r': line->append("\\r"); break;
      case '\n': line->append("\\n"); break;
      case '\t': line->append("\\t"); break;
      case '\\': line->append("\\\\"); break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          line->append(buf);
        } else {
          line->push_back(ch);
        }
    }
  }
}

}  // namespace

TraceBridge::TraceBridge(std::unique_ptr<Bridge> inner, std::ostream& out)
    : inner_(std::move(inner)), out_(out), start_(std::chrono::steady_clock::now()) {}

TraceBridge::~TraceBridge() { Flush(); }

bool TraceBridge::Open(int device) {
  Flush();
  pending_ = true;
  stamp_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  command_.clear();
  reply_.clear();
  return inner_->Open(device);
}

void TraceBridge::SetTimeouts(int readMs, int writeMs) { inner_->SetTimeouts(readMs, writeMs); }

std::size_t TraceBridge::Write(std::string_view command) {
  if (!pending_) {
    // A write outside Open ... Close still gets its own line.
    pending_ = true;
    stamp_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  command_.append(command);
  return inner_->Write(command);
}

std::size_t TraceBridge::Read(char* buffer, std::size_t n) {
  const std::size_t got = inner_->Read(buffer, n);
  Record(buffer, got);
  return got;
}

std::size_t TraceBridge::ReadLine(char* buffer, std::size_t n) {
  const std::size_t got = inner_->ReadLine(buffer, n);
  Record(buffer, got);
  return got;
}

void TraceBridge::Record(const char* buffer, std::size_t got) {
  if (!pending_) {
    pending_ = true;
    stamp_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  reply_.append(buffer, got);
}

void TraceBridge::Close() {
  inner_->Close();
  Flush();
}

void TraceBridge::Flush() {
  if (!pending_) return;
  pending_ = false;
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.6f", stamp_);
  std::string line(stamp);
  line.push_back('\t');
  AppendEscaped(&line, command_);
  line.push_back('\t');
  AppendEscaped(&line, reply_);
  line.push_back('\n');
  command_.clear();
  reply_.clear();
  if (writeFailed_) return;
  errno = 0;
  out_ << line;
  out_.flush();
  if (out_) return;
  writeFailed_ = true;
  if (errno != 0) writeError_ = std::strerror(errno);
  if (onWriteFailure_) onWriteFailure_();
}

}  // namespace eb
