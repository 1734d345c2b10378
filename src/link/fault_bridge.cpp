#include "link/fault_bridge.h"

#include <algorithm>
#include <cstdio>

#include "link/settings_parser.h"
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

std::string FormatRate(double p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", p);
  return buf;
}

}  // namespace

std::optional<FaultSettings> ParseFaultSettings(std::string_view text, std::string* error) {
  FaultSettings s;
  SettingsParser parser("fault");
  parser.Probability("pec", &s.corrupt)
      .Alias("corrupt", "pec")
      .Probability("short", &s.shortRead)
      .Whole("seed", &s.seed, "a seed")
      .Whole("unplug", &s.unplugAfter, "a transaction count");
  if (!parser.Parse(text, error)) return std::nullopt;
  return s;
}

std::string FormatFaultCounters(const FaultCounters& n) {
  return "fault injection: " + std::to_string(n.transactions) + " transactions, " +
         std::to_string(n.refusedOpens) + " refused after unplug, " + std::to_string(n.reads) +
         " reads (" + std::to_string(n.exemptReads) + " identify replies left alone), " +
         std::to_string(n.corrupted) + " corrupted (" + std::to_string(n.corruptedToHex) +
         " into another hex digit), " + std::to_string(n.shortened) + " short (" +
         std::to_string(n.charactersDropped) + " characters dropped)";
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

LinkError FaultBridge::LastFailure() const {
  if (refused_) {
    return LinkError{Trouble::kNoDevice,
                     "unplugged by fault injection after " + std::to_string(settings_.unplugAfter) +
                         (settings_.unplugAfter == 1 ? " transaction" : " transactions"),
                     ""};
  }
  return inner_->LastFailure();
}

bool FaultBridge::Unplugged() const {
  return settings_.unplugAfter >= 0 &&
         counters_.transactions >= static_cast<std::uint64_t>(settings_.unplugAfter);
}

double FaultBridge::Draw() { return UnitInterval(random_()); }

bool FaultBridge::Open(int device) {
  open_ = false;
  refused_ = Unplugged();
  if (refused_) {
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
  if (scratch_.size() < n) scratch_.resize(n);
  return Deliver(buffer, n, inner_->Read(scratch_.data(), n));
}

std::size_t FaultBridge::ReadLine(char* buffer, std::size_t n) {
  if (!open_) return 0;
  if (scratch_.size() < n) scratch_.resize(n);
  return Deliver(buffer, n, inner_->ReadLine(scratch_.data(), n));
}

std::size_t FaultBridge::Deliver(char* buffer, std::size_t n, std::size_t got) {
  ++counters_.reads;
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
