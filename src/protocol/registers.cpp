#include "protocol/registers.h"

#include <cmath>
#include <limits>

#include "protocol/hex.h"

namespace eb {

CutReply CutRegisterReply(const char* reply, int registerBytes) {
  CutReply cut;
  for (int k = 0; k < registerBytes; ++k) {
    int v = HexPairValue(reply[4 + 2 * k], reply[5 + 2 * k]);
    if (v < 0) {
      cut.bad |= 1u << k;
      v = 0;
    }
    cut.bytes[static_cast<size_t>(k)] = static_cast<std::uint8_t>(v);
  }
  int pec = HexPairValue(reply[4 + 2 * registerBytes], reply[5 + 2 * registerBytes]);
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

std::string PackedReadingText(const char* reply, int n) {
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
