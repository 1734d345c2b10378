// The bridge through libftdi1: the FTDI device with the given vendor and
// product id, picked by serial number or by index (by default 0403:6001, the
// first one). The device is opened and closed for every transaction; the
// libftdi context and its libusb session are made once, at the first Open,
// and last as long as the bridge, so a transaction costs only the device's
// open and close.
//
// Opening takes the device from the kernel's serial driver (its port,
// /dev/ttyUSB0, goes away meanwhile), unless another program holds that port
// open; the bridge gives the device back to the driver when it ends.
//
// A failure to open leaves the transport closed, so writes and reads deliver
// nothing. A write or read that fails ends what the transaction can do: the
// read delivers the characters that did arrive, later reads nothing, and
// LastFailure() says what happened and what to do about it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/bridge.h"
#include "link/ftdi_functions.h"
#include "link/late_reply.h"

struct ftdi_context;

namespace eb {

struct FtdiSettings {
  int vid = kFtdiVendor;
  int pid = 0x6001;
  int index = 0;           // among the devices that match vid, pid (and serial)
  std::string serial;      // "": any serial number
  int baud = kBridgeBaud;  // unless baud= says otherwise
};

// Parses "vid=0403,pid=6001,index=0,serial=A50285BI,baud=N" (vid and pid
// hexadecimal, with or without "0x"); "" gives the defaults.
std::optional<FtdiSettings> ParseFtdiSettings(std::string_view text, std::string* error);

class FtdiBridge : public Bridge {
 public:
  // USB latency timer set on every open, in milliseconds.
  static constexpr int kLatencyMs = 2;
  // Time-out of the USB control requests that open and set up the device.
  static constexpr int kOpenTimeoutMs = 1000;
  // Longest serial number a device may give.
  static constexpr std::size_t kSerialLength = 64;

  explicit FtdiBridge(const FtdiSettings& settings = FtdiSettings{},
                      FtdiFunctions& ftdi = SystemFtdi());
  ~FtdiBridge() override;
  FtdiBridge(const FtdiBridge&) = delete;
  FtdiBridge& operator=(const FtdiBridge&) = delete;

  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  // Each USB transfer waits at most what is left of the read time-out, so a
  // read never takes longer than its time-out (plus one latency period),
  // and it delivers every character that arrived, whatever a later
  // transfer does.
  std::size_t Read(char* buffer, std::size_t n) override;
  std::size_t ReadLine(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }
  LinkError LastFailure() const override { return failure_; }

  bool IsOpen() const { return open_; }
  // Whether the libftdi context (and its libusb session) exists.
  bool HasSession() const { return ctx_ != nullptr; }
  const FtdiSettings& Settings() const { return settings_; }

 private:
  std::size_t ReadUntil(char* buffer, std::size_t n, bool toLineEnd);
  void Fail(Trouble trouble, std::string cause, std::string hint);
  void OpenFailed(int code);
  bool PortInUse();
  void TransferFailed(const char* doing, int code);

  FtdiSettings settings_;
  FtdiFunctions& ftdi_;
  std::string description_;
  std::string device_;  // "FTDI device 0403:6001" and how it is picked, for messages
  LinkError failure_;
  ftdi_context* ctx_ = nullptr;
  bool open_ = false;
  bool broken_ = false;    // a transfer of this transaction failed
  bool taken_ = false;     // the device is ours, not the kernel serial driver's
  bool giveBack_ = false;  // the driver had it when it was first taken
  LateReply late_;
  int readMs_ = 1000;
  int writeMs_ = 1000;
};

}  // namespace eb
