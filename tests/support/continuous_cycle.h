// Continuous reading of ten boards, paced as the window's timer paces it (a
// tick every 100 ms, or at once after a tick that overran), with the time
// spent in bridge transactions taken per tick and the identify's share.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "support/fakes.h"
#include "window/form1.h"

namespace eb::test {

using Ms = std::chrono::duration<double, std::milli>;

// Times each transaction (Open to Close) of the bridge it wraps. Without
// `lineReads` a line read waits for its count as a plain read does (how the
// identify used to read).
class TimedBridge : public Bridge {
 public:
  TimedBridge(Bridge& inner, bool lineReads) : inner_(inner), lineReads_(lineReads) {}
  bool Open(int device) override {
    start_ = std::chrono::steady_clock::now();
    identify_ = false;
    return inner_.Open(device);
  }
  void SetTimeouts(int readMs, int writeMs) override { inner_.SetTimeouts(readMs, writeMs); }
  std::size_t Write(std::string_view command) override {
    identify_ = command == "IZ";
    return inner_.Write(command);
  }
  std::size_t Read(char* buffer, std::size_t n) override { return inner_.Read(buffer, n); }
  std::size_t ReadLine(char* buffer, std::size_t n) override {
    return lineReads_ ? inner_.ReadLine(buffer, n) : inner_.Read(buffer, n);
  }
  void Close() override {
    inner_.Close();
    const double ms = Ms(std::chrono::steady_clock::now() - start_).count();
    inTransactions += ms;
    inIdentify += identify_ ? ms : 0;
  }
  std::string_view Describe() const override { return inner_.Describe(); }

  double inTransactions = 0, inIdentify = 0;  // milliseconds

 private:
  Bridge& inner_;
  bool lineReads_;
  bool identify_ = false;
  std::chrono::steady_clock::time_point start_;
};

struct CycleResult {
  bool started = false;                    // identified and reading continuously
  bool stillReading = false;               // ... after the last tick
  int boardsRead = 0;                      // boards whose cells were read during the ticks
  double cycleMs = 0;                      // from the first tick to the one after the last
  std::vector<double> tickMs, identifyMs;  // per tick: in transactions, in the identify

  double MeanTickMs() const {
    return std::accumulate(tickMs.begin(), tickMs.end(), 0.0) /
           std::max(1.0, static_cast<double>(tickMs.size()));
  }
  double MaxTickMs() const { return *std::max_element(tickMs.begin(), tickMs.end()); }
  double MaxIdentifyMs() const { return *std::max_element(identifyMs.begin(), identifyMs.end()); }
};

// Starts the window on `bridge`, sets the boards up (duty cycle 1, the
// configuration written and read back), chooses ten boards, starts
// continuous reading and runs `ticks` ticks 100 ms apart.
inline CycleResult RunContinuousCycle(Bridge& bridge, bool lineReads, int ticks = 30) {
  constexpr std::chrono::milliseconds kPeriod(100);
  CycleResult r;
  TimedBridge timed(bridge, lineReads);
  FakePlatform platform;
  Form1 form(timed, platform);
  form.Form_Load();
  if (form.Unloaded) return r;
  form.Command0_Click(1);
  form.Command1_click(5);
  form.Command1_click(6);
  form.Combo1.setListIndex(9);
  form.Command1_click(10);
  r.started = form.OnOff == 1;
  // Each cell step starts a broadcast conversion (every board's cells go
  // stale) and reads one board: a board counts once its cells were valid
  // after some tick.
  std::array<bool, 10> read{};
  const auto first = std::chrono::steady_clock::now();
  for (int k = 0; r.started && k < ticks && !form.Unloaded; ++k) {
    std::this_thread::sleep_until(first + k * kPeriod);
    timed.inTransactions = timed.inIdentify = 0;
    form.Timer1_Timer();
    r.tickMs.push_back(timed.inTransactions);
    r.identifyMs.push_back(timed.inIdentify);
    for (std::size_t b = 0; b < read.size(); ++b) read[b] = read[b] || form.RDCVvalid[b] == 1;
  }
  std::this_thread::sleep_until(first + ticks * kPeriod);
  r.cycleMs = Ms(std::chrono::steady_clock::now() - first).count();
  r.stillReading = !form.Unloaded && form.OnOff == 1;
  r.boardsRead = static_cast<int>(std::count(read.begin(), read.end(), true));
  return r;
}

}  // namespace eb::test
