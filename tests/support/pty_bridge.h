// A bridge board on a pseudo-terminal: the tty transport opens the slave
// side as it would /dev/ttyUSB0, and a thread on the master side answers the
// command strings as the bridge's firmware does, through a simulated stack:
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

#include "sim/sim_settings.h"
#include "sim/sim_stack.h"

namespace eb::test {

class PtyBridge {
 public:
  explicit PtyBridge(const SimSettings& settings = SimSettings{}) : stack_(settings) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    const char* name = ptsname(master_);
    if (name == nullptr) throw std::runtime_error("no pseudo-terminal name");
    path_ = name;
    // Held open for the bridge's life, so that the master side never sees
    // the hang-up of the transport's closes; raw, so nothing is echoed
    // before the transport first sets the port up.
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("cannot open " + path_);
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
  PtyBridge(const PtyBridge&) = delete;
  PtyBridge& operator=(const PtyBridge&) = delete;

  // The slave side, for "tty:PATH".
  const std::string& Path() const { return path_; }
  // Calls f(stack) while the thread leaves the stack alone.
  template <typename F>
  auto WithStack(F f) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f(stack_);
  }

 private:
  // How many characters of `text` make whole command items ("IZ", "MS",
  // "MI", "Shh", "Thh", one character otherwise): the stack takes each
  // command string whole, while the pseudo-terminal may hand it over in
  // pieces.
  static std::size_t Whole(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
      const char c = text[i];
      const std::size_t need = (c == 'I' || c == 'M') ? 2 : (c == 'S' || c == 'T') ? 3 : 1;
      if (i + need > text.size()) break;
      i += need;
    }
    return i;
  }

  void Serve() {
    std::string received;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
      char buf[256];
      const ssize_t r = ::read(master_, buf, sizeof buf);
      if (r <= 0) continue;
      received.append(buf, static_cast<std::size_t>(r));
      const std::size_t whole = Whole(received);
      if (whole == 0) continue;
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stack_.Execute(std::string_view(received).substr(0, whole), &reply);
      }
      received.erase(0, whole);
      for (std::size_t done = 0; done < reply.size() && !stop_;) {
        const ssize_t w = ::write(master_, reply.data() + done, reply.size() - done);
        if (w > 0) done += static_cast<std::size_t>(w);
      }
    }
  }

  SimStack stack_;
  std::mutex mutex_;
  std::string path_;
  int master_ = -1;
  int slave_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace eb::test
