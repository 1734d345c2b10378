// Records every bridge transaction, one line each, tab-separated: seconds
// since the trace started, the command string as written, the reply
// characters delivered (empty when nothing was read). A transaction runs
// from Open to Close. Control characters, tabs and backslashes in the texts
// are written as \r, \n, \t, \\ and \xHH so each transaction stays on
// one line (the identify reply ends in "\r\n").
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "link/bridge.h"

namespace eb {

// Owns the transport it wraps, as every wrapper does (see FaultBridge).
class TraceBridge : public Bridge {
 public:
  TraceBridge(std::unique_ptr<Bridge> inner, std::ostream& out);
  ~TraceBridge() override;
  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return inner_->Describe(); }
  std::string LastError() const override { return inner_->LastError(); }

  Bridge& Inner() { return *inner_; }

 private:
  void Flush();
  std::unique_ptr<Bridge> inner_;
  std::ostream& out_;
  std::chrono::steady_clock::time_point start_;
  bool pending_ = false;
  double stamp_ = 0;
  std::string command_;
  std::string reply_;
};

}  // namespace eb
