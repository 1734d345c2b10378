// Reading the simulated stack: single reads, continuous reading, PEC errors,
// missing and silent boards, and the command strings on the wire.
#include <gtest/gtest.h>

#include <regex>

#include "support/datalog_support.h"
#include "support/scenario.h"

namespace eb {
namespace {

using test::RunScenario;

// A freshly powered chip reads configuration 00 (duty cycle 0: not present);
// the operator first writes a configuration with the duty cycle at 1 and
// reads it back.
const char* const kConfigure = "click Command0 1\nclick Command1 5\nclick Command1 6\n";

const char* const kCellGiveUp =
    "MSGBOX: Excessive READ CELL VOLTAGE Communication Errors! Please configure jumper settings "
    "for "
    "address pins A0 to A3 correctly. Then check all power cell connections and SPI ribbon "
    "connections between boards.";

TEST(ScenarioReading, ReadCellVoltShowsTheSimulatedVoltagesToTheMillivolt) {
  std::string script = kConfigure;
  // Pinned volts snap to the nearest 1.5 mV count: 2.5005 V is stored just
  // below and shows 2.500, 6.1425 V (full scale) likewise shows 6.142.
  const double volts[12] = {3.912, 3.603, 0.0,    4.2,   2.5005, 3.3,
                            3.699, 1.233, 6.1425, 3.651, 3.66,   3.0};
  for (int c = 1; c <= 12; ++c)
    script += "sim cell 0 " + std::to_string(c) + " " + std::to_string(volts[c - 1]) + "\n";
  script += "click Command1 2\nclick Command1 7\n";
  const char* shown[12] = {" 3.912V  ", " 3.603V  ", " 0.000V  ", " 4.200V  ",
                           " 2.500V  ", " 3.300V  ", " 3.699V  ", " 1.233V  ",
                           " 6.142V  ", " 3.651V  ", " 3.660V  ", " 3.000V  "};
  for (int c = 0; c < 12; ++c)
    script += "expect Text1 " + std::to_string(c) + " text \"" + shown[c] + "\"\n";
  script += "expect RDCVvalid 0 value 1\nexpect Shape12 0 fill \"#00FF00\"\n";
  auto r = RunScenario("sim:boards=1,seed=3", script);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ScenarioReading, ContinuousReadingWalksEveryBoardInNineTicks) {
  auto r = RunScenario("sim:boards=3,seed=2", std::string(kConfigure) + R"(
set Combo1 2
click Command1 10
expect OnOff value 1
tick 9
expect BRDread value 0
expect RDCVvalid 2 value 1
expect Shape12 0 fill "#00FF00"
expect RDTMPvalid 2 value 1
expect Shape12 2 fill "#00FF00"
)");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // After the start (its configuration reads), each tick: identify, then one
  // step of the cycle.
  std::vector<std::string> reads;
  bool started = false;
  for (const auto& t : r.trace) {
    if (t.command == "IZ") started = started || !reads.empty() || true;
    if (t.command.rfind("MSxT8", 0) == 0 && t.command.substr(6, 3) != "T02")
      reads.push_back(t.command.substr(4, 5));
  }
  EXPECT_EQ(reads, (std::vector<std::string>{"80T04", "80T08", "80T06", "81T04", "81T08", "81T06",
                                             "82T04", "82T08", "82T06"}));
  EXPECT_EQ(r.Count("MSxS10X"), 3);  // broadcast cell conversions
  EXPECT_EQ(r.Count("MSxS30X"), 3);  // broadcast temperature conversions
}

TEST(ScenarioReading, PecErrorsWithRetryAreRetriedAndTheAcceptedReadMatches) {
  auto r = RunScenario("sim:boards=1,seed=6", R"(
sim pec-errors 0.4
click Command1 10
click Check_AUTO
tick 30
expect-no-msgbox
print Text8
)");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  // Some cell read needed a second attempt: two reads within one tick.
  int ticksWithRetry = 0, reads = 0;
  for (const auto& t : r.trace) {
    if (t.command == "IZ") {
      ticksWithRetry += reads >= 2 ? 1 : 0;
      reads = 0;
    } else if (t.command.rfind("MSxT80T04", 0) == 0) {
      ++reads;
    }
  }
  EXPECT_GT(ticksWithRetry, 0);
  // What the window shows is an accepted comparison: two equal PECs.
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(r.out, m, std::regex("\"text\":\"0x([0-9A-F]{2}) == 0x([0-9A-F]{2})\"")))
      << r.out;
  EXPECT_EQ(m[1], m[2]);
}

TEST(ScenarioReading, WrongPecWithoutRetryIsShownRedAndStillDecoded) {
  auto r = RunScenario("sim:boards=1,seed=7", R"(
sim cell 0 1 3.5
sim pec-errors 1
click Command1 2
click Command1 7
expect Text8 back "#FF0000"
expect Text1 0 text " 3.500V  "
expect Shape12 0 fill "#FF0000"
print Text8
)");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\"text\":\"0x[0-9A-F]{2} != 0x[0-9A-F]{2}\"")))
      << r.out;
}

// Expectations: the twelve cells of board b have this status and grid fill.
std::string BoardCells(int b, int status, const char* fill) {
  std::string s;
  for (int c = 12 * b; c < 12 * b + 12; ++c) {
    s += "expect CELLstatus " + std::to_string(c) + " value " + std::to_string(status) + "\n";
    s += "expect Shape1 " + std::to_string(c) + " fill \"" + fill + "\"\n";
  }
  return s;
}

TEST(ScenarioReading, ABoardThatStopsAnsweringHasNoReadingAndIsNotRetried) {
  // Board 2 of two (selected) reads normal, then stops answering; its last
  // flag read is followed by the next status update of the board (step 3 of
  // board 1). Zeros once showed "GOOD" beside 0.000 V, all 0xFF a false
  // over-voltage, as did the pass after an address change to an empty one.
  // No answer lights its lamp red; nothing is retried, no message shown.
  struct Case {
    const char* fault;
    const char* ticks;
    const char* lamp;
    const char* restore;
  } const cases[] = {
      {"sim zeros 1 1\n", "tick 9\n", "", "sim zeros 1 0\n"},
      {"sim missing 1 1\n", "tick 9\n", "#FF0000", "sim missing 1 0\n"},
      {"set Combo2 15\ntick 6\nset Combo2 1\n", "tick 2\n", "#00FF00", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::string script =
        std::string(kConfigure) + "set Combo1 1\nclick Command4 1\nclick Command1 10\ntick 9\n" +
        BoardCells(1, 1, "#00FF00") + c.fault + c.ticks + BoardCells(1, 0, "#FFFFFF") +
        "expect RDFLGanswer 1 value 3\n" +
        (*c.lamp ? std::string("expect Shape12 1 fill \"") + c.lamp + "\"\n" : "") +
        "expect-no-msgbox\n" + c.restore + "tick 9\n" + BoardCells(1, 1, "#00FF00") +
        "expect RDFLGanswer 1 value 1\n";
    auto r = RunScenario("sim:boards=2,seed=9,noise=0", script);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_LE(r.Count("MSxT81T04"), 4);  // at most one cell read of board 2 every six ticks
  }
}

TEST(ScenarioReading, AGiveUpIsOneMessageAndEndsTheReadingAndItsStep) {
  // The selected board stops answering with "PEC Match Only" on: the read
  // gives up after ten attempts and stops the reading. In a datalog pass the
  // configuration read gives up and the step ends there: no cell read of the
  // selected board in its place, whose give-up would turn the reading on
  // again. (Board 1 is clicked first in the datalog case: the address box
  // then already shows its address, and the stop's board click reads no
  // configurations.)
  test::ScratchDir dir;
  struct Case {
    const char* sim;
    std::string script;
    const char* gaveUp;  // the read retried ten times in the last tick
    const char* notRead;
    const char* box;
  } const cases[] = {
      {"sim:boards=3,seed=5", R"(sim missing 1 1
set Combo1 2
click Command4 1
click Command1 10
click Check_AUTO
tick 4
expect MEASURESKIPflag value 0
)",
       "MSxT81T04", "MSxT81T02", kCellGiveUp},
      {"sim:boards=2,seed=10",
       std::string(kConfigure) + "set Combo1 1\nclick Command4 0\ndatalog 20 \"" +
           dir / "run.xlsx" +
           "\"\nclick Check_AUTO\nclick Command1 11\ntick 8\nsim missing 0 1\ntick 1\n" +
           "expect DATACOLLECTflag value 1\n",
       "MSxT80T02", "MSxT80T04", "MSGBOX: Excessive READ CONFIG Communication Errors! "},
  };
  for (const Case& c : cases) {
    auto r = RunScenario(c.sim, c.script + "expect OnOff value 0\n", dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    int gaveUp = 0, notRead = 0;  // in the last tick, from its identify on
    for (auto t = r.trace.rbegin(); t != r.trace.rend() && t->command != "IZ"; ++t) {
      gaveUp += t->command.rfind(c.gaveUp, 0) == 0 ? 1 : 0;
      notRead += t->command.rfind(c.notRead, 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(gaveUp, 10) << c.gaveUp;
    EXPECT_EQ(notRead, 0) << c.notRead;
    const size_t box = r.out.find(c.box);
    ASSERT_NE(box, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MSGBOX: Excessive", box + 1), std::string::npos) << r.out;
  }
}

TEST(ScenarioReading, SingleCellGreyingEndsOnEveryBoard) {
  // Greying set on three boards, the stack shrunk to one, single-cell mode
  // ended, the stack grown again: no board keeps hollow grid cells.
  std::string script = std::string(kConfigure) + R"(
set Combo1 2
set Check5 2 1
click Check6 4
expect Shape1 24 fillShown false
set Combo1 0
click Check6 4
set Combo1 2
)";
  for (int i = 0; i < 36; ++i) script += "expect Shape1 " + std::to_string(i) + " fillShown true\n";
  auto r = RunScenario("sim:boards=3,seed=11", script);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(ScenarioReading, PollThenReadSendsMsxFirst) {
  auto r = RunScenario("sim:boards=1", "click Command1 0\nclick Command1 7\n");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto cmds = r.Commands();
  auto poll = std::find(cmds.begin(), cmds.end(), "MSxS80S40");
  ASSERT_NE(poll, cmds.end());
  ASSERT_LT(poll + 2, cmds.end());
  EXPECT_EQ(*(poll + 1), "MSX");
  EXPECT_EQ((poll + 2)->substr(0, 9), "MSxT80T04");
}

TEST(ScenarioReading, CommandStringsOnTheWire) {
  auto r = RunScenario("sim:boards=4", R"(
set Combo1 3
click Command4 3
click Check6 4
expect SINGLECELL_Lnib value "5"
click Command1 2
click Command1 3
type Text2 1 "4.104\r"
type Text2 0 "2.712\r"
expect CFGR4 3 value "71"
expect CFGR5 3 value "AB"
click Command1 5
)");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.Count("MSxS83S15X"), 1);
  EXPECT_EQ(r.Count("MSxS83S20X"), 1);
  EXPECT_EQ(r.Count("MSxT01SE0S00S00S00S71SABX"), 1);
}

}  // namespace
}  // namespace eb
