// Settings text of the simulated stack and its run-time command grammar.
#include <gtest/gtest.h>

#include "sim/sim_bridge.h"
#include "sim/sim_settings.h"
#include "sim_test_support.h"

namespace eb {
namespace {

using namespace simtest;

TEST(SimSettingsText, DefaultsAndEveryKey) {
  std::string error;
  auto d = ParseSimSettings("", &error);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->boards, 10);
  EXPECT_EQ(d->rev, 1);
  EXPECT_DOUBLE_EQ(d->noise, 0.0015);
  EXPECT_DOUBLE_EQ(d->pecErrors, 0.0);

  auto s = ParseSimSettings(
      "boards=4,seed=99,noise=0,volts=3.3,missing=1+3,zeros=2,thsd=0+15,open=1.5+1.12+3.1,"
      "pec-errors=0.25,rev=6",
      &error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->boards, 4);
  EXPECT_EQ(s->seed, 99u);
  EXPECT_DOUBLE_EQ(s->noise, 0.0);
  EXPECT_DOUBLE_EQ(s->volts, 3.3);
  EXPECT_EQ(s->missing, (1u << 1) | (1u << 3));
  EXPECT_EQ(s->zeros, 1u << 2);
  EXPECT_EQ(s->thsd, 1u | (1u << 15));
  EXPECT_EQ(s->openWires[1], (1u << 4) | (1u << 11));
  EXPECT_EQ(s->openWires[3], 1u);
  EXPECT_EQ(s->openWires[0], 0u);
  EXPECT_DOUBLE_EQ(s->pecErrors, 0.25);
  EXPECT_EQ(s->rev, 6);
  EXPECT_EQ(DescribeSimSettings(*s), "simulated stack of 4 boards");
  s->boards = 1;
  EXPECT_EQ(DescribeSimSettings(*s), "simulated stack of 1 board");
}

TEST(SimSettingsText, ErrorsNameTheBadKey) {
  struct Case {
    const char* text;
    const char* mentions;
  };
  const Case cases[] = {
      {"colour=red", "colour"},
      {"boards=0", "boards"},
      {"boards=17", "boards"},
      {"boards=x", "boards"},
      {"seed=-1", "seed"},
      {"noise=-0.1", "noise"},
      {"volts=abc", "volts"},
      {"missing=16", "missing"},
      {"zeros=1+", "zeros"},
      {"open=3", "open"},
      {"open=3.13", "open"},
      {"open=3.0", "open"},
      {"pec-errors=2", "pec-errors"},
      {"rev=8", "rev"},
      {"boards", "boards"},
      {"seed=1,seed=2", "seed"},
      {"boards=2,,seed=1", "KEY=VALUE"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseSimSettings(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << " -> " << error;
  }
}

TEST(SimSettingsText, SettingsShapeTheStack) {
  auto s = ParseSimSettings("boards=3,noise=0,missing=1,zeros=2,thsd=0,rev=3", nullptr);
  ASSERT_TRUE(s);
  SimBridge bridge(*s);
  const SimStack& stack = bridge.Stack();
  EXPECT_TRUE(stack.Chip(0).present);
  EXPECT_FALSE(stack.Chip(1).present);
  EXPECT_TRUE(stack.Chip(2).present);
  EXPECT_TRUE(stack.Chip(2).zeros);
  EXPECT_FALSE(stack.Chip(3).present);  // beyond boards=
  EXPECT_TRUE(stack.Chip(0).thsd);
  EXPECT_EQ(stack.Chip(0).rev, 3);

  // volts= moves the default pack.
  auto low = ParseSimSettings("boards=1,noise=0,volts=3.0", nullptr);
  SimBridge lowBridge(*low);
  for (int c = 1; c <= 12; ++c) {
    EXPECT_GE(lowBridge.Stack().Chip(0).CellVolts(c), 2.9);
    EXPECT_LE(lowBridge.Stack().Chip(0).CellVolts(c), 3.1);
  }
}

TEST(SimCommandGrammar, AcceptedCommands) {
  SimBridge bridge(Quiet(2, SimSettings{}.seed));
  SimStack& stack = bridge.Stack();
  EXPECT_EQ(stack.ApplyCommand({"cell", "0", "3", "3.912"}), "");
  EXPECT_TRUE(stack.Chip(0).CellPinned(3));
  EXPECT_DOUBLE_EQ(stack.Chip(0).CellVolts(3), 3.912);
  EXPECT_EQ(stack.ApplyCommand({"cell", "15", "12", "0"}), "");
  EXPECT_EQ(stack.ApplyCommand({"temp", "1", "2", "1.75"}), "");
  EXPECT_TRUE(stack.Chip(1).TempPinned(2));
  EXPECT_DOUBLE_EQ(stack.Chip(1).TempVolts(2), 1.75);
  EXPECT_EQ(stack.ApplyCommand({"zeros", "1", "1"}), "");
  EXPECT_TRUE(stack.Chip(1).zeros);
  EXPECT_EQ(stack.ApplyCommand({"thsd", "0", "1"}), "");
  EXPECT_TRUE(stack.Chip(0).thsd);
  EXPECT_EQ(stack.ApplyCommand({"open", "0", "7", "1"}), "");
  EXPECT_EQ(stack.Chip(0).openWires, 1u << 6);
  EXPECT_EQ(stack.ApplyCommand({"pec-errors", "0.125"}), "");
  EXPECT_DOUBLE_EQ(stack.PecErrorRate(), 0.125);
  EXPECT_EQ(stack.ApplyCommand({"unplug"}), "");
  EXPECT_TRUE(stack.Unplugged());
  EXPECT_EQ(stack.ApplyCommand({"replug"}), "");
  EXPECT_FALSE(stack.Unplugged());

  // A board beyond boards= starts missing and can be added.
  EXPECT_EQ(Transact(bridge, ReadCommand(5, 0x02, 6), 18), std::string(18, 'F'));
  EXPECT_EQ(stack.ApplyCommand({"missing", "5", "0"}), "");
  EXPECT_EQ(Transact(bridge, ReadCommand(5, 0x02, 6), 18), "FFFF" + std::string(14, '0'));
  EXPECT_EQ(stack.ApplyCommand({"missing", "0", "1"}), "");
  EXPECT_EQ(Transact(bridge, ReadCommand(0, 0x02, 6), 18), std::string(18, 'F'));
}

TEST(SimCommandGrammar, RejectedCommandsSayWhy) {
  SimStack stack;
  struct Case {
    std::vector<std::string> words;
    const char* mentions;
  };
  const Case cases[] = {
      {{}, "missing command"},
      {{"celll", "0", "1", "3"}, "unknown command 'celll'"},
      {{"cell", "0", "1"}, "usage"},
      {{"cell", "16", "1", "3.0"}, "bad board"},
      {{"cell", "-1", "1", "3.0"}, "bad board"},
      {{"cell", "0", "0", "3.0"}, "bad cell"},
      {{"cell", "0", "13", "3.0"}, "bad cell"},
      {{"cell", "0", "1", "3.0V"}, "bad voltage"},
      {{"cell", "0", "1", "-1"}, "bad voltage"},
      {{"temp", "0", "4", "1.0"}, "bad input"},
      {{"temp", "0", "1"}, "usage"},
      {{"missing", "0", "2"}, "0 or 1"},
      {{"missing", "x", "1"}, "bad board"},
      {{"zeros", "1"}, "usage"},
      {{"thsd", "1", "yes"}, "0 or 1"},
      {{"open", "1", "13", "1"}, "bad cell"},
      {{"open", "1", "2"}, "usage"},
      {{"pec-errors", "1.5"}, "bad rate"},
      {{"pec-errors"}, "usage"},
      {{"unplug", "now"}, "no arguments"},
  };
  for (const Case& c : cases) {
    const std::string error = stack.ApplyCommand(c.words);
    EXPECT_NE(error.find(c.mentions), std::string::npos)
        << (c.words.empty() ? std::string("<empty>") : c.words[0]) << " -> " << error;
  }
  // Nothing was changed by the rejected commands.
  EXPECT_FALSE(stack.Chip(0).CellPinned(1));
  EXPECT_FALSE(stack.Unplugged());
  EXPECT_DOUBLE_EQ(stack.PecErrorRate(), 0.0);
}

}  // namespace
}  // namespace eb
