#include "link/usb_node.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace eb {
namespace {

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

int Hex(const std::string& text) {
  return static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
}

}  // namespace

std::optional<UsbNode> FindUsbNode(int vid, int pid, const std::string& serial, int index) {
  const std::string root = "/sys/bus/usb/devices/";
  struct Found {
    int bus, dev;
    std::string name;
  };
  std::vector<Found> found;
  for (const std::string& name : Names(root)) {
    const std::string dir = root + name + "/";
    if (name.find(':') != std::string::npos || Hex(ReadLine(dir + "idVendor")) != vid ||
        Hex(ReadLine(dir + "idProduct")) != pid ||
        (!serial.empty() && ReadLine(dir + "serial") != serial)) {
      continue;
    }
    found.push_back({std::atoi(ReadLine(dir + "busnum").c_str()),
                     std::atoi(ReadLine(dir + "devnum").c_str()), name});
  }
  // libusb lists the devices by bus and device number.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.bus != b.bus ? a.bus < b.bus : a.dev < b.dev;
  });
  if (index < 0 || index >= static_cast<int>(found.size())) return std::nullopt;
  const Found& f = found[static_cast<std::size_t>(index)];
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", f.bus, f.dev);
  UsbNode result{node, {}};
  // Its interfaces ("1-1:1.0") carry the ports the serial driver made.
  for (const std::string& name : Names(root)) {
    if (name.rfind(f.name + ":", 0) != 0) continue;
    for (const std::string& port : Names(root + name)) {
      if (port.rfind("tty", 0) == 0 && port != "tty") result.ports.push_back("/dev/" + port);
    }
  }
  return result;
}

std::string PortHolder(const std::string& path) {
  const std::string self = std::to_string(::getpid());
  for (const std::string& pid : Names("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    const std::string fds = "/proc/" + pid + "/fd/";
    for (const std::string& fd : Names(fds)) {
      char target[256];
      const ssize_t n = ::readlink((fds + fd).c_str(), target, sizeof target - 1);
      if (n <= 0 || std::string_view(target, static_cast<std::size_t>(n)) != path) continue;
      return ReadLine("/proc/" + pid + "/comm") + " (pid " + pid + ")";
    }
  }
  return "";
}

}  // namespace eb
