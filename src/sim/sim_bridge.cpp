#include "sim/sim_bridge.h"

#include <algorithm>

namespace eb {

SimBridge::SimBridge(const SimSettings& settings)
    : stack_(settings), description_(stack_.Describe()) {
  reply_.reserve(256);
}

bool SimBridge::Open(int /*device*/) {
  reply_.clear();
  replyPos_ = 0;
  open_ = stack_.BeginTransaction();
  refused_ = !open_;
  return open_;
}

LinkError SimBridge::LastFailure() const {
  if (!refused_) return {};
  return LinkError{Trouble::kNoDevice, "the simulated bridge is unplugged (sim unplug)",
                   "a script plugs it back with \"sim replug\""};
}

void SimBridge::SetTimeouts(int readMs, int writeMs) {
  readMs_ = readMs;
  writeMs_ = writeMs;
}

std::size_t SimBridge::Write(std::string_view command) {
  if (!open_ || stack_.Unplugged()) return 0;
  if (replyPos_ == reply_.size()) {
    reply_.clear();
    replyPos_ = 0;
  }
  stack_.Execute(command, &reply_);
  return command.size();
}

std::size_t SimBridge::Read(char* buffer, std::size_t n) { return Deliver(buffer, n, false); }

std::size_t SimBridge::ReadLine(char* buffer, std::size_t n) { return Deliver(buffer, n, true); }

std::size_t SimBridge::Deliver(char* buffer, std::size_t n, bool toLineEnd) {
  if (!open_ || stack_.Unplugged()) return 0;
  std::size_t k = std::min(n, reply_.size() - replyPos_);
  bool lineEnded = false;
  if (toLineEnd) {
    const std::size_t end = std::string_view(reply_).substr(replyPos_, k).find("\r\n");
    if (end != std::string_view::npos) {
      k = end + 2;
      lineEnded = true;
    }
  }
  std::copy_n(reply_.data() + replyPos_, k, buffer);
  replyPos_ += k;
  // A read that ends with its line does not wait for the rest of its count.
  stack_.AccountRead(k, lineEnded ? k : n, readMs_);
  return k;
}

void SimBridge::Close() { open_ = false; }

}  // namespace eb
