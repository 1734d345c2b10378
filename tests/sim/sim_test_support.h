// Helpers for the simulator and transport tests. The PEC and the register
// unpacking here are written out independently of the simulator's own code.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/bridge.h"
#include "sim/sim_settings.h"

namespace eb::simtest {

// Settings without noise or drift, so every reading is exactly as set.
inline SimSettings Quiet(int boards, std::uint64_t seed) {
  SimSettings s;
  s.boards = boards;
  s.noise = 0;
  s.seed = seed;
  return s;
}

// One transaction: open, time-outs, write, read up to n (if n > 0), close.
// Returns the characters delivered.
inline std::string Transact(Bridge& bridge, std::string_view command, std::size_t n,
                            int readMs = 1000) {
  std::string out;
  if (!bridge.Open(0)) return out;
  bridge.SetTimeouts(readMs, 1000);
  bridge.Write(command);
  if (n > 0) {
    std::vector<char> buf(n, '#');
    std::size_t got = bridge.Read(buf.data(), n);
    out.assign(buf.data(), got);
  }
  bridge.Close();
  return out;
}

// CRC-8, polynomial x^8 + x^2 + x + 1, initial 0, MSB first, bit by bit.
inline std::uint8_t BitwisePec(const std::vector<std::uint8_t>& bytes) {
  unsigned crc = 0;
  for (std::uint8_t b : bytes) {
    for (int bit = 7; bit >= 0; --bit) {
      const unsigned in = (b >> bit) & 1u;
      const unsigned top = (crc >> 7) & 1u;
      crc = (crc << 1) & 0xFF;
      if (top ^ in) crc ^= 0x07;
    }
  }
  return static_cast<std::uint8_t>(crc);
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "0A1B" -> {0x0A, 0x1B}; returns empty for malformed text.
inline std::vector<std::uint8_t> HexBytes(std::string_view text) {
  std::vector<std::uint8_t> out;
  if (text.size() % 2 != 0) return {};
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int h = HexDigit(text[i]);
    int l = HexDigit(text[i + 1]);
    if (h < 0 || l < 0) return {};
    out.push_back(static_cast<std::uint8_t>(h * 16 + l));
  }
  return out;
}

// "MSxT" + address + "T" + command + n "R" for the register bytes + "R" + "X".
inline std::string ReadCommand(int board, int command, int registerBytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "MSxT8";
  s += kHex[board & 0x0F];
  s += 'T';
  s += kHex[(command >> 4) & 0x0F];
  s += kHex[command & 0x0F];
  s.append(static_cast<std::size_t>(registerBytes), 'R');
  s += "RX";
  return s;
}

struct RegisterReply {
  bool ok = false;                  // right length, the two T bytes read FF, hex throughout
  std::vector<std::uint8_t> bytes;  // register bytes
  std::uint8_t pec = 0;             // received PEC
  bool PecMatches() const { return ok && BitwisePec(bytes) == pec; }
};

// Reads `registerBytes` bytes of register group `command` from `board`.
inline RegisterReply ReadRegisters(Bridge& bridge, int board, int command, int registerBytes) {
  RegisterReply r;
  const std::size_t want = 4 + 2 * static_cast<std::size_t>(registerBytes + 1);
  std::string reply = Transact(bridge, ReadCommand(board, command, registerBytes), want);
  if (reply.size() != want || reply.substr(0, 4) != "FFFF") return r;
  auto all = HexBytes(std::string_view(reply).substr(4));
  if (all.size() != static_cast<std::size_t>(registerBytes + 1)) return r;
  r.pec = all.back();
  all.pop_back();
  r.bytes = std::move(all);
  r.ok = true;
  return r;
}

// Twelve cell counts from the 18 cell register bytes.
inline std::array<int, 12> UnpackCells(const std::vector<std::uint8_t>& b) {
  std::array<int, 12> cells{};
  for (std::size_t p = 0; p < 6 && b.size() >= 18; ++p) {
    const int b0 = b[3 * p], b1 = b[3 * p + 1], b2 = b[3 * p + 2];
    cells[2 * p] = (b1 & 0x0F) * 256 + b0;
    cells[2 * p + 1] = b2 * 16 + (b1 >> 4);
  }
  return cells;
}

struct Temps {
  int etmp1 = 0, etmp2 = 0, itmp = 0, thsd = 0, rev = 0;
};

inline Temps UnpackTemps(const std::vector<std::uint8_t>& t) {
  Temps r;
  if (t.size() < 5) return r;
  r.etmp1 = (t[1] & 0x0F) * 256 + t[0];
  r.etmp2 = t[2] * 16 + (t[1] >> 4);
  r.itmp = (t[4] & 0x0F) * 256 + t[3];
  r.thsd = (t[4] >> 4) & 1;
  r.rev = (t[4] >> 5) & 7;
  return r;
}

inline std::string WriteConfigCommand(int board, const std::array<std::uint8_t, 6>& cfg) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "MSx";
  if (board >= 0) {
    s += "T8";
    s += kHex[board & 0x0F];
  }
  s += "T01";
  for (std::uint8_t b : cfg) {
    s += 'S';
    s += kHex[b >> 4];
    s += kHex[b & 0x0F];
  }
  s += 'X';
  return s;
}

// Nearest count of 1.5 mV.
inline int Counts(double volts) { return static_cast<int>(std::lround(volts / 0.0015)); }

}  // namespace eb::simtest
