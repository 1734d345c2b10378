// Text that came from outside the program (a connection string, a script
// line, a reply) shown inside a one-line message: every byte that is not
// printable ASCII becomes \xNN, and a long text is cut to an excerpt, so a
// message stays one short line on any terminal whatever it quotes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace eb {

// At most `limit` characters of the escaped text; "..." marks a cut.
inline std::string Excerpt(std::string_view text, std::size_t limit = 40) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    std::string piece(1, ch);
    if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      piece = buf;
    }
    if (out.size() + piece.size() > limit) return out + "...";
    out += piece;
  }
  return out;
}

}  // namespace eb
