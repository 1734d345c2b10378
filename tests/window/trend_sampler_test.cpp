// The trend sampler against a window on the simulated stack: which readings
// become records, gaps for boards without a believable reading and for reads
// that gave up, and that keeping a trend changes nothing on the bridge.
#include "window/trend_sampler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link/trace_bridge.h"
#include "sim/sim_stack.h"
#include "support/fakes.h"
#include "trend/stats.h"
#include "trend/store.h"
#include "window/form1.h"
#include "window/sample_tap.h"
#include "wiring/connection.h"

namespace eb {
namespace {

using Clock = std::chrono::system_clock;

// A started window on a simulated stack, its ticks observed by a sampler
// (when `sampled`), each tick 100 ms after the previous one.
struct SampledWindow {
  Connection conn;
  std::ostringstream traffic;
  std::unique_ptr<TraceBridge> traced;
  test::FakePlatform platform;
  std::unique_ptr<Form1> form;
  trend::Store store;
  TrendSampler sampler{store};
  SampleTap tap;
  bool sampled = true;
  Clock::time_point now = Clock::time_point{} + std::chrono::hours(24 * 365 * 55);

  explicit SampledWindow(const std::string& sim, bool withSampler = true) : sampled(withSampler) {
    std::string error;
    auto c = OpenConnection(sim, &error);
    if (!c) throw std::runtime_error(error);
    conn = std::move(*c);
    traced = std::make_unique<TraceBridge>(std::move(conn.bridge), traffic);
    form = std::make_unique<Form1>(*traced, platform);
    form->Form_Load();
  }
  void Sim(const std::vector<std::string>& words) {
    const std::string error = conn.control->Apply(words);
    if (!error.empty()) throw std::runtime_error(error);
  }
  // The operator's set-up: duty cycle 1 written to every board and read
  // back, then the stack size (which reads every board's configuration).
  void Configure(int boards) {
    form->Command0_Click(1);
    form->Command1_click(5);
    form->Command1_click(6);
    form->Combo1.setListIndex(boards - 1);
  }
  void Start() { form->Command1_click(10); }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      now += std::chrono::milliseconds(100);
      if (sampled) sampler.BeforeTick(*form);
      tap.BeforeTick(*form);
      if (form->Timer1.enabled) form->Timer1_Timer();
      if (sampled) sampler.AfterTick(*form, now);
      tap.AfterTick(*form, now);
    }
  }
  std::int64_t NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  }
  std::vector<trend::CellRecord> Cells() const {
    std::vector<trend::CellRecord> v;
    for (auto s = store.cells.firstSeq(); s < store.cells.endSeq(); ++s)
      v.push_back(store.cells.at(s));
    return v;
  }
  std::vector<trend::TempRecord> Temps() const {
    std::vector<trend::TempRecord> v;
    for (auto s = store.temps.firstSeq(); s < store.temps.endSeq(); ++s)
      v.push_back(store.temps.at(s));
    return v;
  }
};

bool AllGaps(const auto& volts) {
  for (float v : volts)
    if (!std::isnan(v)) return false;
  return true;
}

TEST(TrendSampler, RecordsEachBoardsCellsAndTemperaturesAsTheCycleReadsThem) {
  SampledWindow w("sim:boards=4,seed=1,noise=0");
  w.Sim({"cell", "1", "3", "3.912"});
  w.Sim({"cell", "3", "12", "4.101"});
  w.Sim({"temp", "2", "3", "1.25"});
  w.Configure(4);
  w.Ticks(5);  // idle ticks make no records
  EXPECT_EQ(w.store.cells.size(), 0u);
  w.Start();
  const std::int64_t startMs = w.NowMs();
  w.Ticks(24);  // two cycles of four boards

  const auto cells = w.Cells();
  ASSERT_EQ(cells.size(), 8u);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(cells[i].board), i % 4);
    // Cell steps are the first of each board's three ticks.
    EXPECT_EQ(cells[i].ms, startMs + 100 * (3 * static_cast<std::int64_t>(i) + 1));
    for (float v : cells[i].volts) EXPECT_FALSE(std::isnan(v));
  }
  EXPECT_NEAR(cells[1].volts[2], 3.912, 0.0015);
  EXPECT_NEAR(cells[3].volts[11], 4.101, 0.0015);
  EXPECT_NEAR(cells[7].volts[11], 4.101, 0.0015);
  // The record holds what the window shows.
  for (int c = 1; c <= 12; ++c)
    EXPECT_EQ(cells[7].volts[static_cast<std::size_t>(c - 1)],
              w.form->CELLvolt[static_cast<std::size_t>(12 * 3 + c)]);

  const auto temps = w.Temps();
  ASSERT_EQ(temps.size(), 8u);
  EXPECT_EQ(temps[2].board, 2);
  EXPECT_EQ(temps[2].ms, startMs + 100 * (3 * 2 + 2));
  EXPECT_NEAR(temps[2].volts[2], 1.25, 0.0015);
  EXPECT_FALSE(AllGaps(temps[0].volts));
}

TEST(TrendSampler, ADatalogCycleOfFourStepsGivesOneRecordOfEachKindPerBoard) {
  SampledWindow w("sim:boards=2,seed=8");
  w.Configure(2);
  ASSERT_EQ(w.form->SetupDatalog(10, ::testing::TempDir() + "trend_datalog.xlsx"), "");
  w.form->Command1_click(11);  // START D-LOG
  ASSERT_EQ(w.form->DATACOLLECTflag, 1);
  ASSERT_EQ(w.form->OnOff, 1);
  const std::int64_t startMs = w.NowMs();
  w.Ticks(16);  // two cycles of two boards, four steps each
  const auto cells = w.Cells();
  const auto temps = w.Temps();
  ASSERT_EQ(cells.size(), 4u);
  ASSERT_EQ(temps.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(static_cast<std::size_t>(cells[i].board), i % 2);
    EXPECT_EQ(cells[i].ms, startMs + 100 * (4 * static_cast<std::int64_t>(i) + 1));
    EXPECT_EQ(temps[i].ms, startMs + 100 * (4 * static_cast<std::int64_t>(i) + 2));
    EXPECT_EQ(trend::StatsOf(cells[i]).count, 12);
  }
}

TEST(TrendSampler, AMissingBoardIsAGapNeverAZero) {
  SampledWindow w("sim:boards=4,seed=2");
  w.Configure(4);
  w.Sim({"missing", "2", "1"});
  w.Start();
  w.Ticks(36);
  ASSERT_EQ(w.form->OnOff, 1);
  ASSERT_EQ(w.form->PECstatus[2], 2);  // the window saw no answer: red lamp
  int missing = 0;
  for (const auto& r : w.Cells()) {
    if (r.board == 2) {
      ++missing;
      EXPECT_TRUE(AllGaps(r.volts));
      EXPECT_EQ(trend::StatsOf(r).count, 0);
    } else {
      EXPECT_EQ(trend::StatsOf(r).count, 12);
      EXPECT_GT(trend::StatsOf(r).min, 1.0);
    }
  }
  EXPECT_EQ(missing, 3);
  for (const auto& r : w.Temps()) EXPECT_EQ(AllGaps(r.volts), r.board == 2);

  // Put back and configured again, the board has readings again.
  w.Sim({"missing", "2", "0"});
  w.form->Command1_click(10);  // stop
  w.Configure(4);
  w.Start();
  w.Ticks(12);
  EXPECT_EQ(trend::StatsOf(w.store.cells.newest()).count, 12);
  EXPECT_EQ(w.store.cells.newest().board, 3);
  EXPECT_FALSE(AllGaps(w.store.cells.at(w.store.cells.endSeq() - 2).volts));  // board 2
}

TEST(TrendSampler, AReadThatGivesUpIsAGapAndStoppedReadingBreaksEveryLine) {
  SampledWindow w("sim:boards=3,seed=3");
  w.Configure(3);
  w.Start();
  w.Ticks(9);
  const std::size_t before = w.store.cells.size();
  ASSERT_EQ(before, 3u);
  // Retries on, every reply corrupted: board 0's cell read gives up after
  // ten attempts and stops the reading; the window has zeroed the readings.
  w.form->Check_AUTO.setValue(1);
  w.Sim({"pec-errors", "1"});
  w.Ticks(1);
  ASSERT_EQ(w.form->OnOff, 0);
  ASSERT_EQ(w.platform.messages.size(), 1u);
  const auto cells = w.Cells();
  // The give-up (board 0), then a gap for each board of the stack.
  ASSERT_EQ(cells.size(), before + 1 + 3);
  EXPECT_EQ(cells[before].board, 0);
  for (std::size_t i = before; i < cells.size(); ++i) EXPECT_TRUE(AllGaps(cells[i].volts));
  EXPECT_EQ(cells[before + 1].board, 0);
  EXPECT_EQ(cells[before + 3].board, 2);
  ASSERT_EQ(w.store.temps.size(), 3u + 3u);
  EXPECT_TRUE(AllGaps(w.store.temps.newest().volts));
  // Nothing more while reading is stopped.
  w.Ticks(10);
  EXPECT_EQ(w.store.cells.size(), cells.size());
}

TEST(TrendSampler, AnOperatorStopBreaksTheLinesOnce) {
  SampledWindow w("sim:boards=2,seed=4");
  w.Configure(2);
  w.Start();
  w.Ticks(6);
  w.form->Command1_click(10);  // stop between ticks
  w.Ticks(5);
  const auto cells = w.Cells();
  ASSERT_EQ(cells.size(), 2u + 2u);
  EXPECT_FALSE(AllGaps(cells[1].volts));
  EXPECT_TRUE(AllGaps(cells[2].volts));
  EXPECT_TRUE(AllGaps(cells[3].volts));
  EXPECT_EQ(cells[3].board, 1);
}

TEST(TrendSampler, TenCellBoardsHaveNoCells11And12) {
  SampledWindow w("sim:boards=1,seed=5,noise=0");
  w.form->Check0[3].setValue(1);  // CELL10 bit of the configuration
  w.Configure(1);
  ASSERT_EQ(w.form->RDCFGvalid[0], 1);
  w.Start();
  w.Ticks(3);
  const auto r = w.store.cells.newest();
  for (int c = 0; c < 10; ++c) EXPECT_FALSE(std::isnan(r.volts[static_cast<std::size_t>(c)]));
  EXPECT_TRUE(std::isnan(r.volts[10]));
  EXPECT_TRUE(std::isnan(r.volts[11]));
  EXPECT_EQ(trend::StatsOf(r).count, 10);
  EXPECT_GT(trend::StatsOf(r).min, 1.0);  // the unmeasured 0 V is no minimum
}

TEST(TrendSampler, KeepingATrendChangesNothingOnTheBridge) {
  auto run = [](bool sampled) {
    SampledWindow w("sim:boards=4,seed=6,missing=1", sampled);
    w.Configure(4);
    w.Start();
    w.Ticks(40);
    std::string traffic = w.traffic.str();
    // Drop the time stamps: the transactions in order, their replies.
    std::string commands;
    std::istringstream in(traffic);
    for (std::string line; std::getline(in, line);) commands += line.substr(line.find('\t')) + "\n";
    return commands;
  };
  const std::string with = run(true), without = run(false);
  EXPECT_GT(with.size(), 1000u);
  EXPECT_EQ(with, without);
}

TEST(TrendSampler, ThresholdsAreThoseOfTheConfigurationBeingEdited) {
  SampledWindow w("sim:boards=2,seed=7");
  auto [uv, ov] = TrendThresholds(*w.form, 0);
  EXPECT_TRUE(std::isnan(uv));  // 0: not compared, not drawn
  EXPECT_TRUE(std::isnan(ov));
  w.form->VUVreg[1] = 100;
  w.form->VOVreg[1] = 175;
  std::tie(uv, ov) = TrendThresholds(*w.form, 1);
  EXPECT_NEAR(uv, 2.4, 1e-9);
  EXPECT_NEAR(ov, 4.2, 1e-9);
  // The arrows of the voltage limits step the selected board's threshold.
  w.form->Command2_Click(1);
  std::tie(uv, ov) = TrendThresholds(*w.form, 0);
  EXPECT_NEAR(uv, 0.024, 1e-9);
}

struct CollectedSamples : SampleSink {
  std::vector<BoardSample> samples;
  std::vector<StackConfig> configs;
  void Sample(const BoardSample& s) override { samples.push_back(s); }
  void ConfigChanged(const StackConfig& c) override { configs.push_back(c); }
};

// The tap hands on one sample per board per completed pass, with the cells
// the trend draws (NaN where it shows a gap), and the configuration (with
// the window's setup) when attached and when it changes.
TEST(SampleTap, OneSamplePerBoardPerPassAsTheTrendSeesIt) {
  struct Case {
    bool datalog;
    int ticksPerPass;
  };
  for (const Case c : {Case{false, 3}, Case{true, 4}}) {
    SCOPED_TRACE(c.datalog ? "datalog" : "continuous");
    SampledWindow w("sim:boards=3,seed=9,noise=0");
    w.Sim({"cell", "0", "5", "3.777"});
    w.Sim({"missing", "2", "1"});
    w.Configure(3);
    CollectedSamples sink;
    w.tap.Attach(sink, *w.form, w.now);
    ASSERT_EQ(sink.configs.size(), 1u);
    ASSERT_EQ(sink.configs[0].boards.size(), 3u);
    EXPECT_EQ(sink.configs[0].boards[1].address, 1);
    EXPECT_EQ(sink.configs[0].boards[0].cfgr.substr(0, 4), "E1, ");
    if (c.datalog) {
      ASSERT_EQ(w.form->SetupDatalog(10, ::testing::TempDir() + "tap_datalog.xlsx"), "");
      w.form->Command1_click(11);
    } else {
      w.Start();
    }
    const std::int64_t startMs = w.NowMs();
    w.Ticks(3 * c.ticksPerPass * 2);
    ASSERT_EQ(sink.samples.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
      const BoardSample& s = sink.samples[i];
      EXPECT_EQ(s.board, static_cast<int>(i % 3) + 1);
      EXPECT_EQ(s.ms, startMs + 100 * c.ticksPerPass * static_cast<std::int64_t>(i + 1));
      const bool missing = s.board == 3;
      for (double v : s.cells) EXPECT_EQ(std::isnan(v), missing);
      for (double v : s.temps) EXPECT_EQ(std::isnan(v), missing);
      EXPECT_EQ(s.cvRead, missing ? ReadOutcome::kNone : ReadOutcome::kMatch);
      EXPECT_EQ(s.StatusText().size(), 12u * 2 + 11 * 2);
    }
    EXPECT_NEAR(sink.samples[3].cells[4], 3.777, 0.0015);
    if (c.datalog) {  // the datalog's first sample was collected on the same tick
      EXPECT_EQ(sink.samples[0].cfgr, w.form->DataCell(1, 1, 0));
      EXPECT_EQ(sink.samples[0].StatusText(), w.form->DataCell(1, 17, 0));
    }
    // Reading ticks the broadcast boxes of the cell and temperature starts
    // as it starts: the setup changed, the boards' configurations did not.
    ASSERT_EQ(sink.configs.size(), 2u);
    EXPECT_EQ(sink.configs[1].boards, sink.configs[0].boards);
    EXPECT_NE(sink.configs[1].setup.find("broadcast-temp-start = yes"), std::string::npos);
    EXPECT_NE(sink.configs[0].setup.find("broadcast-temp-start = no"), std::string::npos);
    w.form->Command2_Click(1);  // a threshold of board 1 stepped
    w.Ticks(1);
    ASSERT_EQ(sink.configs.size(), 3u);
    EXPECT_NEAR(sink.configs[2].boards[0].vuv, 0.024, 1e-9);
    w.tap.Detach(sink);
    w.Ticks(3 * c.ticksPerPass);
    EXPECT_EQ(sink.samples.size(), 6u);
  }
}

}  // namespace
}  // namespace eb
