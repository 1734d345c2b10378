#include "app/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace eb::app {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t received = 0;
int pipeFds[2] = {-1, -1};

void OnStopSignal(int signal) {
  if (received != 0) {
    // The second one: the program ends now, as the signal ends it.
    ::signal(signal, SIG_DFL);
    raise(signal);
    return;
  }
  received = signal;
  const int saved = errno;
  (void)!write(pipeFds[1], "s", 1);
  errno = saved;
}

}  // namespace

bool CatchStopSignals() {
  if (pipeFds[0] >= 0) return true;
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;  // the program's own calls go on undisturbed
  sigemptyset(&action.sa_mask);
  for (int s : kStopSignals) sigaddset(&action.sa_mask, s);
  bool all = true;
  for (int s : kStopSignals) all = sigaction(s, &action, nullptr) == 0 && all;
  return all;
}

int StopSignal() { return received; }

int StopSignalFd() { return pipeFds[0]; }

void EndBySignal(int signal) {
  ::signal(signal, SIG_DFL);
  raise(signal);
  std::_Exit(128 + signal);  // a signal that did not end it
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

}  // namespace eb::app
