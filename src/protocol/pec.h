// Packet error code of the monitor chip's register reads: CRC-8 with the
// generator x^8 + x^2 + x + 1 (0x07), most significant bit first, initial
// value 0, no reflection and no final inversion, over the register bytes only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace eb {

using PecTable = std::array<std::uint8_t, 256>;

// Entry i is the CRC-8 of the single byte i.
PecTable MakePecTable();

// CRC-8 of `bytes` through the table: pec = table[b0], then
// pec = table[pec ^ bk] for every further byte. Zero bytes give 0.
std::uint8_t PecOf(const PecTable& table, std::span<const std::uint8_t> bytes);

}  // namespace eb
