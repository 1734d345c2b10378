// Cost of one FTDI transaction (open, time-outs, write "IZ", read the
// identity line, close) against the scripted libftdi, with the libusb
// session kept for the life of the bridge and with a session made and ended
// around every transaction (a fresh bridge each time: how every transaction
// used to run). The "system session" variants make their contexts with the
// real libftdi and libusb (no device needed), so the session's own cost
// shows; the device's calls stay scripted.
#include <benchmark/benchmark.h>

#include <memory>

#include "link/ftdi_bridge.h"
#include "support/fake_ftdi.h"

namespace {

using eb::FtdiBridge;
using eb::test::FakeFtdi;

bool Identify(FtdiBridge& bridge) {
  if (!bridge.Open(0)) return false;
  bridge.SetTimeouts(200, 50);
  bridge.Write("IZ");
  char reply[50];
  const std::size_t got = bridge.ReadLine(reply, sizeof reply);
  bridge.Close();
  return got == FakeFtdi::kIdentity.size();
}

void Setup(FakeFtdi& ftdi, bool systemSessions) {
  ftdi.devices.push_back(FakeFtdi::Bridge());
  if (systemSessions) ftdi.sessions = &eb::SystemFtdi();
}

// Sessions made and devices opened over the run's transactions.
void Report(benchmark::State& state, const FakeFtdi& ftdi) {
  state.counters["transactions"] = static_cast<double>(state.iterations());
  state.counters["contexts"] = ftdi.contextsMade;
  state.counters["device_opens"] = ftdi.devicesOpened;
}

// Now: one session for the bridge, a device open and close per transaction.
void BM_FtdiTransaction_SessionPerBridge(benchmark::State& state) {
  FakeFtdi ftdi;
  Setup(ftdi, state.range(0) != 0);
  {
    FtdiBridge bridge(eb::FtdiSettings{}, ftdi);
    for (auto _ : state) {
      if (!Identify(bridge)) {
        state.SkipWithError("the identify failed (no libusb session?)");
        break;
      }
    }
  }
  Report(state, ftdi);
}
BENCHMARK(BM_FtdiTransaction_SessionPerBridge)->ArgName("system_session")->Arg(0)->Arg(1);

// Before: a session made and ended around every transaction.
void BM_FtdiTransaction_SessionPerTransaction(benchmark::State& state) {
  FakeFtdi ftdi;
  Setup(ftdi, state.range(0) != 0);
  for (auto _ : state) {
    FtdiBridge bridge(eb::FtdiSettings{}, ftdi);
    if (!Identify(bridge)) {
      state.SkipWithError("the identify failed (no libusb session?)");
      break;
    }
  }
  Report(state, ftdi);
}
BENCHMARK(BM_FtdiTransaction_SessionPerTransaction)->ArgName("system_session")->Arg(0)->Arg(1);

}  // namespace
