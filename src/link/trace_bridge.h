// Records every bridge transaction, one line each, tab-separated: seconds
// since the trace started, the command string as written, the reply
// characters delivered (empty when nothing was read). A transaction runs
// from Open to Close. Control characters, tabs and backslashes in the texts
// are written as \r, \n, \t, \\ and \xHH so each transaction stays on
// one line (the identify reply ends in "\r\n").
//
// Each line is flushed as soon as its transaction ends and the stream is
// checked: a trace that cannot be written (disk full, file gone) is noticed
// at once, reported through WriteFailed() and the failure callback, and
// never passes silently. The transactions themselves go on unchanged.
#pragma once

#include <chrono>
#include <functional>
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
  std::size_t ReadLine(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return inner_->Describe(); }
  LinkError LastFailure() const override { return inner_->LastFailure(); }

  Bridge& Inner() { return *inner_; }
  // Whether a line could not be written, and the system's reason ("" when
  // it gave none).
  bool WriteFailed() const { return writeFailed_; }
  const std::string& WriteError() const { return writeError_; }
  // Called once, when the first line cannot be written.
  void OnWriteFailure(std::function<void()> callback) { onWriteFailure_ = std::move(callback); }

 private:
  void Flush();
  void Record(const char* buffer, std::size_t got);
  std::unique_ptr<Bridge> inner_;
  std::ostream& out_;
  bool writeFailed_ = false;
  std::string writeError_;
  std::function<void()> onWriteFailure_;
  std::chrono::steady_clock::time_point start_;
  bool pending_ = false;
  double stamp_ = 0;
  std::string command_;
  std::string reply_;
};

}  // namespace eb
