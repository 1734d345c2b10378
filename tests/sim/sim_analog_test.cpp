// The simulated chips' conversions: self tests, flags, 10-cell mode, pinned
// values, noise, seeds, discharge and open wires.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "sim/sim_bridge.h"
#include "sim_test_support.h"

namespace eb {
namespace {

using namespace simtest;

SimSettings Quiet(int boards = 2) { return simtest::Quiet(boards, 5); }

std::array<int, 12> ReadCells(SimBridge& bridge, int board) {
  RegisterReply r = ReadRegisters(bridge, board, 0x04, 18);
  EXPECT_TRUE(r.PecMatches());
  return UnpackCells(r.bytes);
}

std::vector<std::uint8_t> ReadFlags(SimBridge& bridge, int board) {
  RegisterReply r = ReadRegisters(bridge, board, 0x06, 3);
  EXPECT_TRUE(r.PecMatches());
  return r.bytes;
}

TEST(SimSelfTest, CellCodesForEveryConversionKind) {
  SimBridge bridge(Quiet(3));
  // 10-cell mode on every chip: self-test codes still fill all twelve.
  Transact(bridge, "MSxT01S09S00S00S00S00S00X", 0);
  struct Case {
    const char* command;
    int code;
  };
  const Case cases[] = {{"MSxS1EX", 0x555}, {"MSxS1FX", 0xAAA}, {"MSxS2EX", 0x555},
                        {"MSxS2FX", 0xAAA}, {"MSxS6EX", 0x555}, {"MSxS6FX", 0xAAA},
                        {"MSxS7EX", 0x555}, {"MSxS7FX", 0xAAA}};
  for (const Case& c : cases) {
    Transact(bridge, c.command, 0);
    for (int b = 0; b < 3; ++b) {
      auto cells = ReadCells(bridge, b);
      for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(cells[static_cast<std::size_t>(i)], c.code) << c.command << " board " << b;
      }
    }
  }
  // In hex text the codes read "555" / "AAA" in place.
  Transact(bridge, "MSxS1FX", 0);
  std::string reply = Transact(bridge, ReadCommand(0, 0x04, 18), 42);
  EXPECT_EQ(reply.substr(4, 6), "AAAAAA");
}

TEST(SimSelfTest, TemperatureCodes) {
  SimBridge bridge(Quiet(1));
  Transact(bridge, "MSxS3EX", 0);
  Temps t = UnpackTemps(ReadRegisters(bridge, 0, 0x08, 5).bytes);
  EXPECT_EQ(t.etmp1, 0x555);
  EXPECT_EQ(t.etmp2, 0x555);
  EXPECT_EQ(t.itmp, 0x555);
  EXPECT_EQ(t.rev, 1);  // status bits are not part of the code
  Transact(bridge, "MSxS3FX", 0);
  t = UnpackTemps(ReadRegisters(bridge, 0, 0x08, 5).bytes);
  EXPECT_EQ(t.etmp1, 0xAAA);
  EXPECT_EQ(t.etmp2, 0xAAA);
  EXPECT_EQ(t.itmp, 0xAAA);
  // A normal conversion brings plausible sensor voltages back.
  Transact(bridge, "MSxS30X", 0);
  t = UnpackTemps(ReadRegisters(bridge, 0, 0x08, 5).bytes);
  EXPECT_GE(t.etmp1 * 0.0015, 1.5 - 0.002);
  EXPECT_LE(t.etmp1 * 0.0015, 2.0 + 0.002);
  EXPECT_GE(t.etmp2 * 0.0015, 1.5 - 0.002);
  EXPECT_LE(t.etmp2 * 0.0015, 2.0 + 0.002);
  EXPECT_NEAR(t.itmp * 0.0015, 2.4, 0.06);
}

TEST(SimFlags, UnderAndOverVoltageFromWrittenThresholds) {
  SimBridge bridge(Quiet(1));
  SimStack& stack = bridge.Stack();
  // VUV 0x96 = 3.600 V, VOV 0xA0 = 3.840 V.
  const double volts[12] = {3.0, 3.7, 3.9, 3.6, 3.5985, 3.84, 3.8415, 3.7, 3.7, 3.7, 2.0, 4.2};
  for (int c = 1; c <= 12; ++c) {
    stack.ApplyCommand({"cell", "0", std::to_string(c), std::to_string(volts[c - 1])});
  }
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x00, 0x00, 0x96, 0xA0}), 0);
  Transact(bridge, "MSxS10X", 0);
  // cell1 UV, cell3 OV, cell4 exactly at VUV (no flag), cell5 one count below (UV),
  // cell6 exactly at VOV (no flag), cell7 above (OV), cell11 UV, cell12 OV.
  EXPECT_EQ(ReadFlags(bridge, 0),
            (std::vector<std::uint8_t>{0x01 | 0x20, 0x01 | 0x20, 0x10 | 0x80}));

  // Masks: cells 1 and 3 (CFGR2 bits 4, 6) and cells 7 and 12 (CFGR3 bits 2, 7).
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x50, 0x84, 0x96, 0xA0}), 0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadFlags(bridge, 0), (std::vector<std::uint8_t>{0x00, 0x01, 0x10}));

  // A threshold of 0 turns its comparison off.
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x00, 0x00, 0x00, 0xA0}), 0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadFlags(bridge, 0), (std::vector<std::uint8_t>{0x20, 0x20, 0x80}));
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x00, 0x00, 0x96, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadFlags(bridge, 0), (std::vector<std::uint8_t>{0x01, 0x01, 0x10}));

  // Self tests leave the flags alone.
  Transact(bridge, "MSxS1FX", 0);
  EXPECT_EQ(ReadFlags(bridge, 0), (std::vector<std::uint8_t>{0x01, 0x01, 0x10}));
}

TEST(SimFlags, TenCellModeReadsZeroAndNeverFlagsCells11And12) {
  SimBridge bridge(Quiet(1));
  // 10-cell mode, VUV 3.0 V: cells 11 and 12 read 0 but raise no flag.
  Transact(bridge, WriteConfigCommand(0, {0x09, 0x00, 0x00, 0x00, 0x7D, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  auto cells = ReadCells(bridge, 0);
  EXPECT_EQ(cells[10], 0);
  EXPECT_EQ(cells[11], 0);
  for (int i = 0; i < 10; ++i) EXPECT_GT(cells[static_cast<std::size_t>(i)], Counts(3.5)) << i;
  EXPECT_EQ(ReadFlags(bridge, 0), (std::vector<std::uint8_t>{0, 0, 0}));
  // Back in 12-cell mode they convert again.
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x00, 0x00, 0x7D, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_GT(ReadCells(bridge, 0)[11], Counts(3.5));
}

TEST(SimAnalog, PinnedCellsReadExactlyDespiteNoise) {
  SimSettings s = Quiet(2);
  s.noise = 0.01;
  SimBridge bridge(s);
  EXPECT_EQ(bridge.Stack().ApplyCommand({"cell", "1", "3", "3.912"}), "");
  EXPECT_EQ(bridge.Stack().ApplyCommand({"temp", "1", "3", "2.5"}), "");
  for (int i = 0; i < 10; ++i) {
    bridge.Stack().Advance(5.0);
    Transact(bridge, "MSxS10X", 0);
    Transact(bridge, "MSxS30X", 0);
    EXPECT_EQ(ReadCells(bridge, 1)[2], 2608);
    EXPECT_EQ(UnpackTemps(ReadRegisters(bridge, 1, 0x08, 5).bytes).itmp, Counts(2.5));
  }
  // Readings clamp at full scale.
  bridge.Stack().ApplyCommand({"cell", "1", "4", "7.5"});
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadCells(bridge, 1)[3], 4095);
  // An unpinned cell with this much noise does not read the same every time.
  std::set<int> seen;
  for (int i = 0; i < 10; ++i) {
    Transact(bridge, "MSxS10X", 0);
    seen.insert(ReadCells(bridge, 1)[0]);
  }
  EXPECT_GT(seen.size(), 3u);
}

TEST(SimAnalog, NoiseFreeReadingsAreExactAndStable) {
  SimBridge bridge(Quiet(1));
  Transact(bridge, "MSxS10X", 0);
  auto first = ReadCells(bridge, 0);
  for (int c = 1; c <= 12; ++c) {
    EXPECT_EQ(first[static_cast<std::size_t>(c - 1)], Counts(bridge.Stack().Chip(0).CellVolts(c)));
  }
  bridge.Stack().Advance(100.0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadCells(bridge, 0), first);
}

TEST(SimAnalog, SameSeedSameRepliesOtherSeedOtherPack) {
  auto run = [](std::uint64_t seed) {
    SimSettings s;
    s.boards = 3;
    s.seed = seed;
    s.noise = 0.003;
    SimBridge bridge(s);
    std::string all;
    for (int i = 0; i < 20; ++i) {
      Transact(bridge, "MSxS10X", 0);
      Transact(bridge, "MSxS30X", 0);
      all += Transact(bridge, ReadCommand(i % 3, 0x04, 18), 42);
      all += Transact(bridge, ReadCommand(i % 3, 0x08, 5), 16);
    }
    return all;
  };
  const std::string a = run(42);
  EXPECT_EQ(a, run(42));
  EXPECT_NE(a, run(43));
}

TEST(SimAnalog, DischargeLowersACellOverTime) {
  SimBridge bridge(Quiet(1));
  SimStack& stack = bridge.Stack();
  // Discharge cell 2 (CFGR1 bit 1) and cell 10 (CFGR2 bit 1); cell 12 is pinned.
  stack.ApplyCommand({"cell", "0", "12", "3.7"});
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x02, 0x02, 0x00, 0x00, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  auto before = ReadCells(bridge, 0);
  stack.Advance(60.0);
  Transact(bridge, "MSxS10X", 0);
  auto after = ReadCells(bridge, 0);
  const int expectedDrop = Counts(60.0 * simchip::kDischargeVoltsPerSecond);
  EXPECT_NEAR(before[1] - after[1], expectedDrop, 2);
  EXPECT_NEAR(before[9] - after[9], expectedDrop, 2);
  EXPECT_EQ(before[0], after[0]);
  EXPECT_EQ(before[11], after[11]);
  EXPECT_EQ(after[11], Counts(3.7));

  // The transactions themselves move the clock too.
  const double t0 = stack.Now();
  for (int i = 0; i < 100; ++i) Transact(bridge, ReadCommand(0, 0x04, 18), 42);
  EXPECT_GT(stack.Now() - t0, 0.1);

  // Turning the bit off stops the discharge.
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  auto stopped = ReadCells(bridge, 0);
  stack.Advance(60.0);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadCells(bridge, 0), stopped);
}

TEST(SimAnalog, DischargeHeldConversionShowsIrDrop) {
  SimBridge bridge(Quiet(1));
  Transact(bridge, WriteConfigCommand(0, {0x01, 0x01, 0x00, 0x00, 0x00, 0x00}), 0);
  Transact(bridge, "MSxS10X", 0);
  auto normal = ReadCells(bridge, 0);
  Transact(bridge, "MSxS60X", 0);
  auto held = ReadCells(bridge, 0);
  const int drop = normal[0] - held[0];
  EXPECT_GE(drop, Counts(0.020) - 1);
  EXPECT_LE(drop, Counts(0.040) + 1);
  for (int i = 1; i < 12; ++i)
    EXPECT_EQ(normal[static_cast<std::size_t>(i)], held[static_cast<std::size_t>(i)]);
  // Single-cell discharge-held conversion of that cell.
  Transact(bridge, "MSxS10X", 0);
  Transact(bridge, "MSxS61X", 0);
  EXPECT_NEAR(ReadCells(bridge, 0)[0], held[0], 1);
}

TEST(SimAnalog, OpenWireReadsNearZeroOnlyInOpenWireConversions) {
  SimSettings s = Quiet(2);
  s.openWires[1] = 1u << 4;  // board 1, cell 5
  SimBridge bridge(s);
  Transact(bridge, "MSxS20X", 0);
  auto ow = ReadCells(bridge, 1);
  EXPECT_EQ(ow[4], 0);
  EXPECT_GT(ow[3], Counts(3.5));
  EXPECT_GT(ow[5], Counts(3.5));
  EXPECT_GT(ReadCells(bridge, 0)[4], Counts(3.5));
  Transact(bridge, "MSxS10X", 0);
  EXPECT_GT(ReadCells(bridge, 1)[4], Counts(3.5));
  Transact(bridge, "MSxS70X", 0);
  EXPECT_EQ(ReadCells(bridge, 1)[4], 0);
  // Switched at run time.
  EXPECT_EQ(bridge.Stack().ApplyCommand({"open", "1", "5", "0"}), "");
  EXPECT_EQ(bridge.Stack().ApplyCommand({"open", "0", "12", "1"}), "");
  Transact(bridge, "MSxS20X", 0);
  EXPECT_GT(ReadCells(bridge, 1)[4], Counts(3.5));
  EXPECT_EQ(ReadCells(bridge, 0)[11], 0);
  // With noise the reading stays near 0 V.
  SimSettings n = s;
  n.noise = 0.002;
  SimBridge noisy(n);
  Transact(noisy, "MSxS20X", 0);
  EXPECT_LT(ReadCells(noisy, 1)[4], Counts(0.02));
}

TEST(SimAnalog, ReadWithoutConversionReturnsLastResults) {
  SimBridge bridge(Quiet(1));
  EXPECT_EQ(ReadCells(bridge, 0), (std::array<int, 12>{}));  // power-up: zeros
  EXPECT_EQ(UnpackTemps(ReadRegisters(bridge, 0, 0x08, 5).bytes).itmp, 0);
  Transact(bridge, "MSxS10X", 0);
  auto r = ReadCells(bridge, 0);
  bridge.Stack().ApplyCommand({"cell", "0", "1", "1.0"});
  EXPECT_EQ(ReadCells(bridge, 0), r);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(ReadCells(bridge, 0)[0], Counts(1.0));
}

}  // namespace
}  // namespace eb

namespace eb {
namespace {

TEST(SimRandomness, GaussianDeviatesLookNormal) {
  SimRandom random(77);
  const int n = 400000;
  double sum = 0, sumSq = 0;
  int beyond1 = 0, beyond3 = 0, tail = 0;
  for (int i = 0; i < n; ++i) {
    const double x = random.Gaussian();
    sum += x;
    sumSq += x * x;
    if (std::fabs(x) > 1) ++beyond1;
    if (std::fabs(x) > 3) ++beyond3;
    if (std::fabs(x) > 3.5) ++tail;
  }
  const double mean = sum / n;
  const double sd = std::sqrt(sumSq / n - mean * mean);
  EXPECT_NEAR(mean, 0.0, 0.01);
  EXPECT_NEAR(sd, 1.0, 0.01);
  EXPECT_NEAR(beyond1 / static_cast<double>(n), 0.3173, 0.005);
  EXPECT_NEAR(beyond3 / static_cast<double>(n), 0.0027, 0.0005);
  EXPECT_GT(tail, 0);  // the tail beyond the base layer is reached
  // Same seed, same sequence.
  SimRandom a(5), b(5);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.Gaussian(), b.Gaussian());
  for (int i = 0; i < 1000; ++i) {
    const double u = a.Uniform(2.0, 3.0);
    ASSERT_GE(u, 2.0);
    ASSERT_LT(u, 3.0);
  }
}

}  // namespace
}  // namespace eb
