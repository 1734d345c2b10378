// Seeded fault injection over any other transport:
//   pec=P (alias corrupt=P)  with probability P a reply has exactly one
//                            character replaced (by another hex digit or by a
//                            character that is no hex digit at all)
//   short=P                  with probability P a read delivers fewer
//                            characters than the inner transport gave
//   unplug=N                 after N transactions the bridge stops answering
//                            (Open fails, nothing is delivered)
//   seed=N                   seed of every random choice (default 1)
// Corruption and short replies model disturbed SPI lines, so they hit the
// replies of SPI transactions only; the identify reply is the bridge's own
// text and passes untouched (a bridge that goes away is what unplug is for).
// Every fault is counted, so tests and bench users can see what happened.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "link/bridge.h"

namespace eb {

struct FaultSettings {
  double corrupt = 0.0;    // probability per read of one corrupted character
  double shortRead = 0.0;  // probability per read of a short delivery
  std::uint64_t seed = 1;
  long long unplugAfter = -1;  // transactions before the bridge goes away; -1 never
};

// Parses "pec=0.01,short=0.005,seed=7,unplug=N" ("" gives no faults).
std::optional<FaultSettings> ParseFaultSettings(std::string_view text, std::string* error);

struct FaultCounters {
  std::uint64_t transactions = 0;    // Open calls let through
  std::uint64_t refusedOpens = 0;    // Open calls refused after unplug
  std::uint64_t reads = 0;           // reads passed to the inner transport
  std::uint64_t exemptReads = 0;     // ... of them identify replies, never disturbed
  std::uint64_t corrupted = 0;       // replies with one character replaced
  std::uint64_t corruptedToHex = 0;  // ... of them, replaced by another hex digit
  std::uint64_t shortened = 0;       // reads delivered short
  std::uint64_t charactersDropped = 0;
};

// The counters in one line: "fault injection: 120 transactions, ...".
std::string FormatFaultCounters(const FaultCounters& counters);

// Owns the transport it wraps, as every wrapper does (see TraceBridge).
class FaultBridge : public Bridge {
 public:
  FaultBridge(std::unique_ptr<Bridge> inner, const FaultSettings& settings);

  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  // Passed on as a line read; the faults are those of Read.
  std::size_t ReadLine(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }
  // The unplug when this wrapper refused the last Open, otherwise the
  // wrapped transport's own reason.
  LinkError LastFailure() const override;

  const FaultCounters& Counters() const { return counters_; }
  const FaultSettings& Settings() const { return settings_; }
  Bridge& Inner() { return *inner_; }
  bool Unplugged() const;

 private:
  double Draw();
  char Replacement(char original);
  // The faults of one read whose inner read delivered `got` characters
  // into scratch_; copies what is delivered to `buffer`.
  std::size_t Deliver(char* buffer, std::size_t n, std::size_t got);

  std::unique_ptr<Bridge> inner_;
  FaultSettings settings_;
  std::mt19937_64 random_;
  std::string description_;
  std::vector<char> scratch_;
  bool open_ = false;
  bool refused_ = false;  // the last Open was refused after unplug
  bool exempt_ = false;   // this transaction is an identify
  FaultCounters counters_;
};

}  // namespace eb
