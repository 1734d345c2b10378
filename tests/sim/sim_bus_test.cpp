// The simulated bridge and bus: command strings, frames, register reads,
// addressing and the per-board faults.
#include <gtest/gtest.h>

#include "sim/sim_bridge.h"
#include "sim/sim_chip.h"
#include "sim_test_support.h"

namespace eb {
namespace {

using namespace simtest;

SimSettings Quiet(int boards = 4) { return simtest::Quiet(boards, 11); }

TEST(SimBridge, IdentifyReplyStartsWithIdentity) {
  SimBridge bridge(Quiet());
  ASSERT_TRUE(bridge.Open(0));
  bridge.SetTimeouts(200, 50);
  EXPECT_EQ(bridge.Write(std::string_view("IZ", 2)), 2u);
  char buf[128];
  std::fill(std::begin(buf), std::end(buf), '#');
  const std::size_t got = bridge.Read(buf, 50);
  bridge.Close();
  ASSERT_GE(got, 9u);
  ASSERT_LT(got, 50u);  // a short reply: the rest of the buffer stays as it was
  EXPECT_EQ(std::string(buf, 9), "ZQM4417-2");
  EXPECT_EQ(std::string(buf, got), std::string(SimStack::kIdentity));
  for (std::size_t i = got; i < 128; ++i) ASSERT_EQ(buf[i], '#') << i;
  EXPECT_EQ(bridge.Stack().Counters().identifies, 1u);
  EXPECT_EQ(bridge.Describe(), "simulated stack of 4 boards");
}

TEST(SimBridge, NothingWithoutOpenAndNothingCarriedOver) {
  SimBridge bridge(Quiet());
  char buf[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(bridge.Write("IZ"), 0u);
  EXPECT_EQ(bridge.Read(buf, 8), 0u);
  EXPECT_EQ(buf[0], '#');
  // A configuration write yields characters for its T byte that nobody reads.
  EXPECT_EQ(Transact(bridge, "MSxT01SE0S00S00S00S71SABX", 0), "");
  ASSERT_TRUE(bridge.Open(0));
  EXPECT_EQ(bridge.Read(buf, 8), 0u);
  bridge.Close();
  // Within one transaction, reads continue where the last one stopped.
  ASSERT_TRUE(bridge.Open(0));
  bridge.Write("MSxT80T02RRRRRRRX");
  char first[4];
  ASSERT_EQ(bridge.Read(first, 4), 4u);
  EXPECT_EQ(std::string(first, 4), "FFFF");
  EXPECT_EQ(bridge.Pending(), 14u);
  bridge.Close();
}

TEST(SimBridge, IgnoresGarbageCharacters) {
  SimBridge bridge(Quiet());
  // "SZ1" is no byte, so S, Z and 1 are skipped one by one, as are "Q" and
  // "?"; the T that follows still works.
  EXPECT_EQ(Transact(bridge, "Q?SZ1T00", 2), "FF");
  EXPECT_EQ(bridge.Stack().Counters().badCharacters, 5u);
}

TEST(SimRegisters, PecTableValuesOfTheHelper) {
  // The test's bitwise PEC against the published check values.
  EXPECT_EQ(BitwisePec(std::vector<std::uint8_t>(6, 0xFF)), 0x48);
  EXPECT_EQ(BitwisePec(std::vector<std::uint8_t>(18, 0xFF)), 0xB2);
  EXPECT_EQ(BitwisePec(std::vector<std::uint8_t>(3, 0xFF)), 0x0F);
  EXPECT_EQ(BitwisePec({0x01}), 0x07);
  EXPECT_EQ(BitwisePec({0xFF}), 0xF3);
  EXPECT_EQ(BitwisePec(std::vector<std::uint8_t>(5, 0x00)), 0x00);
  // And the simulator's table-driven one agrees on random data.
  std::vector<std::uint8_t> data;
  for (int i = 0; i < 18; ++i) data.push_back(static_cast<std::uint8_t>(i * 37 + 5));
  EXPECT_EQ(simchip::Pec(data.data(), 18), BitwisePec(data));
}

TEST(SimRegisters, ConfigurationReadReturnsWhatWasWritten) {
  SimBridge bridge(Quiet());
  // Power-up: all zeros with PEC 0.
  EXPECT_EQ(Transact(bridge, "MSxT80T02RRRRRRRX", 18),
            "FFFF"
            "000000000000"
            "00");

  const std::array<std::uint8_t, 6> cfg{0xE1, 0x05, 0xA3, 0x7C, 0x71, 0xAB};
  Transact(bridge, WriteConfigCommand(2, cfg), 0);
  const std::string reply = Transact(bridge, "MSxT82T02RRRRRRRX", 18);
  ASSERT_EQ(reply.size(), 18u);
  EXPECT_EQ(reply.substr(0, 16), "FFFFE105A37C71AB");
  const std::uint8_t pec = BitwisePec({0xE1, 0x05, 0xA3, 0x7C, 0x71, 0xAB});
  EXPECT_EQ(HexBytes(reply.substr(16)), std::vector<std::uint8_t>{pec});
  // Board 0 was not addressed and keeps its power-up configuration.
  EXPECT_EQ(ReadRegisters(bridge, 0, 0x02, 6).bytes, std::vector<std::uint8_t>(6, 0));
  // Reading past the PEC gives FF.
  std::string longer = Transact(bridge, "MSxT82T02RRRRRRRRRX", 22);
  EXPECT_EQ(longer.substr(18), "FFFF");
}

TEST(SimRegisters, AllFourGroupsCarryACorrectPec) {
  SimBridge bridge(Quiet());
  SimStack& stack = bridge.Stack();
  for (int c = 1; c <= 12; ++c)
    stack.ApplyCommand({"cell", "1", std::to_string(c), "3.0" + std::to_string(c % 10)});
  Transact(bridge, WriteConfigCommand(-1, {0xE3, 0x00, 0x00, 0x00, 0x80, 0x9C}), 0);
  Transact(bridge, "MSxS10X", 0);
  Transact(bridge, "MSxS30X", 0);
  const int sizes[] = {6, 18, 3, 5};
  const int commands[] = {0x02, 0x04, 0x06, 0x08};
  for (int k = 0; k < 4; ++k) {
    RegisterReply r = ReadRegisters(bridge, 1, commands[k], sizes[k]);
    ASSERT_TRUE(r.ok) << k;
    EXPECT_TRUE(r.PecMatches()) << "command " << commands[k];
  }
  // The cell group decodes to the pinned voltages.
  RegisterReply cv = ReadRegisters(bridge, 1, 0x04, 18);
  auto cells = UnpackCells(cv.bytes);
  for (int c = 1; c <= 12; ++c) {
    EXPECT_EQ(cells[static_cast<std::size_t>(c - 1)], Counts(3.0 + (c % 10) / 100.0)) << c;
  }
  // The reply text is upper-case hex.
  std::string raw = Transact(bridge, ReadCommand(1, 0x04, 18), 42);
  for (char ch : raw) EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << raw;
}

TEST(SimRegisters, ExampleCellReadString) {
  SimBridge bridge(Quiet(10));
  Transact(bridge, "MSxS10X", 0);
  const std::string reply = Transact(bridge, "MSxT80T04RRRRRRRRRRRRRRRRRRRX", 42);
  ASSERT_EQ(reply.size(), 42u);
  EXPECT_EQ(reply.substr(0, 4), "FFFF");
  auto bytes = HexBytes(reply.substr(4, 36));
  EXPECT_EQ(HexBytes(reply.substr(40)), std::vector<std::uint8_t>{BitwisePec(bytes)});
  auto cells = UnpackCells(bytes);
  for (int c = 0; c < 12; ++c) {
    // The default pack: 3.55 .. 3.75 V per cell.
    EXPECT_GE(cells[static_cast<std::size_t>(c)], Counts(3.55) - 1);
    EXPECT_LE(cells[static_cast<std::size_t>(c)], Counts(3.75) + 1);
  }
}

TEST(SimAddressing, BroadcastAndAddressedConfigurationWrites) {
  SimBridge bridge(Quiet(4));
  Transact(bridge, "MSxT01SE0S00S00S00S71SABX", 0);
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(ReadRegisters(bridge, b, 0x02, 6).bytes,
              (std::vector<std::uint8_t>{0xE0, 0x00, 0x00, 0x00, 0x71, 0xAB}))
        << b;
  }
  Transact(bridge, WriteConfigCommand(3, {0x19, 0x01, 0x02, 0x03, 0x04, 0x05}), 0);
  EXPECT_EQ(bridge.Stack().Chip(3).Config()[0], 0x19);
  EXPECT_EQ(bridge.Stack().Chip(2).Config()[0], 0xE0);
  // Five data bytes are not enough: nothing is stored.
  Transact(bridge, "MSxT81T01S11S22S33S44S55X", 0);
  EXPECT_EQ(bridge.Stack().Chip(1).Config()[0], 0xE0);
  EXPECT_EQ(bridge.Stack().Counters().configWrites, 5u);
}

TEST(SimAddressing, AddressedConversionConvertsOnlyThatChip) {
  SimBridge bridge(Quiet(4));
  Transact(bridge, "MSxS83S10X", 0);
  EXPECT_NE(bridge.Stack().Chip(3).CellCounts()[0], 0);
  for (int b : {0, 1, 2}) {
    EXPECT_EQ(UnpackCells(ReadRegisters(bridge, b, 0x04, 18).bytes), (std::array<int, 12>{})) << b;
  }
  // A broadcast conversion reaches them all.
  Transact(bridge, "MSxS10X", 0);
  for (int b = 0; b < 4; ++b) EXPECT_NE(bridge.Stack().Chip(b).CellCounts()[11], 0) << b;
  // Addressed temperature conversion.
  Transact(bridge, "MSxS81S30X", 0);
  EXPECT_NE(bridge.Stack().Chip(1).TempCounts()[2], 0);
  EXPECT_EQ(bridge.Stack().Chip(0).TempCounts()[2], 0);
}

TEST(SimAddressing, SingleCellAndSingleTemperatureNibbles) {
  SimBridge bridge(Quiet(2));
  Transact(bridge, "MSxS80S15X", 0);
  auto cells = UnpackCells(ReadRegisters(bridge, 0, 0x04, 18).bytes);
  for (int c = 0; c < 12; ++c) {
    if (c == 4) {
      EXPECT_EQ(cells[4], bridge.Stack().Chip(0).CellCounts()[4]);
      EXPECT_NEAR(cells[4] * 0.0015, bridge.Stack().Chip(0).CellVolts(5), 0.00076);
    } else {
      EXPECT_EQ(cells[static_cast<std::size_t>(c)], 0) << c;
    }
  }
  Transact(bridge, "MSxS1CX", 0);  // cell 12 of every chip
  EXPECT_NE(bridge.Stack().Chip(1).CellCounts()[11], 0);
  EXPECT_EQ(bridge.Stack().Chip(1).CellCounts()[10], 0);
  Transact(bridge, "MSxS32X", 0);  // ETMP2 only
  Temps t = UnpackTemps(ReadRegisters(bridge, 1, 0x08, 5).bytes);
  EXPECT_EQ(t.etmp1, 0);
  EXPECT_EQ(t.itmp, 0);
  EXPECT_EQ(t.etmp2, Counts(bridge.Stack().Chip(1).TempVolts(2)));
}

TEST(SimFaults, MissingBoardReadsAllFF) {
  SimSettings s = Quiet(4);
  s.missing = 1u << 1;
  SimBridge bridge(s);
  Transact(bridge, "MSxS10X", 0);
  EXPECT_EQ(Transact(bridge, "MSxT81T04RRRRRRRRRRRRRRRRRRRX", 42), std::string(42, 'F'));
  EXPECT_EQ(Transact(bridge, "MSxT81T02RRRRRRRX", 18), std::string(18, 'F'));
  // Beyond the stack nobody answers either; present boards still do.
  EXPECT_EQ(Transact(bridge, "MSxT8FT06RRRRX", 12), std::string(12, 'F'));
  EXPECT_TRUE(ReadRegisters(bridge, 2, 0x04, 18).PecMatches());
  // A missing chip ignores writes; put back, it comes up fresh.
  Transact(bridge, "MSxT01SE1S00S00S00S00S00X", 0);
  EXPECT_EQ(bridge.Stack().ApplyCommand({"missing", "1", "0"}), "");
  EXPECT_EQ(ReadRegisters(bridge, 1, 0x02, 6).bytes, std::vector<std::uint8_t>(6, 0));
  EXPECT_EQ(ReadRegisters(bridge, 0, 0x02, 6).bytes[0], 0xE1);
}

TEST(SimFaults, ZerosBoardAnswersZeros) {
  SimSettings s = Quiet(3);
  s.zeros = 1u << 2;
  SimBridge bridge(s);
  Transact(bridge, "MSxT01SE1S00S00S00S00S00X", 0);
  Transact(bridge, "MSxS10X", 0);
  Transact(bridge, "MSxS30X", 0);
  EXPECT_EQ(Transact(bridge, ReadCommand(2, 0x04, 18), 42), "FFFF" + std::string(38, '0'));
  EXPECT_EQ(Transact(bridge, ReadCommand(2, 0x02, 6), 18), "FFFF" + std::string(14, '0'));
  EXPECT_EQ(Transact(bridge, ReadCommand(2, 0x08, 5), 16), "FFFF" + std::string(12, '0'));
  // The neighbour is unaffected.
  EXPECT_EQ(ReadRegisters(bridge, 1, 0x02, 6).bytes[0], 0xE1);
  EXPECT_EQ(bridge.Stack().ApplyCommand({"zeros", "2", "0"}), "");
  EXPECT_EQ(ReadRegisters(bridge, 2, 0x02, 6).bytes[0], 0xE1);
}

TEST(SimFaults, ThermalShutdownAndRevisionInTmpr4) {
  SimSettings s = Quiet(3);
  s.thsd = 1u << 1;
  s.rev = 5;
  SimBridge bridge(s);
  Transact(bridge, "MSxS30X", 0);
  Temps t0 = UnpackTemps(ReadRegisters(bridge, 0, 0x08, 5).bytes);
  Temps t1 = UnpackTemps(ReadRegisters(bridge, 1, 0x08, 5).bytes);
  EXPECT_EQ(t0.thsd, 0);
  EXPECT_EQ(t1.thsd, 1);
  EXPECT_EQ(t0.rev, 5);
  EXPECT_EQ(t1.rev, 5);
  EXPECT_EQ(bridge.Stack().ApplyCommand({"thsd", "1", "0"}), "");
  EXPECT_EQ(bridge.Stack().ApplyCommand({"thsd", "0", "1"}), "");
  EXPECT_EQ(UnpackTemps(ReadRegisters(bridge, 1, 0x08, 5).bytes).thsd, 0);
  RegisterReply r0 = ReadRegisters(bridge, 0, 0x08, 5);
  EXPECT_TRUE(r0.PecMatches());
  EXPECT_EQ(r0.bytes[4] & 0xF0, 0xB0);  // rev 5, THSD
  // Default revision 1.
  SimBridge plain(Quiet(1));
  EXPECT_EQ(UnpackTemps(ReadRegisters(plain, 0, 0x08, 5).bytes).rev, 1);
}

TEST(SimFaults, PecErrorsCorruptOnlyThePec) {
  SimSettings s = Quiet(2);
  SimBridge good(s);
  s.pecErrors = 1.0;
  SimBridge bad(s);
  for (SimBridge* b : {&good, &bad}) {
    b->Stack().ApplyCommand({"cell", "0", "1", "3.3"});
    Transact(*b, "MSxS10X", 0);
  }
  for (int i = 0; i < 20; ++i) {
    RegisterReply g = ReadRegisters(good, 0, 0x04, 18);
    RegisterReply e = ReadRegisters(bad, 0, 0x04, 18);
    ASSERT_TRUE(g.ok && e.ok);
    EXPECT_TRUE(g.PecMatches());
    EXPECT_FALSE(e.PecMatches());
    EXPECT_EQ(g.bytes, e.bytes);  // data intact
  }
  EXPECT_EQ(bad.Stack().Counters().pecErrorsInjected, 20u);
  // At a rate of one half roughly half the reads are hit.
  EXPECT_EQ(good.Stack().ApplyCommand({"pec-errors", "0.5"}), "");
  int wrong = 0;
  for (int i = 0; i < 400; ++i) wrong += ReadRegisters(good, 1, 0x02, 6).PecMatches() ? 0 : 1;
  EXPECT_GT(wrong, 150);
  EXPECT_LT(wrong, 250);
  EXPECT_EQ(good.Stack().Counters().pecErrorsInjected, static_cast<std::uint64_t>(wrong));
}

TEST(SimFaults, UnplugStopsEverything) {
  SimBridge bridge(Quiet(1));
  EXPECT_EQ(bridge.Stack().ApplyCommand({"unplug"}), "");
  EXPECT_FALSE(bridge.Open(0));
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(bridge.Write("IZ"), 0u);
  EXPECT_EQ(bridge.Read(buf, 4), 0u);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(Transact(bridge, "IZ", 50), "");
  EXPECT_EQ(bridge.Stack().Counters().refusedOpens, 2u);
  EXPECT_EQ(bridge.Stack().ApplyCommand({"replug"}), "");
  EXPECT_EQ(Transact(bridge, "IZ", 50).substr(0, 9), "ZQM4417-2");
}

TEST(SimStandby, ParkedBridgeIgnoresTheBusUntilSelected) {
  SimBridge bridge(Quiet(2));
  EXPECT_FALSE(bridge.Stack().Parked());
  Transact(bridge, "MI", 0);
  EXPECT_TRUE(bridge.Stack().Parked());
  // Without "MS" nothing reaches the chips; reads see the lines high.
  EXPECT_EQ(Transact(bridge, "xS10X", 0), "");
  EXPECT_EQ(bridge.Stack().Chip(0).Conversions(), 0u);
  EXPECT_EQ(Transact(bridge, "xT80T02RRRRRRRX", 18), std::string(18, 'F'));
  EXPECT_GT(bridge.Stack().Counters().ignoredWhileParked, 0u);
  // The identify still answers.
  EXPECT_EQ(Transact(bridge, "IZ", 50).substr(0, 9), "ZQM4417-2");
  EXPECT_TRUE(bridge.Stack().Parked());
  Transact(bridge, "MSxS10X", 0);
  EXPECT_FALSE(bridge.Stack().Parked());
  EXPECT_EQ(bridge.Stack().Chip(0).Conversions(), 1u);
}

TEST(SimStandby, PollLeavesChipSelectLowUntilRaised) {
  SimBridge bridge(Quiet(2));
  Transact(bridge, "MSxS40", 0);
  EXPECT_TRUE(bridge.Stack().ChipSelectLow());
  Transact(bridge, "MSX", 0);
  EXPECT_FALSE(bridge.Stack().ChipSelectLow());
  // A poll followed directly by a framed command: the new frame works.
  Transact(bridge, "MSxS81S50", 0);
  EXPECT_TRUE(bridge.Stack().ChipSelectLow());
  Transact(bridge, "MSxS81S10X", 0);
  EXPECT_FALSE(bridge.Stack().ChipSelectLow());
  EXPECT_EQ(bridge.Stack().Chip(1).Conversions(), 1u);
  EXPECT_EQ(bridge.Stack().Chip(0).Conversions(), 0u);
  // Reading after an interrupt poll: low while a flag is set.
  EXPECT_EQ(Transact(bridge, "MSxT81T50RX", 6), "FFFFFF");
  Transact(bridge, WriteConfigCommand(1, {0x01, 0, 0, 0, 0xFF, 0}), 0);  // UV at 6.12 V
  Transact(bridge, "MSxS81S10X", 0);
  EXPECT_EQ(Transact(bridge, "MSxT81T50RX", 6), "FFFF00");
  EXPECT_EQ(Transact(bridge, "MSxT80T50RX", 6), "FFFFFF");
  EXPECT_EQ(Transact(bridge, "MSxT81T40RX", 6), "FFFFFF");
}

}  // namespace
}  // namespace eb
