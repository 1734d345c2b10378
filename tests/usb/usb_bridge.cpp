// The host side of the emulated USB serial converter in the USB test.
//
//   eb2250-usb-bridge serve SOCKET HOLDFILE
//     listens on the unix socket SOCKET, where QEMU's chardev of the
//     emulated FTDI device connects, and answers the command strings as the
//     bridge's firmware does, through the simulated stack (ten boards). The
//     reply of a command string is sent in one piece. HOLDFILE, once it
//     appears, is read and removed; each of its lines "MS COUNT PREFIX"
//     holds the replies of the next COUNT command strings that begin with
//     PREFIX back MS milliseconds after the command arrived (a slow
//     bridge). Commands are served in order, as the firmware serves them.
//   eb2250-usb-bridge monitor SOCKET COMMAND
//     sends COMMAND to QEMU's human monitor listening on SOCKET.
//   eb2250-usb-bridge check TRACE
//     reads a --trace file and prints one line: identifies answered / made,
//     register reads with a good PEC / made, the boards whose cells were
//     read, the median time from one transaction to the next and the median
//     and longest tick (from one identify to the next). Exit status 0 when
//     every identify answered and every register reply that came had a
//     good PEC (a reply held back past its time-out leaves an empty one).
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "link/late_reply.h"
#include "protocol/hex.h"
#include "protocol/pec.h"
#include "sim/sim_stack.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Hold {
  int ms = 0;
  int count = 0;
  std::string prefix;
};

// The hold-backs asked for in `path`, if it appeared (it is then removed).
void ReadHolds(const std::string& path, std::vector<Hold>* holds) {
  std::ifstream in(path);
  if (!in) return;
  holds->clear();
  for (Hold h; in >> h.ms >> h.count >> h.prefix;) holds->push_back(h);
  std::remove(path.c_str());
}

int Serve(const std::string& socketPath, const std::string& holdPath) {
  eb::SimSettings settings;
  settings.boards = 10;
  eb::SimStack stack(settings);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
  ::unlink(socketPath.c_str());
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0) {
    std::perror("eb2250-usb-bridge: cannot listen");
    return 2;
  }
  std::vector<Hold> holds;
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    std::string received;
    char buf[256];
    for (ssize_t r; (r = ::read(fd, buf, sizeof buf)) > 0;) {
      const auto arrived = Clock::now();
      received.append(buf, static_cast<std::size_t>(r));
      // Command items are taken whole ("IZ", "MS", "MI", "Shh", "Thh", else
      // one character); USB may split a command string anywhere.
      const std::size_t whole = eb::WholeItems(received);
      const std::string command = received.substr(0, whole);
      received.erase(0, whole);
      std::string reply;
      stack.Execute(command, &reply);
      if (reply.empty()) continue;
      ReadHolds(holdPath, &holds);
      for (Hold& h : holds) {
        if (h.count == 0 || command.rfind(h.prefix, 0) != 0) continue;
        --h.count;
        std::this_thread::sleep_until(arrived + std::chrono::milliseconds(h.ms));
        break;
      }
      for (std::size_t done = 0; done < reply.size();) {
        const ssize_t w = ::write(fd, reply.data() + done, reply.size() - done);
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
      }
    }
    ::close(fd);
  }
}

// A trace line's text with its escapes undone (\r, \n, \t, \\, \xHH).
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    if (c == 'x' && i + 2 < text.size()) {
      out.push_back(static_cast<char>(eb::HexPairValue(text[i + 1], text[i + 2])));
      i += 2;
    } else {
      out.push_back(c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c);
    }
  }
  return out;
}

// Whether a read's reply holds its rs bytes in hex after the 4 characters
// before them, the last the PEC of the others.
bool WholeWithPec(const eb::PecTable& table, const std::string& reply, std::size_t rs) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t k = 4; k + 1 < reply.size(); k += 2) {
    const int v = eb::HexPairValue(reply[k], reply[k + 1]);
    if (v < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(v));
  }
  if (reply.size() != 4 + 2 * rs || bytes.size() != rs) return false;
  const std::uint8_t pec = bytes.back();
  bytes.pop_back();
  return eb::PecOf(table, bytes) == pec;
}

int Check(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::cout << "no trace " << path << "\n";
    return 1;
  }
  const eb::PecTable table = eb::MakePecTable();
  int identifies = 0, answered = 0, reads = 0, good = 0, empty = 0;
  std::set<std::string> cellBoards;
  std::vector<double> stamps, identifyStamps;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    if (tab1 == std::string::npos || tab2 == std::string::npos) continue;
    stamps.push_back(std::stod(line.substr(0, tab1)));
    const std::string command = Unescape(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const std::string reply = Unescape(line.substr(tab2 + 1));
    if (command == "IZ") {
      ++identifies;
      identifyStamps.push_back(stamps.back());
      answered += reply.rfind("ZQM4417-2", 0) == 0 ? 1 : 0;
      continue;
    }
    // A register read: "MSxT" address "T0k" then one "R" per byte, "X".
    const std::size_t rs =
        static_cast<std::size_t>(std::count(command.begin(), command.end(), 'R'));
    if (command.rfind("MSxT", 0) != 0 || rs < 2) continue;
    ++reads;
    if (reply.empty()) {
      ++empty;
      continue;
    }
    if (!WholeWithPec(table, reply, rs)) continue;
    ++good;
    if (command.substr(6, 3) == "T04") cellBoards.insert(command.substr(4, 2));
  }
  std::vector<double> ticks;
  for (std::size_t i = 1; i < identifyStamps.size(); ++i) {
    ticks.push_back(1000 * (identifyStamps[i] - identifyStamps[i - 1]));
  }
  std::sort(ticks.begin(), ticks.end());
  if (ticks.empty()) ticks.push_back(0);
  std::vector<double> gaps;
  for (std::size_t i = 1; i < stamps.size(); ++i)
    gaps.push_back(1000 * (stamps[i] - stamps[i - 1]));
  std::sort(gaps.begin(), gaps.end());
  if (gaps.empty()) gaps.push_back(0);
  std::printf(
      "identifies %d/%d, reads with good PEC %d/%d (%d empty), boards read %zu, transaction "
      "median %.2f ms, tick median %.0f ms max %.0f ms\n",
      answered, identifies, good, reads, empty, cellBoards.size(), gaps[gaps.size() / 2],
      ticks[ticks.size() / 2], ticks.back());
  return identifies > 0 && answered == identifies && good + empty == reads ? 0 : 1;
}

// Sends one command line to QEMU's human monitor at `socketPath`.
int Monitor(const std::string& socketPath, const std::string& command) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    std::perror("eb2250-usb-bridge: cannot reach the monitor");
    return 2;
  }
  const std::string line = command + "\n";
  const bool sent = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the monitor take it
  ::close(fd);
  return sent ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "serve") return Serve(args[1], args[2]);
  if (args.size() == 3 && args[0] == "monitor") return Monitor(args[1], args[2]);
  if (args.size() == 2 && args[0] == "check") return Check(args[1]);
  std::cerr << "usage: eb2250-usb-bridge serve SOCKET HOLDFILE | check TRACE | monitor SOCKET "
               "COMMAND\n";
  return 2;
}
