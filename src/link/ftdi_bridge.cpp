#include "link/ftdi_bridge.h"

#include <ftdi.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <thread>

namespace eb {
namespace {

bool ParseHexId(std::string_view text, int* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 4) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseDecimal(std::string_view text, int lo, int hi, int* value) {
  if (text.empty()) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && ptr == text.data() + text.size() && *value >= lo && *value <= hi;
}

std::string Hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
  return buf;
}

}  // namespace

std::optional<FtdiSettings> ParseFtdiSettings(std::string_view text, std::string* error) {
  FtdiSettings s;
  auto fail = [&](const std::string& message) -> std::optional<FtdiSettings> {
    if (error) *error = message;
    return std::nullopt;
  };
  while (!text.empty()) {
    std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    std::size_t eq = item.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      return fail("ftdi setting '" + std::string(item) +
                  "' is not KEY=VALUE (known keys: vid, pid, index, baud)");
    }
    std::string_view key = item.substr(0, eq);
    std::string_view value = item.substr(eq + 1);
    auto bad = [&](const char* what) {
      return fail("ftdi setting '" + std::string(key) + "': '" + std::string(value) + "' is not " +
                  what);
    };
    if (key == "vid") {
      if (!ParseHexId(value, &s.vid)) return bad("a hexadecimal vendor id (e.g. 0403)");
    } else if (key == "pid") {
      if (!ParseHexId(value, &s.pid)) return bad("a hexadecimal product id (e.g. 6001)");
    } else if (key == "index") {
      if (!ParseDecimal(value, 0, 255, &s.index)) return bad("a device index 0 .. 255");
    } else if (key == "baud") {
      if (!ParseDecimal(value, 1, 12000000, &s.baud)) return bad("a baud rate");
    } else {
      return fail("unknown ftdi setting '" + std::string(key) + "' (known: vid, pid, index, baud)");
    }
  }
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
