#include "protocol/hex.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace eb {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int HexPairValue(char hi, char lo) {
  int h = HexDigitValue(hi);
  int l = HexDigitValue(lo);
  if (h < 0 || l < 0) return -1;
  return h * 16 + l;
}

std::optional<int> HexTextValue(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0;
  if (text.size() > 4) return std::nullopt;
  int v = 0;
  for (char c : text) {
    int d = HexDigitValue(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + d;
  }
  return v;
}

char HexDigit(int value) { return "0123456789ABCDEF"[value & 0xF]; }

std::string ByteHex(int value) {
  std::string s(2, '0');
  s[0] = HexDigit(value >> 4);
  s[1] = HexDigit(value);
  return s;
}

std::string PecHex(int value) { return value < 0 ? std::string("??") : ByteHex(value); }

// Numbers are formatted and parsed without the C library's locale: the
// front end switches it to the desktop's, which may write "3,600".
std::string Fixed3(double value) {
  if (std::isnan(value)) return "-.---";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
  return std::string(buf, r.ptr);
}

std::string VoltText(double volts) { return " " + Fixed3(volts); }

float LeadingNumber(const std::string& text) {
  const char* p = text.c_str();
  const char* const end = p + text.size();
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p < end && *p == '+') ++p;
  float v = 0.0f;
  auto r = std::from_chars(p, end, v);
  if (r.ec != std::errc() || std::isnan(v)) return 0.0f;
  return v;
}

}  // namespace eb
