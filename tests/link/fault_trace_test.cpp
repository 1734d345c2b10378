// The fault-injecting wrapper and the transaction trace.
#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <sstream>

#include "../sim/sim_test_support.h"
#include "link/fault_bridge.h"
#include "link/trace_bridge.h"
#include "link/tty_bridge.h"
#include "link/unit_interval.h"
#include "sim/sim_bridge.h"

namespace eb {
namespace {

using namespace simtest;

SimSettings Quiet() { return simtest::Quiet(2, SimSettings{}.seed); }

bool IsHex(char c) { return HexDigit(c) >= 0; }

TEST(FaultBridge, CorruptsExactlyOneCharacterPerHitReply) {
  FaultSettings f;
  f.corrupt = 1.0;
  f.seed = 3;
  FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
  SimBridge clean(Quiet());
  Transact(faulty, "MSxS10X", 0);
  Transact(clean, "MSxS10X", 0);
  int toHex = 0;
  int toOther = 0;
  for (int i = 0; i < 200; ++i) {
    const std::string cmd = ReadCommand(i % 2, 0x04, 18);
    const std::string want = Transact(clean, cmd, 42);
    const std::string got = Transact(faulty, cmd, 42);
    ASSERT_EQ(got.size(), want.size());
    int differ = 0;
    for (std::size_t k = 0; k < got.size(); ++k) {
      if (got[k] == want[k]) continue;
      ++differ;
      if (IsHex(got[k])) {
        ++toHex;
        EXPECT_NE(HexDigit(got[k]), HexDigit(want[k]));  // another value, not just another case
      } else {
        ++toOther;
      }
    }
    EXPECT_EQ(differ, 1) << want << " / " << got;
  }
  EXPECT_GT(toHex, 40);
  EXPECT_GT(toOther, 40);
  const FaultCounters& n = faulty.Counters();
  EXPECT_EQ(n.corrupted, 200u);
  EXPECT_EQ(n.corruptedToHex, static_cast<std::uint64_t>(toHex));
  EXPECT_EQ(n.reads, 200u);
  EXPECT_EQ(n.transactions, 201u);
  EXPECT_EQ(n.shortened, 0u);
}

TEST(FaultBridge, ShortReadsLeaveTheRestOfTheBufferAlone) {
  FaultSettings f;
  f.shortRead = 1.0;
  FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
  std::uint64_t dropped = 0;
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(faulty.Open(0));
    faulty.SetTimeouts(1000, 1000);
    faulty.Write("MSxT80T02RRRRRRRX");
    char buf[18];
    std::fill(std::begin(buf), std::end(buf), '#');
    const std::size_t got = faulty.Read(buf, 18);
    faulty.Close();
    EXPECT_LT(got, 18u);
    dropped += 18 - got;
    for (std::size_t k = 0; k < got; ++k) EXPECT_TRUE(IsHex(buf[k]));
    for (std::size_t k = got; k < 18; ++k) EXPECT_EQ(buf[k], '#');
  }
  EXPECT_EQ(faulty.Counters().shortened, 50u);
  EXPECT_EQ(faulty.Counters().charactersDropped, dropped);
}

TEST(FaultBridge, RatesAreRoughlyHonouredAndSeeded) {
  auto run = [](std::uint64_t seed, FaultCounters* counters) {
    FaultSettings f;
    f.corrupt = 0.2;
    f.shortRead = 0.1;
    f.seed = seed;
    FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
    std::string all;
    for (int i = 0; i < 1000; ++i) all += Transact(faulty, "MSxT81T02RRRRRRRX", 18) + "|";
    *counters = faulty.Counters();
    return all;
  };
  FaultCounters a, b, c;
  const std::string first = run(9, &a);
  EXPECT_EQ(first, run(9, &b));
  EXPECT_NE(first, run(10, &c));
  EXPECT_EQ(a.corrupted, b.corrupted);
  EXPECT_GT(a.corrupted, 140u);
  EXPECT_LT(a.corrupted, 260u);
  EXPECT_GT(a.shortened, 60u);
  EXPECT_LT(a.shortened, 140u);
}

TEST(FaultBridge, IdentifyRepliesPassUntouched) {
  FaultSettings f;
  f.corrupt = 1.0;
  f.shortRead = 1.0;
  FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
  std::uint64_t empty = 0;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(Transact(faulty, "IZ", 50), std::string(SimStack::kIdentity));
    const std::string reply = Transact(faulty, "MSxT80T02RRRRRRRX", 18);
    EXPECT_LT(reply.size(), 18u);
    if (reply.empty()) ++empty;
  }
  EXPECT_EQ(faulty.Counters().exemptReads, 50u);
  EXPECT_EQ(faulty.Counters().reads, 100u);
  EXPECT_EQ(faulty.Counters().shortened, 50u);
  // Every non-empty register reply also had one character replaced.
  EXPECT_EQ(faulty.Counters().corrupted, 50u - empty);
}

TEST(FaultBridge, UnplugAfterNTransactions) {
  FaultSettings f;
  f.unplugAfter = 3;
  FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Transact(faulty, "IZ", 50).substr(0, 9), "ZQM4417-2");
  EXPECT_TRUE(faulty.Unplugged());
  EXPECT_FALSE(faulty.Open(0));
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(faulty.Write("IZ"), 0u);
  EXPECT_EQ(faulty.Read(buf, 4), 0u);
  EXPECT_EQ(buf[0], '#');
  faulty.Close();
  EXPECT_EQ(Transact(faulty, "IZ", 50), "");
  EXPECT_EQ(faulty.Counters().transactions, 3u);
  EXPECT_EQ(faulty.Counters().refusedOpens, 2u);
}

// The fault sequence of a seed is pinned: it depends on nothing but the
// 64-bit generator, whose output the C++ standard fixes, so every standard
// library must give these numbers.
TEST(FaultBridge, ASeedGivesTheSameFaultsWithAnyStandardLibrary) {
  FaultSettings f;
  f.corrupt = 0.3;
  f.shortRead = 0.2;
  f.seed = 2024;
  FaultBridge faulty(std::make_unique<SimBridge>(Quiet()), f);
  std::string first;
  for (int i = 0; i < 400; ++i) {
    const std::string reply = Transact(faulty, "MSxT80T02RRRRRRRX", 18);
    if (i < 8) first += reply + "|";
  }
  const FaultCounters& n = faulty.Counters();
  EXPECT_EQ(n.corrupted, 104u);
  EXPECT_EQ(n.corruptedToHex, 49u);
  EXPECT_EQ(n.shortened, 56u);
  EXPECT_EQ(n.charactersDropped, 550u);
  EXPECT_EQ(first,
            "FFFF00000000000000|FFFF00000000000000|FFFF00000000000|FFFFJ0000000000000|"
            "FFFF00000000000000|FFFF00000000000|FFFF00000000000000|FFFF00000000000000|");
}

TEST(FaultBridge, CountersInOneLine) {
  FaultCounters n;
  n.transactions = 12;
  n.refusedOpens = 3;
  n.reads = 9;
  n.exemptReads = 2;
  n.corrupted = 4;
  n.corruptedToHex = 1;
  n.shortened = 5;
  n.charactersDropped = 17;
  EXPECT_EQ(FormatFaultCounters(n),
            "fault injection: 12 transactions, 3 refused after unplug, 9 reads (2 identify "
            "replies left alone), 4 corrupted (1 into another hex digit), 5 short (17 characters "
            "dropped)");
}

TEST(UnitInterval, TopBitsGiveZeroUpToJustBelowOneOrAboveZero) {
  constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(UnitInterval(0), 0.0);
  EXPECT_EQ(UnitInterval(std::uint64_t{1} << 63), 0.5);
  EXPECT_EQ(UnitInterval(kAll), 1.0 - 1.0 / 9007199254740992.0);  // 1 - 2^-53, never 1
  EXPECT_EQ(UnitInterval(2047), 0.0);                             // the low 11 bits do not count
  EXPECT_EQ(OpenUnitInterval(0), 0.5 / 9007199254740992.0);       // never 0: safe for log()
  EXPECT_EQ(OpenUnitInterval(kAll), 1.0);                         // 1 - 2^-54 rounds up
  EXPECT_EQ(OpenUnitInterval(std::uint64_t{1} << 63), 0.5 + 0.5 / 9007199254740992.0);
}

// Why the last transaction failed reaches the caller through any wrapper;
// a fault wrapper that refuses an Open says that it did.
TEST(Wrappers, PassOnTheTransportsReason) {
  TtyBridge direct("/nonexistent/ttyUSB9");
  ASSERT_FALSE(direct.Open(0));
  const std::string missing = direct.LastError();
  ASSERT_FALSE(missing.empty());

  FaultSettings f;
  f.unplugAfter = 2;
  std::ostringstream out;
  auto fault =
      std::make_unique<FaultBridge>(std::make_unique<TtyBridge>("/nonexistent/ttyUSB9"), f);
  FaultBridge& faulty = *fault;
  TraceBridge trace(std::move(fault), out);
  EXPECT_EQ(trace.LastError(), "");
  EXPECT_FALSE(trace.Open(0));
  EXPECT_EQ(faulty.LastError(), missing);
  EXPECT_EQ(trace.LastError(), missing);
  trace.Close();
  EXPECT_FALSE(trace.Open(0));
  trace.Close();
  EXPECT_FALSE(trace.Open(0));  // the third: refused by the wrapper itself
  EXPECT_EQ(trace.LastError(), "unplugged by fault injection after 2 transactions");
  trace.Close();

  SimBridge sim(Quiet());
  EXPECT_EQ(Transact(sim, "IZ", 50).substr(0, 9), "ZQM4417-2");
  EXPECT_EQ(sim.LastError(), "");
  sim.Stack().ApplyCommand({"unplug"});
  EXPECT_EQ(Transact(sim, "IZ", 50), "");
  EXPECT_EQ(sim.LastError(), "the simulated bridge is unplugged (sim unplug)");
  sim.Stack().ApplyCommand({"replug"});
  EXPECT_EQ(Transact(sim, "IZ", 50).substr(0, 9), "ZQM4417-2");
  EXPECT_EQ(sim.LastError(), "");
}

// A stream with room for a fixed number of characters, then full.
class FullAfter : public std::streambuf {
 public:
  explicit FullAfter(std::size_t room) : room_(room) {}
  std::string written;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (room_ == 0) return traits_type::eof();
    --room_;
    written.push_back(traits_type::to_char_type(c));
    return c;
  }

 private:
  std::size_t room_;
};

TEST(TraceBridge, ALineThatCannotBeWrittenIsNoticedAtOnce) {
  FullAfter buffer(60);  // the identify line fits, the next does not
  std::ostream out(&buffer);
  TraceBridge trace(std::make_unique<SimBridge>(Quiet()), out);
  int calls = 0;
  trace.OnWriteFailure([&] { ++calls; });
  Transact(trace, "IZ", 50);
  EXPECT_FALSE(trace.WriteFailed());
  EXPECT_NE(buffer.written.find("\tIZ\tZQM4417-2"), std::string::npos) << buffer.written;
  // The transactions themselves go on; the failure is reported once.
  EXPECT_EQ(Transact(trace, "MSxT80T02RRRRRRRX", 18), "FFFF00000000000000");
  EXPECT_TRUE(trace.WriteFailed());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Transact(trace, "MSxT80T02RRRRRRRX", 18), "FFFF00000000000000");
  EXPECT_EQ(calls, 1);
}

TEST(FaultBridge, SettingsText) {
  std::string error;
  auto s = ParseFaultSettings("pec=0.01,short=0.005,seed=7,unplug=12", &error);
  ASSERT_TRUE(s) << error;
  EXPECT_DOUBLE_EQ(s->corrupt, 0.01);
  EXPECT_DOUBLE_EQ(s->shortRead, 0.005);
  EXPECT_EQ(s->seed, 7u);
  EXPECT_EQ(s->unplugAfter, 12);
  auto alias = ParseFaultSettings("corrupt=0.5", &error);
  ASSERT_TRUE(alias);
  EXPECT_DOUBLE_EQ(alias->corrupt, 0.5);
  auto none = ParseFaultSettings("", &error);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->unplugAfter, -1);
  for (const char* bad : {"drop=0.1", "pec=2", "short=-1", "seed=x", "unplug=-3", "pec"}) {
    error.clear();
    EXPECT_FALSE(ParseFaultSettings(bad, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  ParseFaultSettings("drop=0.1", &error);
  EXPECT_NE(error.find("'drop'"), std::string::npos) << error;
}

TEST(TraceBridge, OneTabSeparatedLinePerTransaction) {
  auto owned = std::make_unique<SimBridge>(Quiet());
  SimBridge& sim = *owned;
  std::ostringstream out;
  {
    TraceBridge trace(std::move(owned), out);
    EXPECT_EQ(&trace.Inner(), &sim);
    EXPECT_EQ(trace.Describe(), sim.Describe());
    Transact(trace, "IZ", 50);
    Transact(trace, "MSxS10X", 0);
    Transact(trace, "MSxT80T02RRRRRRRX", 18);
    // A failed open is still one transaction, with nothing delivered (the
    // caller goes through all five calls without looking at results).
    sim.Stack().ApplyCommand({"unplug"});
    char buf[50];
    EXPECT_FALSE(trace.Open(0));
    trace.SetTimeouts(200, 50);
    EXPECT_EQ(trace.Write("IZ"), 0u);
    EXPECT_EQ(trace.Read(buf, 50), 0u);
    trace.Close();
  }
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u) << out.str();
  const std::regex form(R"(^(\d+\.\d{6})\t([^\t]*)\t([^\t]*)$)");
  double last = -1;
  std::vector<std::pair<std::string, std::string>> fields;
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, form)) << line;
    const double t = std::stod(m[1].str());
    EXPECT_GE(t, last);
    last = t;
    fields.emplace_back(m[2].str(), m[3].str());
  }
  EXPECT_EQ(fields[0].first, "IZ");
  EXPECT_EQ(fields[0].second, "ZQM4417-2 UB774B SIMULATED STACK\\r\\n");
  EXPECT_EQ(fields[1].first, "MSxS10X");
  EXPECT_EQ(fields[1].second, "");
  EXPECT_EQ(fields[2].first, "MSxT80T02RRRRRRRX");
  EXPECT_EQ(fields[2].second, "FFFF00000000000000");
  EXPECT_EQ(fields[3].first, "IZ");
  EXPECT_EQ(fields[3].second, "");
}

}  // namespace
}  // namespace eb

namespace eb {
namespace {

// A simulated bridge that counts the line reads it is asked for.
class LineCounter : public SimBridge {
 public:
  using SimBridge::SimBridge;
  std::size_t ReadLine(char* buffer, std::size_t n) override {
    ++lineReads;
    return SimBridge::ReadLine(buffer, n);
  }
  int lineReads = 0;
};

// Line reads reach the transport through every wrapper as line reads: the
// identity passes untouched and is traced, a register reply gets the faults.
TEST(Wrappers, PassLineReadsOn) {
  auto inner = std::make_unique<LineCounter>(Quiet());
  LineCounter& counter = *inner;
  FaultSettings f;
  f.corrupt = 1.0;
  auto fault = std::make_unique<FaultBridge>(std::move(inner), f);
  FaultBridge& faulty = *fault;
  std::ostringstream out;
  TraceBridge trace(std::move(fault), out);
  char buf[50];
  for (const std::string& command : {std::string("IZ"), ReadCommand(0, 0x02, 6)}) {
    ASSERT_TRUE(trace.Open(0));
    trace.Write(command);
    EXPECT_EQ(trace.ReadLine(buf, command == "IZ" ? 50 : 18), command == "IZ" ? 34u : 18u);
    trace.Close();
  }
  EXPECT_EQ(counter.lineReads, 2);
  EXPECT_EQ(faulty.Counters().corrupted, 1u);
  EXPECT_NE(out.str().find("\tIZ\tZQM4417-2 UB774B SIMULATED STACK\\r\\n\n"), std::string::npos);
}

// The simulated bridge ends a line read after the CR LF and charges its
// clock no read time-out for it.
TEST(SimBridgeLines, ALineReadEndsAtCrLfWithoutTheTimeOut) {
  SimBridge sim(Quiet());
  char buf[100];
  ASSERT_TRUE(sim.Open(0));
  sim.SetTimeouts(200, 50);
  sim.Write("IZIZ");
  double before = sim.Stack().Now();
  EXPECT_EQ(sim.ReadLine(buf, 100), 34u);
  EXPECT_LT(sim.Stack().Now() - before, 0.01);
  EXPECT_EQ(sim.Pending(), 34u);  // the second line stays
  before = sim.Stack().Now();
  EXPECT_EQ(sim.Read(buf, 50), 34u);  // a read to its count waits the time-out
  EXPECT_GE(sim.Stack().Now() - before, 0.2);
  sim.Close();
}

}  // namespace
}  // namespace eb
