#include "link/ftdi_bridge.h"

#include <ftdi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "link/settings_parser.h"

namespace eb {
namespace {

std::string Hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
  return buf;
}

}  // namespace

std::optional<FtdiSettings> ParseFtdiSettings(std::string_view text, std::string* error) {
  FtdiSettings s;
  SettingsParser parser("ftdi");
  parser.Hex("vid", &s.vid, "a vendor id", 0xFFFF, "0403")
      .Hex("pid", &s.pid, "a product id", 0xFFFF, "6001")
      .Whole("index", &s.index, "a device index", 0, 255)
      .Whole("baud", &s.baud, "a baud rate", 1, 12000000);
  if (!parser.Parse(text, error)) return std::nullopt;
  return s;
}

FtdiBridge::FtdiBridge(const FtdiSettings& settings) : settings_(settings) {
  description_ = "FTDI device vid " + Hex4(settings.vid) + " pid " + Hex4(settings.pid) +
                 " index " + std::to_string(settings.index);
  if (settings.baud > 0) description_ += " at " + std::to_string(settings.baud) + " baud";
}

FtdiBridge::~FtdiBridge() { Close(); }

bool FtdiBridge::Open(int /*device*/) {
  Close();
  lastError_.clear();
  ftdi_context* ctx = ftdi_new();
  if (ctx == nullptr) {
    lastError_ = "libftdi could not be initialised";
    return false;
  }
  if (ftdi_usb_open_desc_index(ctx, settings_.vid, settings_.pid, nullptr, nullptr,
                               static_cast<unsigned>(settings_.index)) < 0) {
    lastError_ = ftdi_get_error_string(ctx);
    ftdi_free(ctx);
    return false;
  }
  if ((settings_.baud > 0 && ftdi_set_baudrate(ctx, settings_.baud) < 0) ||
      ftdi_set_latency_timer(ctx, static_cast<unsigned char>(kLatencyMs)) < 0) {
    lastError_ = ftdi_get_error_string(ctx);
    ftdi_usb_close(ctx);
    ftdi_free(ctx);
    return false;
  }
  ctx_ = ctx;
  ApplyTimeouts();
  return true;
}

void FtdiBridge::ApplyTimeouts() {
  if (ctx_ == nullptr) return;
  // Each USB transfer waits at most the whole time-out; Read also keeps its
  // own deadline across transfers.
  ctx_->usb_read_timeout = std::max(1, readMs_);
  ctx_->usb_write_timeout = std::max(1, writeMs_);
}

void FtdiBridge::SetTimeouts(int readMs, int writeMs) {
  readMs_ = std::max(0, readMs);
  writeMs_ = std::max(0, writeMs);
  ApplyTimeouts();
}

std::size_t FtdiBridge::Write(std::string_view command) {
  if (ctx_ == nullptr || command.empty()) return 0;
  int r = ftdi_write_data(ctx_, reinterpret_cast<const unsigned char*>(command.data()),
                          static_cast<int>(command.size()));
  if (r < 0) {
    lastError_ = ftdi_get_error_string(ctx_);
    return 0;
  }
  return static_cast<std::size_t>(r);
}

std::size_t FtdiBridge::Read(char* buffer, std::size_t n) {
  if (ctx_ == nullptr || n == 0) return 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(readMs_);
  if (scratch_.size() < n) scratch_.resize(n);
  std::size_t got = 0;
  while (got < n) {
    int r = ftdi_read_data(ctx_, scratch_.data() + got, static_cast<int>(n - got));
    if (r < 0) {
      lastError_ = ftdi_get_error_string(ctx_);
      return 0;
    }
    got += static_cast<std::size_t>(r);
    if (got >= n || Clock::now() >= deadline) break;
    if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::copy_n(scratch_.data(), got, buffer);
  return got;
}

void FtdiBridge::Close() {
  if (ctx_ != nullptr) {
    ftdi_usb_close(ctx_);
    ftdi_free(ctx_);
    ctx_ = nullptr;
  }
}

}  // namespace eb
