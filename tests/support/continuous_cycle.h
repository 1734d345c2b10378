// Continuous reading of a ten-board stack, paced as the window's timer
// paces it: a tick every 100 ms, or at once when the previous tick overran.
// The time spent in bridge transactions is taken per tick, and the identify's
// own share of it.
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/bridge.h"
#include "support/fakes.h"
#include "window/form1.h"

namespace eb::test {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// Times every transaction (Open to Close) of the bridge it wraps. Without
// `lineReads` a line read waits for its count as a plain read does (how the
// identify used to read).
class TimedBridge : public Bridge {
 public:
  TimedBridge(Bridge& inner, bool lineReads) : inner_(inner), lineReads_(lineReads) {}

  bool Open(int device) override {
    start_ = Clock::now();
    command_.clear();
    return inner_.Open(device);
  }
  void SetTimeouts(int readMs, int writeMs) override { inner_.SetTimeouts(readMs, writeMs); }
  std::size_t Write(std::string_view command) override {
    command_.append(command);
    return inner_.Write(command);
  }
  std::size_t Read(char* buffer, std::size_t n) override { return inner_.Read(buffer, n); }
  std::size_t ReadLine(char* buffer, std::size_t n) override {
    return lineReads_ ? inner_.ReadLine(buffer, n) : inner_.Read(buffer, n);
  }
  void Close() override {
    inner_.Close();
    const double ms = Ms(Clock::now() - start_).count();
    inTransactions += ms;
    if (command_ == "IZ") inIdentify += ms;
  }
  std::string_view Describe() const override { return inner_.Describe(); }
  LinkError LastFailure() const override { return inner_.LastFailure(); }

  double inTransactions = 0;  // milliseconds since last cleared
  double inIdentify = 0;

 private:
  Bridge& inner_;
  bool lineReads_;
  Clock::time_point start_;
  std::string command_;
};

struct CycleResult {
  bool started = false;            // the window identified the chip and read continuously
  bool stillReading = false;       // ... and still did after the last tick
  int boardsRead = 0;              // boards whose cells were read during the ticks
  double cycleMs = 0;              // from the first tick to the one after the last
  std::vector<double> tickMs;      // time in transactions, per tick
  std::vector<double> identifyMs;  // the identify's share, per tick

  double MeanTickMs() const {
    double sum = 0;
    for (double t : tickMs) sum += t;
    return tickMs.empty() ? 0 : sum / static_cast<double>(tickMs.size());
  }
  double MaxTickMs() const {
    return tickMs.empty() ? 0 : *std::max_element(tickMs.begin(), tickMs.end());
  }
  double MaxIdentifyMs() const {
    return identifyMs.empty() ? 0 : *std::max_element(identifyMs.begin(), identifyMs.end());
  }
};

// Starts the window on `bridge`, sets the boards up (duty cycle 1, the
// configuration written and read back), chooses ten boards, starts
// continuous reading and runs
// `ticks` timer ticks `period` apart.
inline CycleResult RunContinuousCycle(
    Bridge& bridge, bool lineReads, int ticks = 30,
    std::chrono::milliseconds period = std::chrono::milliseconds(100)) {
  CycleResult r;
  TimedBridge timed(bridge, lineReads);
  FakePlatform platform;
  Form1 form(timed, platform);
  form.Form_Load();
  if (form.Unloaded) return r;
  form.Command0_Click(1);       // duty cycle 1: the chips count as present
  form.Command1_click(5);       // broadcast configuration write
  form.Command1_click(6);       // configuration read
  form.Combo1.setListIndex(9);  // ten boards
  form.Command1_click(10);      // continuous reading
  r.started = form.OnOff == 1;
  if (!r.started) return r;
  // Each cell step starts a broadcast conversion, which makes every board's
  // cells stale, and then reads one board: a board counts as read when its
  // cells are valid after a tick.
  std::array<bool, 10> read{};

  const auto first = Clock::now();
  for (int k = 0; k < ticks && !form.Unloaded; ++k) {
    std::this_thread::sleep_until(first + k * period);
    timed.inTransactions = 0;
    timed.inIdentify = 0;
    form.Timer1_Timer();
    r.tickMs.push_back(timed.inTransactions);
    r.identifyMs.push_back(timed.inIdentify);
    for (std::size_t b = 0; b < read.size(); ++b) read[b] = read[b] || form.RDCVvalid[b] == 1;
  }
  std::this_thread::sleep_until(first + ticks * period);
  r.cycleMs = Ms(Clock::now() - first).count();
  r.stillReading = !form.Unloaded && form.OnOff == 1;
  for (bool b : read) r.boardsRead += b ? 1 : 0;
  return r;
}

}  // namespace eb::test
