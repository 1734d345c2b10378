// Minimal JSON text helpers: the operator script's answers, the published payloads.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace eb {

inline std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// A float or double in its shortest text that reads back the same, with a
// point whatever the locale; null where JSON has no number (NaN, infinity).
template <typename Real>
std::string JsonNumber(Real v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace eb
