// Register map of the monitor chip: reply layout, cutting a reply into
// register bytes, and decoding cells, flags and temperatures. Pure functions,
// no window state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace eb {

// Register groups and their reply lengths (4 + 2 × (bytes + PEC)).
constexpr int kCfgBytes = 6;
constexpr int kCvBytes = 18;
constexpr int kFlgBytes = 3;
constexpr int kTmpBytes = 5;
constexpr int ReplyLength(int registerBytes) { return 4 + 2 * (registerBytes + 1); }
// Every character of the buffer belongs to the reply.
constexpr std::size_t kAll = static_cast<std::size_t>(-1);

// Volts per count of a cell or temperature reading, and per threshold count.
constexpr double kVoltsPerCount = 0.0015;
constexpr double kVoltsPerThresholdCount = 0.024;
// The threshold step in single precision, for volts-to-counts arithmetic done
// in float (the window's threshold entry).
constexpr float kVoltsPerThresholdCountF = static_cast<float>(kVoltsPerThresholdCount);

// A reply cut into register bytes. Byte k comes from the two characters at
// 0-based offsets 4 + 2k and 5 + 2k; the PEC follows the last byte. A pair
// that is not two hex digits is unreadable: its byte is stored as 0 and its
// bit is set in `bad`; the received PEC is then -1, so the reply can never
// pass its PEC check. Only the first `delivered` characters of the buffer
// came from the reply being cut; a pair with a character beyond them is
// left over from an earlier reply and is unreadable in the same way, so a
// short reply can never pass as a whole stale one.
struct CutReply {
  std::array<std::uint8_t, kCvBytes> bytes{};
  std::uint32_t bad = 0;
  int pec = 0;  // 0 … 255, or -1 when unreadable
};
CutReply CutRegisterReply(const char* reply, int registerBytes, std::size_t delivered = kAll);

// 12-bit reading number `n` (0-based) packed two per three bytes starting at
// byte 3·(n/2): even n = (B1 & 0x0F)·256 + B0, odd n = B2·16 + (B1 >> 4).
// Returns -1 when a byte it needs was unreadable.
int PackedReading(const std::uint8_t* bytes, std::uint32_t bad, int n);

// The three reply characters of packed reading `n` in the order they form the
// hex text: even n → offsets 7+6p, 4+6p, 5+6p; odd n → 8+6p, 9+6p, 6+6p
// (p = n/2). Characters that are not printable, or that lie beyond the
// `delivered` characters of the reply, are shown as '?'.
std::string PackedReadingText(const char* reply, int n, std::size_t delivered = kAll);

// Reading in volts as the window stores it (single precision); NaN for an
// unreadable reading.
float CountToVolts(int count);

// Under- and over-voltage flag of cell `cell` (1 … 12) in the flag bytes.
bool UnderVoltageFlag(const std::uint8_t* flagBytes, int cell);
bool OverVoltageFlag(const std::uint8_t* flagBytes, int cell);

// TMPR4: bit 4 thermal shutdown, bits 7 … 5 revision code.
inline int ThermalShutdownBit(std::uint8_t tmpr4) { return (tmpr4 >> 4) & 1; }
inline int RevisionCode(std::uint8_t tmpr4) { return (tmpr4 >> 5) & 7; }

}  // namespace eb
