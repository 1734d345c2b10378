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

std::string SimBridge::LastError() const {
  return refused_ ? "the simulated bridge is unplugged (sim unplug)" : std::string();
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

std::size_t SimBridge::Read(char* buffer, std::size_t n) {
  if (!open_ || stack_.Unplugged()) return 0;
  const std::size_t k = std::min(n, reply_.size() - replyPos_);
  std::copy_n(reply_.data() + replyPos_, k, buffer);
  replyPos_ += k;
  stack_.AccountRead(k, n, readMs_);
  return k;
}

void SimBridge::Close() { open_ = false; }

}  // namespace eb
