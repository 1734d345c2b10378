#include "sim/sim_chip.h"

#include <algorithm>
#include <cmath>

namespace eb {
namespace simchip {
namespace {

constexpr std::array<std::uint8_t, 256> MakePecTable() {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    unsigned crc = static_cast<unsigned>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x80) ? ((crc << 1) ^ 0x07) : (crc << 1);
      crc &= 0xFF;
    }
    table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kPecTable = MakePecTable();

}  // namespace

std::uint16_t Quantize(double volts) {
  double counts = std::nearbyint(volts / kVoltsPerCount);
  if (!(counts > 0)) return 0;  // also catches NaN
  if (counts > 4095) return 4095;
  return static_cast<std::uint16_t>(counts);
}

std::uint8_t Pec(const std::uint8_t* bytes, int n) {
  std::uint8_t pec = 0;
  for (int i = 0; i < n; ++i) pec = kPecTable[static_cast<std::uint8_t>(pec ^ bytes[i])];
  return pec;
}

}  // namespace simchip

using namespace simchip;

// Ziggurat method of Marsaglia and Tsang (2000), 128 layers.
SimRandom::SimRandom(std::uint64_t seed) : gen_(seed) {
  const double m1 = 2147483648.0;
  double dn = 3.442619855899;
  double tn = dn;
  const double vn = 9.91256303526217e-3;
  const double q = vn / std::exp(-0.5 * dn * dn);
  kn_[0] = static_cast<std::uint32_t>((dn / q) * m1);
  kn_[1] = 0;
  wn_[0] = q / m1;
  wn_[127] = dn / m1;
  fn_[0] = 1.0;
  fn_[127] = std::exp(-0.5 * dn * dn);
  for (int i = 126; i >= 1; --i) {
    dn = std::sqrt(-2.0 * std::log(vn / dn + std::exp(-0.5 * dn * dn)));
    kn_[static_cast<std::size_t>(i + 1)] = static_cast<std::uint32_t>((dn / tn) * m1);
    tn = dn;
    fn_[static_cast<std::size_t>(i)] = std::exp(-0.5 * dn * dn);
    wn_[static_cast<std::size_t>(i)] = dn / m1;
  }
}

double SimRandom::Gaussian() {
  const std::int32_t hz = Next32();
  const std::uint32_t iz = static_cast<std::uint32_t>(hz) & 127u;
  const auto mag = static_cast<std::uint32_t>(hz < 0 ? -static_cast<std::int64_t>(hz) : hz);
  if (mag < kn_[iz]) return hz * wn_[iz];
  return GaussianTail(hz, iz);
}

double SimRandom::GaussianTail(std::int32_t hz, std::uint32_t iz) {
  constexpr double r = 3.442620;
  while (true) {
    const double x = hz * wn_[iz];
    if (iz == 0) {
      double tx = 0;
      double ty = 0;
      do {
        tx = -std::log(OpenUniform()) * 0.2904764;  // 1 / r
        ty = -std::log(OpenUniform());
      } while (ty + ty < tx * tx);
      return hz > 0 ? r + tx : -r - tx;
    }
    if (fn_[iz] + OpenUniform() * (fn_[iz - 1] - fn_[iz]) < std::exp(-0.5 * x * x)) return x;
    hz = Next32();
    iz = static_cast<std::uint32_t>(hz) & 127u;
    const auto mag = static_cast<std::uint32_t>(hz < 0 ? -static_cast<std::int64_t>(hz) : hz);
    if (mag < kn_[iz]) return hz * wn_[iz];
  }
}

void SimChip::Init(int slot, const SimSettings& settings, SimRandom& random) {
  slot_ = slot;
  const unsigned bit = 1u << slot;
  present = slot < settings.boards && (settings.missing & bit) == 0;
  zeros = (settings.zeros & bit) != 0;
  thsd = (settings.thsd & bit) != 0;
  openWires = settings.openWires[static_cast<std::size_t>(slot)];
  rev = settings.rev;
  for (int i = 0; i < kSimCells; ++i) {
    auto& in = cellIn_[static_cast<std::size_t>(i)];
    in = Input{};
    in.rest = settings.volts + random.Uniform(-0.1, 0.1);
    irDrop_[static_cast<std::size_t>(i)] = random.Uniform(0.020, 0.040);
  }
  tempIn_[0] = Input{random.Uniform(1.5, 2.0), 0, false};
  tempIn_[1] = Input{random.Uniform(1.5, 2.0), 0, false};
  // Internal sensor, about 8 mV per kelvin near room temperature.
  tempIn_[2] = Input{random.Uniform(2.35, 2.45), 0, false};
  lastEvolve_ = 0;
  conversions_ = 0;
  PowerUp();
}

void SimChip::PowerUp() {
  cfg_.fill(0);
  cells_.fill(0);
  temps_.fill(0);
  flags_.fill(0);
}

void SimChip::WriteConfig(const std::uint8_t* six) { std::copy(six, six + 6, cfg_.begin()); }

std::array<std::uint8_t, 18> SimChip::CellRegisters() const {
  std::array<std::uint8_t, 18> r{};
  for (std::size_t p = 0; p < 6; ++p) {
    const unsigned a = cells_[2 * p];
    const unsigned b = cells_[2 * p + 1];
    r[3 * p] = static_cast<std::uint8_t>(a & 0xFF);
    r[3 * p + 1] = static_cast<std::uint8_t>(((a >> 8) & 0x0F) | ((b & 0x0F) << 4));
    r[3 * p + 2] = static_cast<std::uint8_t>((b >> 4) & 0xFF);
  }
  return r;
}

std::array<std::uint8_t, 5> SimChip::TempRegisters() const {
  const unsigned e1 = temps_[0];
  const unsigned e2 = temps_[1];
  const unsigned it = temps_[2];
  std::array<std::uint8_t, 5> r{};
  r[0] = static_cast<std::uint8_t>(e1 & 0xFF);
  r[1] = static_cast<std::uint8_t>(((e1 >> 8) & 0x0F) | ((e2 & 0x0F) << 4));
  r[2] = static_cast<std::uint8_t>((e2 >> 4) & 0xFF);
  r[3] = static_cast<std::uint8_t>(it & 0xFF);
  r[4] = static_cast<std::uint8_t>(((it >> 8) & 0x0F) | (thsd ? 0x10 : 0x00) |
                                   ((static_cast<unsigned>(rev) & 0x07) << 5));
  return r;
}

int SimChip::Readout(std::uint8_t command, std::uint8_t* out) const {
  int n = 0;
  switch (command) {
    case kRDCFG:
      std::copy(cfg_.begin(), cfg_.end(), out);
      n = 6;
      break;
    case kRDCV: {
      auto r = CellRegisters();
      std::copy(r.begin(), r.end(), out);
      n = 18;
      break;
    }
    case kRDFLG:
      std::copy(flags_.begin(), flags_.end(), out);
      n = 3;
      break;
    case kRDTMP: {
      auto r = TempRegisters();
      std::copy(r.begin(), r.end(), out);
      n = 5;
      break;
    }
    default: return 0;
  }
  if (zeros) {
    std::fill(out, out + n + 1, std::uint8_t{0});
  } else {
    out[n] = Pec(out, n);
  }
  return n + 1;
}

bool SimChip::Discharging(int cell) const {
  const int i = cell - 1;
  if (i < 8) return (cfg_[1] >> i) & 1;
  return (cfg_[2] >> (i - 8)) & 1;
}

bool SimChip::Masked(int cell) const {
  const int i = cell - 1;
  if (i < 4) return (cfg_[2] >> (4 + i)) & 1;
  return (cfg_[3] >> (i - 4)) & 1;
}

double SimChip::CellVolts(int cell) const {
  const auto& in = cellIn_[static_cast<std::size_t>(cell - 1)];
  return in.rest + in.drift;
}

double SimChip::TempVolts(int input) const {
  const auto& in = tempIn_[static_cast<std::size_t>(input - 1)];
  return in.rest + in.drift;
}

void SimChip::PinCell(int cell, double volts) {
  cellIn_[static_cast<std::size_t>(cell - 1)] = Input{volts, 0, true};
}

void SimChip::PinTemp(int input, double volts) {
  tempIn_[static_cast<std::size_t>(input - 1)] = Input{volts, 0, true};
}

void SimChip::Evolve(double now, SimRandom& random, double noise) {
  const double dt = now - lastEvolve_;
  if (dt <= 0) return;
  lastEvolve_ = now;
  const double decay = std::exp(-dt / kDriftTau);
  const double step = noise * kDriftScale * std::sqrt(kDriftTau / 2.0 * (1.0 - decay * decay));
  for (int i = 0; i < kSimCells; ++i) {
    auto& in = cellIn_[static_cast<std::size_t>(i)];
    if (in.pinned) continue;
    if (present && Discharging(i + 1)) {
      in.rest = std::max(0.0, in.rest - kDischargeVoltsPerSecond * dt);
    }
    if (noise > 0) in.drift = in.drift * decay + step * random.Gaussian();
  }
  if (noise > 0) {
    for (auto& in : tempIn_) {
      if (!in.pinned) in.drift = in.drift * decay + step * random.Gaussian();
    }
  }
}

double SimChip::Sample(const Input& in, SimRandom& random, double noise) const {
  if (in.pinned) return in.rest;
  double v = in.rest + in.drift;
  if (noise > 0) v += noise * random.Gaussian();
  return v;
}

void SimChip::UpdateFlag(int index) {
  auto& byte = flags_[static_cast<std::size_t>(index / 4)];
  const int k = index % 4;
  byte = static_cast<std::uint8_t>(byte & ~(3u << (2 * k)));
  if (Masked(index + 1) || (TenCellMode() && index >= 10)) return;
  const unsigned count = cells_[static_cast<std::size_t>(index)];
  const unsigned vuv = cfg_[4];
  const unsigned vov = cfg_[5];
  if (vuv > 0 && count < vuv * 16) byte = static_cast<std::uint8_t>(byte | (1u << (2 * k)));
  if (vov > 0 && count > vov * 16) byte = static_cast<std::uint8_t>(byte | (2u << (2 * k)));
}

void SimChip::ConvertCells(int which, bool openWire, bool discharge, SimRandom& random,
                           double noise) {
  const int first = which == 0 ? 0 : which - 1;
  const int last = which == 0 ? kSimCells : which;
  for (int i = first; i < last; ++i) {
    const auto idx = static_cast<std::size_t>(i);
    double v = 0;
    if (TenCellMode() && i >= 10) {
      v = 0;
    } else if (openWire && ((openWires >> i) & 1)) {
      // The broken input floats down to (nearly) nothing.
      v = noise > 0 ? std::fabs(noise * random.Gaussian()) : 0.0;
    } else {
      v = Sample(cellIn_[idx], random, noise);
      if (discharge && !cellIn_[idx].pinned && Discharging(i + 1)) v -= irDrop_[idx];
    }
    cells_[idx] = Quantize(v);
    UpdateFlag(i);
  }
}

void SimChip::ConvertTemps(int which, SimRandom& random, double noise) {
  const int first = which == 0 ? 0 : which - 1;
  const int last = which == 0 ? 3 : which;
  for (int i = first; i < last; ++i) {
    const auto idx = static_cast<std::size_t>(i);
    temps_[idx] = Quantize(Sample(tempIn_[idx], random, noise));
  }
}

bool SimChip::Convert(std::uint8_t command, SimRandom& random, double noise) {
  const unsigned hi = command & 0xF0u;
  const int lo = command & 0x0F;
  const bool selfTest = lo == 0xE || lo == 0xF;
  const std::uint16_t code = lo == 0xE ? 0x555 : 0xAAA;
  switch (hi) {
    case kSTCVAD:
    case kSTOWAD:
    case kSTCVDC:
    case kSTOWDC:
      if (selfTest) {
        cells_.fill(code);
      } else if (lo <= kSimCells) {
        ConvertCells(lo, hi == kSTOWAD || hi == kSTOWDC, hi == kSTCVDC || hi == kSTOWDC, random,
                     noise);
      } else {
        return false;
      }
      break;
    case kSTTMPAD:
      if (selfTest) {
        temps_.fill(code);
      } else if (lo <= 3) {
        ConvertTemps(lo, random, noise);
      } else {
        return false;
      }
      break;
    default: return false;
  }
  ++conversions_;
  return true;
}

}  // namespace eb
