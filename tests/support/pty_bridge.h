// A bridge board on a pseudo-terminal: the tty transport opens the slave
// side as it would /dev/ttyUSB0, and a thread on the master side answers the
// command strings through a simulated stack, as the bridge's firmware does:
// "IZ" with the 34-character identity ending in CR LF, register reads as the
// chips answer them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "link/late_reply.h"
#include "sim/sim_stack.h"

namespace eb::test {

class PtyBridge {
 public:
  explicit PtyBridge(const SimSettings& settings = SimSettings{}) : stack_(settings) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const char* name =
        master_ < 0 || grantpt(master_) || unlockpt(master_) ? nullptr : ptsname(master_);
    if (name == nullptr) throw std::runtime_error("no pseudo-terminal");
    path_ = name;
    // Held open so that the master never sees the transport's closes as a
    // hang-up; raw, so nothing is echoed before the transport sets it up.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    thread_ = std::thread([this] { Serve(); });
  }
  ~PtyBridge() {
    stop_ = true;
    thread_.join();
    ::close(slave_);
    ::close(master_);
  }

  const std::string& Path() const { return path_; }
  // Calls f(stack) while the board leaves the stack alone.
  template <typename F>
  auto WithStack(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(stack_);
  }

 private:
  void Serve() {
    std::string received;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      char buf[256];
      const ssize_t r = ::poll(&p, 1, 10) == 1 ? ::read(master_, buf, sizeof buf) : 0;
      if (r <= 0) continue;
      received.append(buf, static_cast<std::size_t>(r));
      // The stack takes command items whole ("IZ", "MS", "MI", "Shh",
      // "Thh", else one character); the terminal may split them.
      const std::size_t whole = WholeItems(received);
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stack_.Execute(std::string_view(received).substr(0, whole), &reply);
      }
      received.erase(0, whole);
      for (std::size_t done = 0; done < reply.size();) {
        const ssize_t w = ::write(master_, reply.data() + done, reply.size() - done);
        done += w > 0 ? static_cast<std::size_t>(w) : 0;
      }
    }
  }

  SimStack stack_;
  std::mutex mutex_;
  std::string path_;
  int master_ = -1, slave_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace eb::test
