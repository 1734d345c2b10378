// The settings part of a connection string, comma-separated KEY=VALUE items
// ("vid=0403,pid=6001", "boards=4,seed=1"). Every transport declares its
// keys here and gets the same rules:
//   - "" leaves every setting at its default; an empty item ("a=1,,b=2" or
//     a trailing comma) is an error;
//   - each key at most once (a key and its alias count as one);
//   - an unknown key is an error that lists the known keys;
//   - numbers carry no sign and no spaces (every numeric setting is zero or
//     more); whole numbers are decimal unless the key takes a hexadecimal
//     id (with or without "0x"); every number is checked against its range;
//   - a word (a serial number) is printable ASCII without spaces.
// Every error names the key and what the key accepts.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace eb {

// The number rules, for values made of several numbers (e.g. "1+3").
// Decimal digits only, lo .. hi.
bool ParseWholeNumber(std::string_view text, std::uint64_t lo, std::uint64_t hi,
                      std::uint64_t* value);
// Hexadecimal digits with an optional "0x", lo .. hi.
bool ParseHexNumber(std::string_view text, std::uint64_t lo, std::uint64_t hi,
                    std::uint64_t* value);
// A finite decimal number ("0.01", "1e-3", ".5"), lo .. hi.
bool ParseRealNumber(std::string_view text, double lo, double hi, double* value);
// 1 .. maxLength printable ASCII characters, no spaces.
bool IsWord(std::string_view text, std::size_t maxLength);

class SettingsParser {
 public:
  // `what` names the settings in messages: "ftdi" gives "ftdi setting 'vid': ...".
  explicit SettingsParser(std::string what) : what_(std::move(what)) {}

  // A decimal whole number lo .. hi (hi defaults to the largest T).
  template <typename T>
  SettingsParser& Whole(
      std::string key, T* target, std::string noun, std::uint64_t lo = 0,
      std::uint64_t hi = static_cast<std::uint64_t>(std::numeric_limits<T>::max())) {
    std::string accepts = noun + (hi == static_cast<std::uint64_t>(std::numeric_limits<T>::max())
                                      ? " (a whole number " + std::to_string(lo) + " or more)"
                                      : " " + std::to_string(lo) + " .. " + std::to_string(hi));
    return Custom(std::move(key), std::move(accepts), [=](std::string_view value) {
      std::uint64_t v = 0;
      if (!ParseWholeNumber(value, lo, hi, &v)) return false;
      *target = static_cast<T>(v);
      return true;
    });
  }
  // A hexadecimal id 0 .. hi, shown in messages with `example`.
  SettingsParser& Hex(std::string key, int* target, std::string noun, int hi, std::string example);
  // A decimal number lo .. hi, `unit` appended in messages (" V").
  SettingsParser& Real(std::string key, double* target, std::string noun, double lo, double hi,
                       std::string unit = "");
  // A probability 0 .. 1.
  SettingsParser& Probability(std::string key, double* target);
  // A word of 1 .. maxLength printable ASCII characters without spaces
  // (e.g. a serial number), taken as written.
  SettingsParser& Word(std::string key, std::string* target, std::string noun,
                       std::size_t maxLength);
  // Any other kind of value: `apply` stores it and returns true, or returns
  // false when the value is not what `accepts` describes.
  SettingsParser& Custom(std::string key, std::string accepts,
                         std::function<bool(std::string_view value)> apply);
  // `alias` is another name of the key `key` (declared before).
  SettingsParser& Alias(std::string alias, std::string key);

  // Applies the settings in `text` to the targets, left to right. Returns
  // false with *error set at the first item that breaks a rule (targets
  // before it may have been written).
  bool Parse(std::string_view text, std::string* error) const;

  // "vid, pid, index, baud": the keys in the order declared.
  std::string Keys() const;

 private:
  struct Field {
    std::string key;
    std::string accepts;
    std::function<bool(std::string_view)> apply;
  };
  struct AliasName {
    std::string alias;
    std::string key;
  };
  const Field* Find(std::string_view key) const;

  std::string what_;
  std::vector<Field> fields_;
  std::vector<AliasName> aliases_;
};

}  // namespace eb
