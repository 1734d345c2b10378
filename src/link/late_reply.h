// The line speed the bridge expects, and what both transports do about a
// reply that comes after its read has ended.
//
// The bridge's microcontroller talks to the USB chip's serial side at the
// chip's power-on rate, 9600 baud, which a host that never sets a rate (as
// the bridge's own software does not) leaves in place. Both transports set
// it on every open unless `baud=` says otherwise.
//
// A slow bridge may answer after the read's time-out, and the bridge
// answers the "T" bytes of commands that read nothing. Such characters must
// not become the start of the next reply: a transaction owes the reply
// characters its command asks for ("T" and "R" items, two each) that it did
// not read, or, for a read that ended short without its line end, what it
// did not get. The next transaction, before it writes, reads and discards
// up to that many for at most kLateReplyMs (sooner when they have come),
// then discards anything else that is waiting.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace eb {

inline constexpr int kBridgeBaud = 9600;
inline constexpr int kLateReplyMs = 100;

// The length of the command item that starts with `c`: "IZ", "MS", "MI"
// two characters, "Shh" and "Thh" three, anything else one.
inline std::size_t ItemWidth(char c) {
  return c == 'I' || c == 'M' ? 2 : c == 'S' || c == 'T' ? 3 : 1;
}

// How many characters of `text` are whole command items.
inline std::size_t WholeItems(std::string_view text) {
  std::size_t whole = 0;
  for (std::size_t need = 1; whole < text.size(); whole += need) {
    need = ItemWidth(text[whole]);
    if (whole + need > text.size()) break;
  }
  return whole;
}

class LateReply {
 public:
  // The command's items; "T" and "R" are answered with two characters each.
  void Wrote(std::string_view command) {
    for (std::size_t i = 0; i < command.size();) {
      const char c = command[i];
      expected_ += c == 'T' || c == 'R' ? 2 : 0;
      i += ItemWidth(c);
    }
  }
  // A read asked for `wanted` and got `got`; `complete` when it ended with
  // its line end or the transaction failed (nothing more will be read).
  void Read(std::size_t wanted, std::size_t got, bool complete) {
    read_ += got;
    if (complete) done_ = true;
    if (got < wanted && !complete) shortBy_ = std::max(shortBy_, wanted - got);
  }
  // What the next write must first discard; forgets it.
  std::size_t Take() {
    const std::size_t owed =
        done_ ? 0 : std::max(shortBy_, expected_ > read_ ? expected_ - read_ : 0);
    expected_ = read_ = shortBy_ = 0;
    done_ = false;
    return owed;
  }

 private:
  std::size_t expected_ = 0, read_ = 0, shortBy_ = 0;
  bool done_ = false;
};

}  // namespace eb
