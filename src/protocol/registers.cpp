#include "protocol/registers.h"

#include <cmath>
#include <limits>

#include "protocol/hex.h"

namespace eb {

namespace {

// Value of the pair at 0-based offset `at`, or -1 when it is not two hex
// digits or was not (wholly) delivered.
int DeliveredPair(const char* reply, std::size_t at, std::size_t delivered) {
  if (at + 2 > delivered) return -1;
  return HexPairValue(reply[at], reply[at + 1]);
}

}  // namespace

CutReply CutRegisterReply(const char* reply, int registerBytes, std::size_t delivered) {
  CutReply cut;
  for (int k = 0; k < registerBytes; ++k) {
    int v = DeliveredPair(reply, static_cast<std::size_t>(4 + 2 * k), delivered);
    if (v < 0) {
      cut.bad |= 1u << k;
      v = 0;
    }
    cut.bytes[static_cast<size_t>(k)] = static_cast<std::uint8_t>(v);
  }
  int pec = DeliveredPair(reply, static_cast<std::size_t>(4 + 2 * registerBytes), delivered);
  cut.pec = cut.bad != 0 ? -1 : pec;
  return cut;
}

int PackedReading(const std::uint8_t* bytes, std::uint32_t bad, int n) {
  int base = 3 * (n / 2);
  int b0 = bytes[base], b1 = bytes[base + 1], b2 = bytes[base + 2];
  if (n % 2 == 0) {
    if ((bad >> base) & 3u) return -1;
    return (b1 & 0x0F) * 256 + b0;
  }
  if ((bad >> (base + 1)) & 3u) return -1;
  return b2 * 16 + (b1 >> 4);
}

std::string PackedReadingText(const char* reply, int n, std::size_t delivered) {
  int p = n / 2;
  int offsets[3];
  if (n % 2 == 0) {
    offsets[0] = 7 + 6 * p;
    offsets[1] = 4 + 6 * p;
    offsets[2] = 5 + 6 * p;
  } else {
    offsets[0] = 8 + 6 * p;
    offsets[1] = 9 + 6 * p;
    offsets[2] = 6 + 6 * p;
  }
  std::string s(3, '?');
  for (int i = 0; i < 3; ++i) {
    if (static_cast<std::size_t>(offsets[i]) >= delivered) continue;
    char c = reply[offsets[i]];
    if (c >= 0x20 && c < 0x7F) s[static_cast<size_t>(i)] = c;
  }
  return s;
}

float CountToVolts(int count) {
  if (count < 0) return std::numeric_limits<float>::quiet_NaN();
  return static_cast<float>(count * kVoltsPerCount);
}

bool UnderVoltageFlag(const std::uint8_t* flagBytes, int cell) {
  int j = (cell - 1) / 4, k = (cell - 1) % 4;
  return (flagBytes[j] >> (2 * k)) & 1;
}

bool OverVoltageFlag(const std::uint8_t* flagBytes, int cell) {
  int j = (cell - 1) / 4, k = (cell - 1) % 4;
  return (flagBytes[j] >> (2 * k + 1)) & 1;
}

}  // namespace eb
