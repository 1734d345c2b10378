// Continuous reading through the fault wrapper for thousands of ticks: no
// crash, and with "PEC Match Only" no accepted reading differs from what the
// simulated chip sent.
#include <gtest/gtest.h>

#include "link/fault_bridge.h"
#include "protocol/hex.h"
#include "sim/sim_stack.h"
#include "support/fakes.h"
#include "window/form1.h"
#include "wiring/connection.h"

namespace eb {
namespace {

struct Soak {
  Connection conn;
  test::FakePlatform platform;
  std::unique_ptr<Form1> form;

  explicit Soak(const std::string& connection) {
    std::string error;
    auto c = OpenConnection(connection, &error);
    EXPECT_TRUE(c.has_value()) << error;
    conn = std::move(*c);
    form = std::make_unique<Form1>(*conn.bridge, platform);
    form->Form_Load();
  }
  // Three boards, retry on, continuous reading started.
  void StartThreeBoards() {
    form->Combo1.setListIndex(2);
    form->Check_AUTO.setValue(1);
    form->Command1_click(10);
  }
};

// Every board's stored readings are either still 0 (blank) or what its
// chip holds; `checked` counts the cells that hold a reading.
void CheckReadings(const Soak& s, int lastBoard, int tick, int* checked) {
  const Form1& f = *s.form;
  for (int b = 0; b <= lastBoard; ++b) {
    const SimChip& chip = s.conn.sim->Chip(b);
    for (int c = 1; c <= 12; ++c) {
      float v = f.CELLvolt[static_cast<size_t>(12 * b + c)];
      float expected = static_cast<float>(chip.CellCounts()[static_cast<size_t>(c - 1)] * 0.0015);
      ASSERT_TRUE(v == 0.0f || v == expected)
          << "tick " << tick << " board " << b << " cell " << c << ": " << v << " not " << expected;
      *checked += v == expected ? 1 : 0;
    }
    for (int k = 1; k <= 3; ++k) {
      float v = f.CELLvolt[static_cast<size_t>(120 + 3 * b + k)];
      float expected = static_cast<float>(chip.TempCounts()[static_cast<size_t>(k - 1)] * 0.0015);
      ASSERT_TRUE(v == 0.0f || v == expected) << "tick " << tick << " board " << b << " temp " << k;
    }
    const std::string flags[3] = {f.FLGR0rd[static_cast<size_t>(b)],
                                  f.FLGR1rd[static_cast<size_t>(b)],
                                  f.FLGR2rd[static_cast<size_t>(b)]};
    for (int j = 0; j < 3; ++j) {
      ASSERT_TRUE(flags[j].empty() || flags[j] == ByteHex(chip.Flags()[static_cast<size_t>(j)]))
          << "tick " << tick << " board " << b << " flag byte " << j;
    }
  }
}

TEST(FaultSoak, CorruptAndShortRepliesForThreeThousandTicksDoNotCrash) {
  Soak s("fault:pec=0.1,short=0.1,seed=21/sim:boards=3,seed=21");
  ASSERT_FALSE(s.form->Unloaded);
  s.StartThreeBoards();
  int restarts = 0;
  for (int t = 0; t < 3000 && !s.form->Unloaded; ++t) {
    s.form->Timer1_Timer();
    // A give-up stops continuous reading (after a message); start again.
    if (s.form->OnOff == 0) {
      ++restarts;
      s.form->Command1_click(10);
    }
  }
  EXPECT_FALSE(s.form->Unloaded);
  ASSERT_NE(s.conn.fault, nullptr);
  EXPECT_GT(s.conn.fault->Counters().corrupted, 100u);
  EXPECT_GT(s.conn.fault->Counters().shortened, 100u);
  EXPECT_EQ(static_cast<size_t>(restarts), s.platform.messages.size());
}

TEST(FaultSoak, WithPecMatchOnlyEveryAcceptedReadingIsWhatTheChipSent) {
  // One corrupted character per reply at most: CRC-8 catches every such
  // error, so nothing wrong may get through.
  Soak s("fault:pec=0.3,seed=22/sim:boards=3,seed=22,noise=0");
  ASSERT_FALSE(s.form->Unloaded);
  s.StartThreeBoards();
  Form1& f = *s.form;
  int checked = 0;
  for (int t = 0; t < 3000; ++t) {
    f.Timer1_Timer();
    ASSERT_EQ(f.OnOff, 1) << "gave up at tick " << t;
    CheckReadings(s, 2, t, &checked);
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(checked, 1000);
  EXPECT_GT(s.conn.fault->Counters().corrupted, 500u);
  EXPECT_TRUE(s.platform.messages.empty());
}

// Every stored and every displayed reading either is still the value left by
// the start of continuous reading (0 or blank) or equals what the chip holds:
// a reply that arrived short or not at all must never show the previous
// reply of its kind (another board's) as this board's reading.
TEST(FaultSoak, ShortAndLostRepliesNeverShowAnotherBoardsReadings) {
  Soak s("fault:pec=0.01,short=0.005,seed=23/sim:boards=10,seed=23,noise=0");
  ASSERT_FALSE(s.form->Unloaded);
  Form1& f = *s.form;
  f.Combo1.setListIndex(9);
  f.Check_AUTO.setValue(1);
  f.Command1_click(10);
  ASSERT_EQ(f.OnOff, 1);
  auto shown = [](double volts) { return VoltText(static_cast<float>(volts)) + "V  "; };
  const std::string blank = f.Text1[0].text;
  int checked = 0, restarts = 0;
  for (int t = 0; t < 100000; ++t) {
    f.Timer1_Timer();
    if (f.OnOff == 0) {  // ten rejected attempts in a row: start again
      ++restarts;
      f.Command1_click(10);
    }
    CheckReadings(s, 9, t, &checked);
    if (::testing::Test::HasFatalFailure()) return;
    // What the window shows for the selected board (board 1).
    const SimChip& chip = s.conn.sim->Chip(0);
    for (int c = 1; c <= 12; ++c) {
      const std::string& text = f.Text1[c - 1].text;
      ASSERT_TRUE(text == blank || text == shown(0) ||
                  text == shown(chip.CellCounts()[static_cast<size_t>(c - 1)] * 0.0015))
          << "tick " << t << " cell box " << c << ": " << text;
    }
  }
  EXPECT_GT(checked, 10000000);
  EXPECT_GT(s.conn.fault->Counters().shortened, 300u);
  EXPECT_EQ(static_cast<size_t>(restarts), s.platform.messages.size());
}

}  // namespace
}  // namespace eb
