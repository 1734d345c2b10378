#include "wiring/probe.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "link/ftdi_bridge.h"
#include "link/printable.h"

namespace eb {
namespace {

// The identify as the window makes it at start-up: "IZ", 200 ms to read the
// identity line (at most 50 characters), whose first nine characters name
// the chip.
constexpr std::string_view kIdentify = "IZ";
constexpr int kIdentifyReadMs = 200;
constexpr int kIdentifyWriteMs = 50;
constexpr std::size_t kIdentityLength = 50;
constexpr std::string_view kChip = "ZQM4417-2";

std::string Hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
  return buf;
}

std::string ConnectionString(const FtdiSettings& s) {
  std::string text = "ftdi:";
  if (s.pid != FtdiSettings{}.pid) text += "pid=" + Hex4(s.pid) + ",";
  text += s.serial.empty() ? "index=" + std::to_string(s.index) : "serial=" + s.serial;
  return text;
}

// Whether the --bridge string naming this serial number picks exactly that
// device when the program reads it back: a serial number is the device's
// own text, and one with a space, a comma, an escape sequence or more than
// the parser takes would be refused or pick another device.
bool SerialSurvivesTheCommandLine(const FtdiSettings& s) {
  std::string error;
  const auto back = ParseFtdiSettings(ConnectionString(s).substr(5), &error);
  return back && back->serial == s.serial && back->vid == s.vid && back->pid == s.pid &&
         back->index == s.index;
}

// How a device is picked for its identify, and how the operator picks it
// with --bridge: by serial number when no other device shares it and the
// command line carries it unchanged, else by its index among the devices of
// its product id.
FtdiSettings PickDevice(const FtdiDeviceInfo& d, const std::vector<FtdiDeviceInfo>& all) {
  FtdiSettings s;
  s.vid = d.vid;
  s.pid = d.pid;
  int sharing = 0;
  for (const FtdiDeviceInfo& other : all) {
    sharing += other.pid == d.pid && other.serial == d.serial ? 1 : 0;
  }
  if (!d.serial.empty() && sharing == 1) {
    s.serial = d.serial;
    if (SerialSurvivesTheCommandLine(s)) return s;
    s.serial.clear();
  }
  s.index = d.index;
  return s;
}

// One line about the device: ids, serial number, description, maker.
std::string DeviceLine(const FtdiDeviceInfo& d) {
  std::string line = Hex4(d.vid) + ":" + Hex4(d.pid) + " index " + std::to_string(d.index);
  line += d.serial.empty() ? ", no serial number" : ", serial " + Excerpt(d.serial);
  if (!d.description.empty()) line += ", \"" + Excerpt(d.description) + "\"";
  if (!d.manufacturer.empty()) line += " by " + Excerpt(d.manufacturer);
  if (d.stringsResult < 0) {
    line += " (its strings could not be read: " + Excerpt(d.stringsError, 60) + ")";
  }
  return line;
}

}  // namespace

int ProbeFtdiDevices(FtdiFunctions& ftdi, std::ostream& out, std::ostream& err,
                     std::string_view program) {
  const std::string prefix = std::string(program) + ": ";
  ftdi_context* ctx = ftdi.New();
  if (ctx == nullptr) {
    err << prefix
        << "USB cannot be used: libusb could not be started; check that /dev/bus/usb exists "
           "(a container needs the USB bus passed in), or run with --simulate to try without "
           "hardware"
        << std::endl;
    return 1;
  }
  std::vector<FtdiDeviceInfo> devices;
  const int found = ftdi.FindAll(ctx, kFtdiProducts, &devices);
  const std::string findError = found < 0 ? ftdi.ErrorString(ctx) : std::string();
  ftdi.Free(ctx);
  if (found < 0) {
    err << prefix << "cannot search the USB bus for FTDI devices (libftdi: " << findError
        << "); unplug and replug the bridge, or run with --simulate to try without hardware"
        << std::endl;
    return 1;
  }
  if (devices.empty()) {
    err << prefix
        << "no FTDI device found; check the USB cable and that the bridge is powered (lsusb "
           "lists the USB devices), or run with --simulate to try without hardware"
        << std::endl;
    return 1;
  }

  int identified = 0;
  out << devices.size() << (devices.size() == 1 ? " FTDI device:" : " FTDI devices:") << "\n";
  for (const FtdiDeviceInfo& d : devices) {
    out << DeviceLine(d) << "\n";
    const FtdiSettings pick = PickDevice(d, devices);
    FtdiBridge bridge(pick, ftdi);
    if (!bridge.Open(0)) {
      out << "  identify: " << bridge.LastFailure().Line() << "\n";
      continue;
    }
    bridge.SetTimeouts(kIdentifyReadMs, kIdentifyWriteMs);
    bridge.Write(kIdentify);
    char reply[kIdentityLength];
    const std::size_t got = bridge.ReadLine(reply, sizeof reply);
    bridge.Close();
    const std::string_view text(reply, got);
    out << "  identify: ";
    if (text.substr(0, kChip.size()) == kChip) {
      ++identified;
      out << kChip << " answered \"" << Excerpt(text, 60) << "\"; use --bridge "
          << ConnectionString(pick) << "\n";
    } else if (got > 0) {
      out << "\"" << Excerpt(text, 60) << "\" answered, no " << kChip
          << " (another device, or not the stack's bridge)\n";
    } else {
      const LinkError failure = bridge.LastFailure();
      out << "nothing answered"
          << (failure.cause.empty()
                  ? "; check that the bridge is powered and its cables are plugged in"
                  : ": " + failure.Line())
          << "\n";
    }
  }
  out << identified << " of " << devices.size() << " answered as the bridge of a " << kChip
      << std::endl;
  return identified > 0 ? 0 : 1;
}

}  // namespace eb
