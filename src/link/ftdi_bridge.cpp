#include "link/ftdi_bridge.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "link/hints.h"
#include "link/settings_parser.h"

namespace eb {
namespace {

std::string Hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", v & 0xFFFF);
  return buf;
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// libftdi's code for "no USB device open" (its transfers return libusb's codes).
constexpr int kFtdiUnavailable = -666;
// The rate libftdi's open leaves the chip at.
constexpr int kOpenBaud = 9600;

std::string UsbReason(int code) {
  switch (code) {
    case LIBUSB_ERROR_IO: return "input/output error";
    case LIBUSB_ERROR_NO_DEVICE: return "no such device";
    case LIBUSB_ERROR_TIMEOUT: return "timed out";
    case LIBUSB_ERROR_PIPE: return "endpoint stalled";
    case LIBUSB_ERROR_OVERFLOW: return "overflow";
    case kFtdiUnavailable: return "device unavailable";
    default: return "error " + std::to_string(code);
  }
}

using Clock = std::chrono::steady_clock;

// Whole milliseconds left until `deadline`, rounded up, at least 0.
int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

std::optional<FtdiSettings> ParseFtdiSettings(std::string_view text, std::string* error) {
  FtdiSettings s;
  SettingsParser parser("ftdi");
  parser.Hex("vid", &s.vid, "a vendor id", 0xFFFF, "0403")
      .Hex("pid", &s.pid, "a product id", 0xFFFF, "6001")
      .Whole("index", &s.index, "a device index", 0, 255)
      .Word("serial", &s.serial, "a serial number", FtdiBridge::kSerialLength)
      .Whole("baud", &s.baud, "a baud rate", 1, 12000000);
  if (!parser.Parse(text, error)) return std::nullopt;
  return s;
}

FtdiBridge::FtdiBridge(const FtdiSettings& settings, FtdiFunctions& ftdi)
    : settings_(settings), ftdi_(ftdi) {
  description_ = "FTDI device vid " + Hex4(settings.vid) + " pid " + Hex4(settings.pid);
  device_ = "FTDI device " + Hex4(settings.vid) + ":" + Hex4(settings.pid);
  if (!settings.serial.empty()) {
    description_ += " serial " + settings.serial;
    device_ += " serial " + settings.serial;
  }
  if (settings.serial.empty() || settings.index != 0) {
    description_ += " index " + std::to_string(settings.index);
    if (settings.index != 0) device_ += " index " + std::to_string(settings.index);
  }
  if (settings.baud != kBridgeBaud)
    description_ += " at " + std::to_string(settings.baud) + " baud";
}

FtdiBridge::~FtdiBridge() {
  Close();
  if (giveBack_) {
    // The kernel's serial driver gets the device back, and with it the
    // serial port (the device may be gone by now: nothing to give back).
    ftdi_.GiveBack(ctx_, settings_.vid, settings_.pid,
                   settings_.serial.empty() ? nullptr : settings_.serial.c_str(),
                   static_cast<unsigned>(settings_.index));
  }
  if (ctx_ != nullptr) ftdi_.Free(ctx_);
}

// Whether another program holds the device's serial port open: taking the
// device from the kernel's driver would pull the port from under it.
bool FtdiBridge::PortInUse() {
  const auto node = ftdi_.Locate(settings_.vid, settings_.pid, settings_.serial, settings_.index);
  if (!node) return false;
  for (const std::string& port : node->ports) {
    const std::string holder = ftdi_.PortHolder(port);
    if (holder.empty()) continue;
    Fail(Trouble::kBusy, device_ + " is in use: its serial port " + port + " is open in " + holder,
         "close that program first, or reach the bridge through that port (--bridge tty:" + port +
             ")");
    return true;
  }
  giveBack_ = giveBack_ || !node->ports.empty();
  return false;
}

void FtdiBridge::Fail(Trouble trouble, std::string cause, std::string hint) {
  // The first failure of a transaction is its cause; what follows from it
  // says nothing new.
  if (failure_.trouble != Trouble::kNone) return;
  failure_ = LinkError{trouble, std::move(cause), std::move(hint)};
}

bool FtdiBridge::Open(int /*device*/) {
  Close();
  failure_ = {};
  broken_ = false;
  if (ctx_ == nullptr) {
    ctx_ = ftdi_.New();
    if (ctx_ == nullptr) {
      Fail(Trouble::kOther, "USB cannot be used: libusb could not be started",
           "check that /dev/bus/usb exists (a container needs the USB bus passed in)");
      return false;
    }
  }
  // While the kernel's driver may have the device (before the first open,
  // after a failure or a replug), its port may be in use.
  if (!taken_ && PortInUse()) return false;
  ftdi_.SetTimeouts(ctx_, kOpenTimeoutMs, kOpenTimeoutMs);
  const int opened = ftdi_.OpenDevice(ctx_, settings_.vid, settings_.pid,
                                      settings_.serial.empty() ? nullptr : settings_.serial.c_str(),
                                      static_cast<unsigned>(settings_.index));
  if (opened < 0) {
    taken_ = false;
    OpenFailed(opened);
    return false;
  }
  open_ = true;
  taken_ = true;
  if (settings_.baud != kOpenBaud && ftdi_.SetBaudrate(ctx_, settings_.baud) < 0) {
    Fail(Trouble::kOther,
         device_ + " refused " + std::to_string(settings_.baud) +
             " baud (libftdi: " + ftdi_.ErrorString(ctx_) + ")",
         "choose another baud= setting, or leave it out");
    Close();
    return false;
  }
  if (ftdi_.SetLatencyTimer(ctx_, static_cast<unsigned char>(kLatencyMs)) < 0) {
    Fail(Trouble::kLost,
         device_ + " did not take its latency timer (libftdi: " + ftdi_.ErrorString(ctx_) + ")",
         ReplugHint());
    Close();
    return false;
  }
  ftdi_.SetTimeouts(ctx_, readMs_, writeMs_);
  return true;
}

// libftdi's codes of ftdi_usb_open_desc_index: -3 no such device (or a
// configuration that cannot be set), -4 the device cannot be opened (libusb
// refuses it to this user), -5 it cannot be claimed (another program, or a
// kernel driver that would not let go), -8 no permission to take it from
// the kernel driver.
void FtdiBridge::OpenFailed(int code) {
  const std::string text = ftdi_.ErrorString(ctx_);
  const std::string libftdi = " (libftdi: " + text + ")";
  // libusb may list a device for a moment after it was unplugged; every
  // step of opening it then fails, each with its own code.
  const bool listed = !(code == -3 && Contains(text, "not found"));
  const auto node =
      listed ? ftdi_.Locate(settings_.vid, settings_.pid, settings_.serial, settings_.index)
             : std::nullopt;
  if (listed && !node) {
    Fail(Trouble::kNoDevice, device_ + " went away while it was being opened" + libftdi,
         ReplugHint());
  } else if (!listed) {
    Fail(Trouble::kNoDevice, "no " + device_ + " found",
         "check the USB cable and that the bridge is powered; --probe lists the FTDI devices "
         "present");
  } else if (code == -4 || (code == -8 && Contains(text, "permission"))) {
    // libftdi says -4 for every failed libusb_open: the device node says
    // whether it refuses this user.
    const int access = code == -8 ? EACCES : ftdi_.Access(node->node);
    if (access == EACCES || access == EPERM) {
      Fail(Trouble::kPermission, "no permission to open " + device_ + libftdi, PermissionHint());
    } else {
      Fail(Trouble::kOther,
           "cannot open " + device_ + " (libftdi " + std::to_string(code) + ": " + text + ")",
           ReplugHint());
    }
  } else if (code == -5) {
    Fail(Trouble::kBusy,
         device_ + " is claimed by another program or by the kernel's ftdi_sio driver" + libftdi,
         "close the other program that uses it, or unplug and replug the bridge");
  } else if (Contains(text, "configuration")) {
    Fail(Trouble::kBusy, device_ + " is held by a kernel driver" + libftdi,
         "unplug and replug the bridge, or reach it through the kernel's serial driver "
         "(--bridge tty:/dev/ttyUSB0)");
  } else {
    Fail(Trouble::kOther,
         "cannot open " + device_ + " (libftdi " + std::to_string(code) + ": " + text + ")",
         ReplugHint());
  }
}

void FtdiBridge::TransferFailed(const char* doing, int code) {
  broken_ = true;
  taken_ = false;  // replugged, the kernel's driver has it again
  const std::string why =
      " (libftdi: " + ftdi_.ErrorString(ctx_) + "; USB: " + UsbReason(code) + ")";
  if (code == LIBUSB_ERROR_NO_DEVICE || code == kFtdiUnavailable) {
    Fail(Trouble::kLost, device_ + " went away while " + doing + why, ReplugHint());
  } else {
    Fail(Trouble::kLost, device_ + " failed while " + doing + why, ReplugHint());
  }
}

void FtdiBridge::SetTimeouts(int readMs, int writeMs) {
  readMs_ = std::max(0, readMs);
  writeMs_ = std::max(0, writeMs);
  if (open_) ftdi_.SetTimeouts(ctx_, readMs_, writeMs_);
}

std::size_t FtdiBridge::Write(std::string_view command) {
  if (!open_ || broken_ || command.empty()) return 0;
  // The rest of an earlier reply, still coming (what came before this
  // open, libftdi's open has discarded).
  if (std::size_t owed = late_.Take()) {
    unsigned char late[64];
    const auto deadline = Clock::now() + std::chrono::milliseconds(kLateReplyMs);
    for (int left; owed > 0 && (left = RemainingMs(deadline)) > 0;) {
      ftdi_.SetTimeouts(ctx_, left, writeMs_);
      const int r = ftdi_.ReadData(ctx_, late, static_cast<int>(std::min(owed, sizeof late)));
      if (r < 0 && r != LIBUSB_ERROR_TIMEOUT) break;
      owed -= static_cast<std::size_t>(std::max(0, r));
      if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ftdi_.SetTimeouts(ctx_, readMs_, writeMs_);
  }
  late_.Wrote(command);
  const int size = static_cast<int>(command.size());
  const int r = ftdi_.WriteData(ctx_, reinterpret_cast<const unsigned char*>(command.data()), size);
  if (r < 0) {
    TransferFailed("writing", r);
    return 0;
  }
  if (r < size) {
    broken_ = true;
    Fail(Trouble::kLost,
         device_ + " took " + std::to_string(r) + " of " + std::to_string(size) +
             " characters within " + std::to_string(writeMs_) + " ms",
         ReplugHint());
  }
  return static_cast<std::size_t>(std::min(r, size));
}

std::size_t FtdiBridge::Read(char* buffer, std::size_t n) { return ReadUntil(buffer, n, false); }

std::size_t FtdiBridge::ReadLine(char* buffer, std::size_t n) { return ReadUntil(buffer, n, true); }

std::size_t FtdiBridge::ReadUntil(char* buffer, std::size_t n, bool toLineEnd) {
  if (!open_ || broken_ || n == 0) return 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(readMs_);
  auto* bytes = reinterpret_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  // Running out of time is no failure: the reply was simply short.
  while (got < n) {
    // No transfer may outlast the read's own deadline (a transfer waits for
    // the chip's next packet, which may never come).
    ftdi_.SetTimeouts(ctx_, std::max(1, RemainingMs(deadline)), writeMs_);
    const int r = ftdi_.ReadData(ctx_, bytes + got, static_cast<int>(n - got));
    if (r == LIBUSB_ERROR_TIMEOUT) break;
    if (r < 0) {
      TransferFailed("reading", r);
      break;
    }
    got += std::min(static_cast<std::size_t>(r), n - got);
    if (got >= n || (toLineEnd && HasLineEnd(buffer, got))) break;
    const int left = RemainingMs(deadline);
    if (left <= 0) break;
    // A packet with only the modem-status bytes: nothing has come yet.
    if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1, left)));
  }
  ftdi_.SetTimeouts(ctx_, readMs_, writeMs_);
  late_.Read(n, got, broken_ || (toLineEnd && HasLineEnd(buffer, got)));
  return got;
}

void FtdiBridge::Close() {
  if (!open_) return;
  ftdi_.CloseDevice(ctx_);
  open_ = false;
}

}  // namespace eb
