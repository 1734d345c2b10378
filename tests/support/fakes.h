// Test doubles for the window's outside world.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "link/bridge.h"
#include "window/platform.h"

namespace eb::test {

// A bridge whose replies come from a function of the command string.
class FakeBridge : public Bridge {
 public:
  std::function<std::string(const std::string&)> responder;
  std::vector<std::string> writes;  // every command string written
  // Every read: "read" or "line" (a read that may end at CR LF), the count
  // asked for and the time-outs, e.g. "line 50 200/50".
  std::vector<std::string> reads;
  bool openOk = true;

  bool Open(int) override {
    opened_ = openOk;
    pending_.clear();
    return opened_;
  }
  void SetTimeouts(int readMs, int writeMs) override {
    timeouts_ = std::to_string(readMs) + "/" + std::to_string(writeMs);
  }
  std::size_t Write(std::string_view command) override {
    if (!opened_) return 0;
    writes.emplace_back(command);
    pending_ = responder ? responder(std::string(command)) : std::string();
    return command.size();
  }
  std::size_t ReadLine(char* buffer, std::size_t n) override {
    reads.push_back("line " + std::to_string(n) + " " + timeouts_);
    return Deliver(buffer, n);
  }
  std::size_t Read(char* buffer, std::size_t n) override {
    reads.push_back("read " + std::to_string(n) + " " + timeouts_);
    return Deliver(buffer, n);
  }
  void Close() override { opened_ = false; }
  std::string_view Describe() const override { return "fake bridge"; }

 private:
  std::size_t Deliver(char* buffer, std::size_t n) {
    if (!opened_) return 0;
    std::size_t k = std::min(n, pending_.size());
    for (std::size_t i = 0; i < k; ++i) buffer[i] = pending_[i];
    pending_.erase(0, k);
    return k;
  }

  bool opened_ = false;
  std::string timeouts_;
  std::string pending_;
};

class FakePlatform : public Platform {
  // A folder of its own, removed with the platform, so that what a test
  // writes to the datalog folder (last datalogs, the recording journal)
  // never meets another test's.
  static std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "eb-fake-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
  }
  std::string own_ = MakeFolder();

 public:
  std::vector<std::string> messages;
  bool unloaded = false;
  std::vector<std::string> opened;
  std::chrono::system_clock::time_point now{};
  std::string appDir = own_;

  FakePlatform() = default;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;
  ~FakePlatform() override {
    std::error_code ec;
    if (own_ != "/tmp") std::filesystem::remove_all(own_, ec);
  }

  void MsgBox(const std::string& text) override { messages.push_back(text); }
  void Unload() override { unloaded = true; }
  std::chrono::system_clock::time_point Now() override { return now; }
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
  std::string AppDirectory() override { return appDir; }
};

}  // namespace eb::test
