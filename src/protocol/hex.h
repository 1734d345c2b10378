// Hexadecimal text as the bridge sends it and as the window shows it.
//
// Reply text comes from outside the program: a character that is not a
// hexadecimal digit (noise, a NUL, a stale buffer) is never read as a number.
// Such a pair is "unreadable" (-1) and the read that carries it can never
// pass its PEC check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace eb {

// Value of one hex digit (either case), or -1.
int HexDigitValue(char c);

// Value of the two characters hi, lo as one byte, or -1 if either is not a
// hex digit.
int HexPairValue(char hi, char lo);

// Value of a hex text of 1 … 4 digits (either case, surrounding blanks
// ignored). An empty text is 0, as the window counts an unread byte; any
// other text that is not all hex digits gives nullopt.
std::optional<int> HexTextValue(std::string_view text);

// A byte as two upper-case hex digits ("0A", "E0").
std::string ByteHex(int value);

// One upper-case hex digit of the low nibble.
char HexDigit(int value);

// A PEC for the window: two upper-case digits, or "??" when unreadable (-1).
std::string PecHex(int value);

// " 0.000" style: a leading blank, at least one integer digit, three
// decimals rounded to the nearest thousandth. A reading that could not be
// decoded (NaN) shows as " -.---" rather than as a believable number.
std::string VoltText(double volts);

// "0.000" style (no leading blank); NaN shows as "-.---".
std::string Fixed3(double value);

// The number at the start of a text typed by the operator, in single
// precision ("3.6V " gives 3.6); 0 when the text does not start with one.
float LeadingNumber(const std::string& text);

}  // namespace eb
