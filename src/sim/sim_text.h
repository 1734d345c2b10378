// Small locale-independent number parsers of the run-time command
// interpreter of the simulated stack (the "sim" lines of operator scripts;
// the settings in connection strings go through link/settings_parser.h).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace eb::simtext {

// Whole text must be a decimal integer.
inline bool ParseInt(std::string_view text, long long* value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, *value);
  return ec == std::errc() && ptr == last;
}

// Whole text must be a finite decimal number ("3.6", "-0.5", "1e-3").
inline bool ParseDouble(std::string_view text, double* value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, *value, std::chars_format::general);
  return ec == std::errc() && ptr == last && std::isfinite(*value);
}

inline bool ParseIntIn(std::string_view text, long long lo, long long hi, int* value) {
  long long v = 0;
  if (!ParseInt(text, &v) || v < lo || v > hi) return false;
  *value = static_cast<int>(v);
  return true;
}

}  // namespace eb::simtext
