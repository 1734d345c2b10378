// Model of one 12-cell monitor chip on the simulated SPI bus, together with
// the battery cells and temperature inputs wired to it.
//
// Registers: the configuration group (CFGR0..5, returned as written), the
// twelve 12-bit cell results, the flag group and the temperature group. All
// results are 0 at power-up and change only when a conversion command is
// received; a read without a conversion returns the last results.
//
// Analogue side: each cell has a rest voltage that discharge (DCC bits)
// lowers over simulated time, plus a slow mean-reverting drift when the
// noise level is above 0; each conversion adds Gaussian noise. A pinned cell
// or temperature input reads exactly its pinned value.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "link/unit_interval.h"
#include "sim/sim_settings.h"

namespace eb {

// The one source of randomness of a simulated stack: a 64-bit Mersenne
// twister; normal deviates come from a ziggurat sampler whose tables are
// built per object.
class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed);
  // Standard normal deviate.
  double Gaussian();
  // Uniform in [lo, hi).
  double Uniform(double lo, double hi) { return lo + (hi - lo) * UnitInterval(gen_()); }
  bool Chance(double p) { return p > 0 && Uniform(0.0, 1.0) < p; }
  std::uint64_t Next() { return gen_(); }

 private:
  double GaussianTail(std::int32_t hz, std::uint32_t iz);
  // 32 random bits: both halves of each 64-bit output are used.
  std::int32_t Next32() {
    if (haveHalf_) {
      haveHalf_ = false;
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(half_));
    }
    half_ = gen_();
    haveHalf_ = true;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(half_ >> 32));
  }
  // Uniform in (0, 1], never 0.
  double OpenUniform() { return OpenUnitInterval(gen_()); }
  std::mt19937_64 gen_;
  std::uint64_t half_ = 0;
  bool haveHalf_ = false;
  std::array<std::uint32_t, 128> kn_{};
  std::array<double, 128> wn_{};
  std::array<double, 128> fn_{};
};

namespace simchip {
inline constexpr double kVoltsPerCount = 0.0015;
// Rate at which a cell with its discharge bit set loses voltage.
inline constexpr double kDischargeVoltsPerSecond = 0.002;
// Time constant of the drift's pull back towards the rest voltage.
inline constexpr double kDriftTau = 30.0;
// Drift step size relative to the noise level, per square-root second.
inline constexpr double kDriftScale = 0.5;

// Command bytes.
inline constexpr std::uint8_t kWRCFG = 0x01;
inline constexpr std::uint8_t kRDCFG = 0x02;
inline constexpr std::uint8_t kRDCV = 0x04;
inline constexpr std::uint8_t kRDFLG = 0x06;
inline constexpr std::uint8_t kRDTMP = 0x08;
inline constexpr std::uint8_t kSTCVAD = 0x10;
inline constexpr std::uint8_t kSTOWAD = 0x20;
inline constexpr std::uint8_t kSTTMPAD = 0x30;
inline constexpr std::uint8_t kPLADC = 0x40;
inline constexpr std::uint8_t kPLINT = 0x50;
inline constexpr std::uint8_t kSTCVDC = 0x60;
inline constexpr std::uint8_t kSTOWDC = 0x70;

// Nearest 1.5 mV count, clamped to 0 .. 4095.
std::uint16_t Quantize(double volts);
// CRC-8, polynomial 0x07, initial value 0, over `n` bytes.
std::uint8_t Pec(const std::uint8_t* bytes, int n);
}  // namespace simchip

// Longest answer of a register read: 18 bytes + PEC.
inline constexpr int kSimMaxReadout = 19;

class SimChip {
 public:
  // Sets up the analogue side of board slot `slot` from the settings (the
  // default pack), and powers the registers up.
  void Init(int slot, const SimSettings& settings, SimRandom& random);

  // Power-up state of the registers: configuration, results and flags 0.
  void PowerUp();

  // --- bus side -------------------------------------------------------------
  void WriteConfig(const std::uint8_t* six);
  // Fills `out` with what the chip shifts out after a read command: the
  // register group and its PEC. Returns the byte count, 0 for a command that
  // reads nothing.
  int Readout(std::uint8_t command, std::uint8_t* out) const;
  // Carries out a conversion command (0x10..0x3F, 0x60..0x7F). Returns true
  // when the command converted something.
  bool Convert(std::uint8_t command, SimRandom& random, double noise);
  // Brings the analogue side up to simulated time `now` (discharge, drift).
  void Evolve(double now, SimRandom& random, double noise);

  // --- inspection -----------------------------------------------------------
  int Slot() const { return slot_; }
  const std::array<std::uint8_t, 6>& Config() const { return cfg_; }
  // Cell results 1..12 at index 0..11, counts of 1.5 mV.
  const std::array<std::uint16_t, kSimCells>& CellCounts() const { return cells_; }
  // ETMP1, ETMP2, ITMP counts.
  const std::array<std::uint16_t, 3>& TempCounts() const { return temps_; }
  const std::array<std::uint8_t, 3>& Flags() const { return flags_; }
  // Register images as the chip would shift them out (without PEC).
  std::array<std::uint8_t, 18> CellRegisters() const;
  std::array<std::uint8_t, 5> TempRegisters() const;
  // True voltage of cell 1..12 / temperature input 1..3 right now (without
  // conversion noise, with drift).
  double CellVolts(int cell) const;
  double TempVolts(int input) const;
  bool CellPinned(int cell) const { return cellIn_[static_cast<std::size_t>(cell - 1)].pinned; }
  bool TempPinned(int input) const { return tempIn_[static_cast<std::size_t>(input - 1)].pinned; }
  double IrDrop(int cell) const { return irDrop_[static_cast<std::size_t>(cell - 1)]; }
  bool Discharging(int cell) const;
  bool TenCellMode() const { return (cfg_[0] & 0x08) != 0; }
  bool Masked(int cell) const;
  // Number of conversion commands carried out.
  std::uint64_t Conversions() const { return conversions_; }
  // Any under- or over-voltage flag set on an unmasked cell.
  bool InterruptPending() const { return (flags_[0] | flags_[1] | flags_[2]) != 0; }

  // --- analogue side and faults ----------------------------------------------
  void PinCell(int cell, double volts);
  void PinTemp(int input, double volts);
  bool present = true;
  bool zeros = false;
  bool thsd = false;
  std::uint16_t openWires = 0;  // bit c-1: cell c
  int rev = 1;

 private:
  struct Input {
    double rest = 0;   // volts
    double drift = 0;  // volts
    bool pinned = false;
  };
  double Sample(const Input& in, SimRandom& random, double noise) const;
  void ConvertCells(int which, bool openWire, bool discharge, SimRandom& random, double noise);
  void ConvertTemps(int which, SimRandom& random, double noise);
  void UpdateFlag(int index);

  int slot_ = 0;
  std::array<std::uint8_t, 6> cfg_{};
  std::array<std::uint16_t, kSimCells> cells_{};
  std::array<std::uint16_t, 3> temps_{};
  std::array<std::uint8_t, 3> flags_{};
  std::array<Input, kSimCells> cellIn_{};
  std::array<double, kSimCells> irDrop_{};
  std::array<Input, 3> tempIn_{};
  double lastEvolve_ = 0;
  std::uint64_t conversions_ = 0;
};

}  // namespace eb
