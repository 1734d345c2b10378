#include "link/settings_parser.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "link/printable.h"

namespace eb {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string Hex4(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04x", static_cast<unsigned>(v));
  return buf;
}

}  // namespace

bool ParseWholeNumber(std::string_view text, std::uint64_t lo, std::uint64_t hi,
                      std::uint64_t* value) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  std::uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool ParseHexNumber(std::string_view text, std::uint64_t lo, std::uint64_t hi,
                    std::uint64_t* value) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
  if (ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool ParseRealNumber(std::string_view text, double lo, double hi, double* value) {
  // A digit or a point first: no sign, no "inf" or "nan".
  if (text.empty() || !(IsDigit(text[0]) || text[0] == '.')) return false;
  double v = 0;
  auto [ptr, ec] =
      std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v) || v < lo ||
      v > hi) {
    return false;
  }
  *value = v;
  return true;
}

bool IsWord(std::string_view text, std::size_t maxLength) {
  if (text.empty() || text.size() > maxLength) return false;
  for (char c : text) {
    if (c <= ' ' || c >= 0x7F) return false;
  }
  return true;
}

SettingsParser& SettingsParser::Hex(std::string key, int* target, std::string noun, int hi,
                                    std::string example) {
  std::string accepts = noun + " 0000 .. " + Hex4(hi) + " (hexadecimal, e.g. " + example + ")";
  return Custom(std::move(key), std::move(accepts), [=](std::string_view value) {
    std::uint64_t v = 0;
    if (!ParseHexNumber(value, 0, static_cast<std::uint64_t>(hi), &v)) return false;
    *target = static_cast<int>(v);
    return true;
  });
}

SettingsParser& SettingsParser::Real(std::string key, double* target, std::string noun, double lo,
                                     double hi, std::string unit) {
  std::string accepts = noun + " " + Number(lo) + " .. " + Number(hi) + unit;
  return Custom(std::move(key), std::move(accepts),
                [=](std::string_view value) { return ParseRealNumber(value, lo, hi, target); });
}

SettingsParser& SettingsParser::Probability(std::string key, double* target) {
  return Custom(std::move(key), "a probability 0 .. 1",
                [=](std::string_view value) { return ParseRealNumber(value, 0.0, 1.0, target); });
}

SettingsParser& SettingsParser::Word(std::string key, std::string* target, std::string noun,
                                     std::size_t maxLength) {
  std::string accepts =
      noun + " (1 .. " + std::to_string(maxLength) + " printable characters without spaces)";
  return Custom(std::move(key), std::move(accepts), [=](std::string_view value) {
    if (!IsWord(value, maxLength)) return false;
    *target = std::string(value);
    return true;
  });
}

SettingsParser& SettingsParser::Custom(std::string key, std::string accepts,
                                       std::function<bool(std::string_view)> apply) {
  fields_.push_back(Field{std::move(key), std::move(accepts), std::move(apply)});
  return *this;
}

SettingsParser& SettingsParser::Alias(std::string alias, std::string key) {
  aliases_.push_back(AliasName{std::move(alias), std::move(key)});
  return *this;
}

const SettingsParser::Field* SettingsParser::Find(std::string_view key) const {
  for (const AliasName& a : aliases_) {
    if (a.alias == key) key = a.key;
  }
  for (const Field& f : fields_) {
    if (f.key == key) return &f;
  }
  return nullptr;
}

std::string SettingsParser::Keys() const {
  std::string keys;
  for (const Field& f : fields_) {
    if (!keys.empty()) keys += ", ";
    keys += f.key;
    for (const AliasName& a : aliases_) {
      if (a.key == f.key) keys += " (or " + a.alias + ")";
    }
  }
  return keys;
}

bool SettingsParser::Parse(std::string_view text, std::string* error) const {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (text.empty()) return true;
  std::vector<const Field*> seen;
  std::vector<std::string_view> seenAs;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    if (item.empty()) {
      return fail("empty " + what_ + " setting in '" + Excerpt(text) +
                  "' (settings are KEY=VALUE separated by single commas; keys: " + Keys() + ")");
    }
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    const Field* field = Find(key);
    if (field == nullptr) {
      return fail("unknown " + what_ + " setting '" + Excerpt(key) + "' (known: " + Keys() + ")");
    }
    const std::string named = what_ + " setting '" + std::string(key) + "'";
    if (eq == std::string_view::npos) {
      return fail(named + " needs a value: " + field->accepts);
    }
    for (std::size_t k = 0; k < seen.size(); ++k) {
      if (seen[k] != field) continue;
      const std::string also =
          seenAs[k] == key ? std::string() : " (also as '" + std::string(seenAs[k]) + "')";
      return fail(named + " is given twice" + also + "; give it once: " + field->accepts);
    }
    seen.push_back(field);
    seenAs.push_back(key);
    const std::string_view value = item.substr(eq + 1);
    if (!field->apply(value)) {
      return fail(named + ": '" + Excerpt(value) + "' is not " + field->accepts);
    }
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

}  // namespace eb
