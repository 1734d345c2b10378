// The libftdi1 calls the FTDI transport makes, gathered in one table so that
// a scripted device can stand behind the transport in tests and benchmarks.
// Each entry does what the libftdi function of that name does, with the same
// return codes (libftdi's negative codes, or libusb's for failed transfers)
// and the same error texts; SystemFtdi() is libftdi itself.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/usb_node.h"

struct ftdi_context;

namespace eb {

// The FTDI vendor id and the product ids a bridge may use: FT232R/FT245R,
// FT2232, FT4232, FT232H, FT-X.
inline constexpr int kFtdiVendor = 0x0403;
inline constexpr std::array<int, 5> kFtdiProducts = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

// One FTDI device on the bus, as --probe lists it.
struct FtdiDeviceInfo {
  int vid = 0;
  int pid = 0;
  int index = 0;  // among the devices with this vid and pid, in bus order
  std::string manufacturer;
  std::string description;
  std::string serial;        // "" when the device has none or it could not be read
  int stringsResult = 0;     // 0, or libftdi's code when the strings could not all be read
  std::string stringsError;  // libftdi's text for it
};

class FtdiFunctions {
 public:
  virtual ~FtdiFunctions() = default;
  // ftdi_new: a context with its own libusb session; nullptr when libusb
  // cannot be started.
  virtual ftdi_context* New() = 0;
  // ftdi_free: ends the context and its libusb session.
  virtual void Free(ftdi_context* ctx) = 0;
  // ftdi_usb_open_desc_index (any description; `serial` nullptr for any),
  // which takes the device from the kernel's serial driver.
  virtual int OpenDevice(ftdi_context* ctx, int vid, int pid, const char* serial,
                         unsigned index) = 0;
  // Opens the device without taking it and hands it back to the kernel's
  // serial driver (libusb_attach_kernel_driver), so that its serial port
  // comes back; 0, or a negative libftdi or libusb code.
  virtual int GiveBack(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) = 0;
  // ftdi_usb_close.
  virtual int CloseDevice(ftdi_context* ctx) = 0;
  virtual int SetBaudrate(ftdi_context* ctx, int baud) = 0;
  virtual int SetLatencyTimer(ftdi_context* ctx, unsigned char ms) = 0;
  // The time-out of each USB transfer (the context's usb_read_timeout and
  // usb_write_timeout), at least 1 ms each.
  virtual void SetTimeouts(ftdi_context* ctx, int readMs, int writeMs) = 0;
  // ftdi_write_data.
  virtual int WriteData(ftdi_context* ctx, const unsigned char* data, int size) = 0;
  // ftdi_read_data, but one USB transfer at most: the characters an earlier
  // transfer brought beyond its size, else what one transfer brings within
  // the read time-out. A transfer that carries only the chip's two
  // modem-status bytes delivers 0 characters; one that fails or times out
  // after characters arrived delivers them (the failure shows at the next
  // call). ftdi_read_data itself goes on to further transfers, each with the
  // whole time-out, and returns the failure of the last one instead of the
  // characters it already put in the buffer.
  virtual int ReadData(ftdi_context* ctx, unsigned char* data, int size) = 0;
  // ftdi_get_error_string.
  virtual std::string ErrorString(ftdi_context* ctx) = 0;
  // ftdi_usb_find_all for vendor kFtdiVendor and each of `products`, then
  // ftdi_usb_get_strings on each device found. Returns the number of
  // devices, or libftdi's negative code when the bus cannot be searched.
  virtual int FindAll(ftdi_context* ctx, std::span<const int> products,
                      std::vector<FtdiDeviceInfo>* devices) = 0;
  // The device as the system sees it (FindUsbNode), and who holds a port.
  virtual std::optional<UsbNode> Locate(int vid, int pid, const std::string& serial, int index) = 0;
  virtual std::string PortHolder(const std::string& port) = 0;
  // Whether this user may open `node` for reading and writing: 0, or the
  // errno of the refusal (EACCES; ENOENT when it is gone).
  virtual int Access(const std::string& node) = 0;
};

// libftdi1 itself.
FtdiFunctions& SystemFtdi();

}  // namespace eb
