// Settings of the simulated stack: the text after "sim:" in a connection
// string, comma-separated key=value pairs.
//
//   boards=N          chips at addresses 0x80 .. 0x80+N-1 (1 .. 16; default 10)
//   seed=N            seed of every random choice (default 1)
//   noise=VOLTS       Gaussian noise (standard deviation) added per conversion,
//                     also the scale of the slow drift; 0 = exact readings
//                     (default 0.0015)
//   volts=V           base cell voltage of the default pack; each cell gets a
//                     seeded spread of +-0.1 V around it (default 3.65)
//   missing=B[+B...]  boards whose chip is absent (nobody drives the bus)
//   zeros=B[+B...]    boards whose chip answers every read byte with 0x00
//   thsd=B[+B...]     boards reporting thermal shutdown
//   open=B.C[+B.C...] open cell wire on board B, cell C (1 .. 12)
//   pec-errors=RATE   probability that a register read carries a wrong PEC
//   rev=N             revision code in TMPR4 bits 7..5 (0 .. 7; default 1)
//
// Boards are numbered from 0 (board b answers at address 0x80 + b); there
// are sixteen slots, 0 .. 15.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace eb {

inline constexpr int kSimSlots = 16;
inline constexpr int kSimCells = 12;

struct SimSettings {
  int boards = 10;
  std::uint64_t seed = 1;
  double noise = 0.0015;
  double volts = 3.65;
  std::uint16_t missing = 0;                         // bit b: board b absent
  std::uint16_t zeros = 0;                           // bit b: board b answers zeros
  std::uint16_t thsd = 0;                            // bit b: board b in thermal shutdown
  std::array<std::uint16_t, kSimSlots> openWires{};  // per board, bit c-1: cell c
  double pecErrors = 0.0;
  int rev = 1;
};

// Parses the settings text ("" gives the defaults) with the rules of every
// connection string (link/settings_parser.h): unknown or repeated keys,
// malformed values and values out of range give nullopt with *error naming
// the key and what it accepts.
std::optional<SimSettings> ParseSimSettings(std::string_view text, std::string* error);

// "simulated stack of 4 boards"
std::string DescribeSimSettings(const SimSettings& settings);

}  // namespace eb
