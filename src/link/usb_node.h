// An FTDI device as the system itself sees it, for what libftdi cannot tell:
// whether the device is still on the bus, its USB device node (whose access
// decides whether this user may open it), the serial ports the kernel's
// driver made of it, and which program holds such a port open.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace eb {

struct UsbNode {
  std::string node;                // "/dev/bus/usb/001/002"
  std::vector<std::string> ports;  // "/dev/ttyUSB0" for each port the kernel's driver made
};

// The device with this vendor and product id (and serial number, unless
// empty) that is the `index`-th such, counted as libusb counts them (in bus
// order); nullopt when it is not on the bus (or sysfs cannot be read).
std::optional<UsbNode> FindUsbNode(int vid, int pid, const std::string& serial, int index);

// "NAME (pid N)" of a program other than this one that has `path` open, or
// "" when none is seen (processes of other users may be hidden).
std::string PortHolder(const std::string& path);

}  // namespace eb
