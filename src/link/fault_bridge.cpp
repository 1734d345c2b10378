#include "link/fault_bridge.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "link/unit_interval.h"

namespace eb {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Characters a disturbed line might produce that are no hex digits.
constexpr std::string_view kNonHex = "GHJKMNPQRUVWXYZgz?*#~@";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseProbability(std::string_view text, double* value) {
  if (text.empty()) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(*value) &&
         *value >= 0 && *value <= 1;
}

template <typename T>
bool ParseWhole(std::string_view text, T* value) {
  if (text.empty()) return false;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && ptr == text.data() + text.size();
}

std::string FormatRate(double p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", p);
  return buf;
}

}  // namespace

std::optional<FaultSettings> ParseFaultSettings(std::string_view text, std::string* error) {
  FaultSettings s;
  auto fail = [&](const std::string& message) -> std::optional<FaultSettings> {
    if (error) *error = message;
    return std::nullopt;
  };
  std::size_t start = 0;
  while (!text.empty()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view item = text.substr(start, comma - start);
    start = comma + 1;
    std::size_t eq = item.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      return fail("fault setting '" + std::string(item) +
                  "' is not KEY=VALUE (known keys: pec, corrupt, short, seed, unplug)");
    }
    std::string_view key = item.substr(0, eq);
    std::string_view value = item.substr(eq + 1);
    auto bad = [&](const char* what) {
      return fail("fault setting '" + std::string(key) + "': '" + std::string(value) + "' is not " +
                  what);
    };
    if (key == "pec" || key == "corrupt") {
      if (!ParseProbability(value, &s.corrupt)) return bad("a probability 0 .. 1");
    } else if (key == "short") {
      if (!ParseProbability(value, &s.shortRead)) return bad("a probability 0 .. 1");
    } else if (key == "seed") {
      if (!ParseWhole(value, &s.seed)) return bad("a non-negative integer");
    } else if (key == "unplug") {
      if (!ParseWhole(value, &s.unplugAfter) || s.unplugAfter < 0) {
        return bad("a transaction count >= 0");
      }
    } else {
      return fail("unknown fault setting '" + std::string(key) +
                  "' (known: pec, corrupt, short, seed, unplug)");
    }
    if (comma == text.size()) break;
  }
  return s;
}

FaultBridge::FaultBridge(std::unique_ptr<Bridge> inner, const FaultSettings& settings)
    : inner_(std::move(inner)), settings_(settings), random_(settings.seed) {
  description_ = "fault injection (pec " + FormatRate(settings.corrupt) + ", short " +
                 FormatRate(settings.shortRead) + ", seed " + std::to_string(settings.seed);
  if (settings.unplugAfter >= 0) {
    description_ += ", unplug after " + std::to_string(settings.unplugAfter);
  }
  description_ += ") over " + std::string(inner_->Describe());
  scratch_.resize(128);
}

bool FaultBridge::Unplugged() const {
  return settings_.unplugAfter >= 0 &&
         counters_.transactions >= static_cast<std::uint64_t>(settings_.unplugAfter);
}

double FaultBridge::Draw() { return UnitInterval(random_()); }

bool FaultBridge::Open(int device) {
  open_ = false;
  if (Unplugged()) {
    ++counters_.refusedOpens;
    return false;
  }
  ++counters_.transactions;
  exempt_ = false;
  open_ = inner_->Open(device);
  return open_;
}

void FaultBridge::SetTimeouts(int readMs, int writeMs) {
  if (open_) inner_->SetTimeouts(readMs, writeMs);
}

std::size_t FaultBridge::Write(std::string_view command) {
  if (!open_) return 0;
  if (command.find("IZ") != std::string_view::npos) exempt_ = true;
  return inner_->Write(command);
}

char FaultBridge::Replacement(char original) {
  const bool toHex = (random_() & 1) != 0;
  if (toHex) {
    ++counters_.corruptedToHex;
    const int value = HexValue(original);
    // Any of the 16 digits but the original's value.
    int pick = static_cast<int>(random_() % (value >= 0 ? 15 : 16));
    if (value >= 0 && pick >= value) ++pick;
    return kHexDigits[pick];
  }
  char c = original;
  while (c == original) c = kNonHex[random_() % kNonHex.size()];
  return c;
}

std::size_t FaultBridge::Read(char* buffer, std::size_t n) {
  if (!open_) return 0;
  ++counters_.reads;
  if (scratch_.size() < n) scratch_.resize(n);
  std::size_t got = inner_->Read(scratch_.data(), n);
  if (got > n) got = n;
  if (exempt_) {
    ++counters_.exemptReads;
    std::copy_n(scratch_.data(), got, buffer);
    return got;
  }
  std::size_t deliver = got;
  if (settings_.shortRead > 0 && Draw() < settings_.shortRead && got > 0) {
    deliver = static_cast<std::size_t>(random_() % got);
    ++counters_.shortened;
    counters_.charactersDropped += got - deliver;
  }
  if (settings_.corrupt > 0 && Draw() < settings_.corrupt && deliver > 0) {
    const std::size_t pos = static_cast<std::size_t>(random_() % deliver);
    scratch_[pos] = Replacement(scratch_[pos]);
    ++counters_.corrupted;
  }
  std::copy_n(scratch_.data(), deliver, buffer);
  return deliver;
}

void FaultBridge::Close() {
  if (open_) inner_->Close();
  open_ = false;
}

}  // namespace eb
