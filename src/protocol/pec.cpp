#include "protocol/pec.h"

namespace eb {

PecTable MakePecTable() {
  PecTable table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80u) != 0 ? ((crc << 1) ^ 0x07u) : (crc << 1);
    }
    table[i] = static_cast<std::uint8_t>(crc & 0xFFu);
  }
  return table;
}

std::uint8_t PecOf(const PecTable& table, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return 0;
  std::uint8_t pec = table[bytes[0]];
  for (std::size_t k = 1; k < bytes.size(); ++k) pec = table[pec ^ bytes[k]];
  return pec;
}

}  // namespace eb
