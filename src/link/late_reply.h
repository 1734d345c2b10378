// The line speed the bridge expects, and what both transports do about a
// reply that comes after its read has ended.
//
// The bridge's microcontroller talks to the USB chip's serial side at the
// chip's power-on rate, 9600 baud, which a host that never sets a rate (as
// the bridge's own software does not) leaves in place. Both transports set
// it on every open unless `baud=` says otherwise.
//
// A slow bridge may answer after the read's time-out. Its characters must
// not become the start of the next reply: a read that ends short owes the
// characters it did not get, and the next transaction, before it writes,
// reads and discards up to that many for at most kLateReplyMs (sooner when
// they have come), then discards anything else that is waiting.
#pragma once

#include <cstddef>

namespace eb {

inline constexpr int kBridgeBaud = 9600;
inline constexpr int kLateReplyMs = 200;

// The characters a short read still owes, and whether the next write must
// first wait for them.
class LateReply {
 public:
  // A read asked for `wanted` and got `got` (a line read that ended with
  // its line end owes nothing).
  void Ended(std::size_t wanted, std::size_t got, bool complete) {
    owed_ = complete || got >= wanted ? 0 : wanted - got;
  }
  // What the next write must first discard; forgets it.
  std::size_t Take() {
    const std::size_t owed = owed_;
    owed_ = 0;
    return owed;
  }

 private:
  std::size_t owed_ = 0;
};

}  // namespace eb
