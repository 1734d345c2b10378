// What the transports tell the user to do about the troubles they share.
#pragma once

#include <string>
#include <string_view>

namespace eb {

// The udev rule that hands the bridge's USB device and serial port to the
// user at the desk (shipped in the source tree).
inline constexpr std::string_view kUdevRule = "packaging/udev/60-eb2250-bridge.rules";

// One command that installs the udev rule (run in the source tree).
inline std::string UdevInstallCommand() {
  return "sudo install -m 644 " + std::string(kUdevRule) +
         " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger";
}

// The hint for a device this user has no permission to open.
inline std::string PermissionHint() {
  return "no permission for this user: install the udev rule " + std::string(kUdevRule) +
         " and replug the bridge (README, \"Connecting a real bridge\")";
}

// The hint for a device that went away or stopped working.
inline std::string ReplugHint() { return "check the USB cable, then unplug and replug the bridge"; }

}  // namespace eb
