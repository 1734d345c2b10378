// The bridge through libftdi1: the FTDI device with the given vendor and
// product id and index (by default 0403:6001, the first one), opened afresh
// for every transaction. A failure to open leaves the transport closed, so
// writes and reads deliver nothing; a read that fails part-way delivers
// nothing either.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/bridge.h"

struct ftdi_context;

namespace eb {

struct FtdiSettings {
  int vid = 0x0403;
  int pid = 0x6001;
  int index = 0;
  int baud = 0;  // 0: leave the rate libftdi sets when it opens the device
};

// Parses "vid=0403,pid=6001,index=0,baud=N" (vid and pid hexadecimal, with
// or without "0x"); "" gives the defaults.
std::optional<FtdiSettings> ParseFtdiSettings(std::string_view text, std::string* error);

class FtdiBridge : public Bridge {
 public:
  // USB latency timer set on every open, in milliseconds.
  static constexpr int kLatencyMs = 2;

  explicit FtdiBridge(const FtdiSettings& settings = FtdiSettings{});
  ~FtdiBridge() override;
  FtdiBridge(const FtdiBridge&) = delete;
  FtdiBridge& operator=(const FtdiBridge&) = delete;

  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }

  bool IsOpen() const { return ctx_ != nullptr; }
  const FtdiSettings& Settings() const { return settings_; }
  // libftdi's text for the last failure ("" when none).
  std::string LastError() const override { return lastError_; }

 private:
  void ApplyTimeouts();

  FtdiSettings settings_;
  std::string description_;
  std::string lastError_;
  ftdi_context* ctx_ = nullptr;
  std::vector<unsigned char> scratch_;
  int readMs_ = 1000;
  int writeMs_ = 1000;
};

}  // namespace eb
