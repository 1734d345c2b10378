// A scripted libftdi behind the FTDI transport: devices on a pretend bus,
// read transfers that come in pieces, carry only the modem-status bytes,
// come late or fail, and counts of every context and device taken and
// released. Codes and texts are libftdi's (libusb's for failed transfers).
#pragma once

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/ftdi_functions.h"

namespace eb::test {

class FakeFtdi : public FtdiFunctions {
 public:
  // The bridge's identity line: 34 characters with its CR LF.
  static constexpr std::string_view kIdentity = "ZQM4417-2 UB774B USB-SPI REV 2.1\r\n";

  struct Device {
    int pid = 0x6001;
    std::string serial;
    std::string description = "UB774B USB-SPI";
    int openCode = 0;  // libftdi's code (and text) when opening fails; 0: it opens
    std::string openText;
    int stringsCode = 0;  // likewise for reading its strings
    std::string stringsText;
    std::function<std::string(std::string_view command)> answer;
    bool onBus = true;   // sysfs lists it (false: gone, though libftdi may not know yet)
    int access = 0;      // errno of opening its device node, 0: allowed
    std::string port;    // the serial port the kernel's driver made of it, "" none
    std::string holder;  // the program holding that port open, "" none
  };
  // One read transfer, taken before any answer: after `waitMs` it delivers
  // `data` (the rest stays for the next transfer) or fails with `code`. A
  // wait longer than the transfer's time-out ends in LIBUSB_ERROR_TIMEOUT
  // after the time-out, and the rest of the wait stays.
  struct Transfer {
    int waitMs = 0;
    std::string data;
    int code = 0;
  };

  // A device that answers "IZ" with kIdentity.
  static Device Bridge(std::string serial = "EB000001", int pid = 0x6001) {
    Device d;
    d.pid = pid;
    d.serial = std::move(serial);
    d.answer = [](std::string_view c) { return std::string(c == "IZ" ? kIdentity : ""); };
    return d;
  }

  std::vector<Device> devices;
  std::deque<Transfer> transfers;
  std::size_t packet = 62;  // answer characters per transfer (64-byte packet, 2 status bytes)
  bool usbWorks = true;     // New() fails while false
  int writeCode = 0, baudCode = 0, latencyCode = 0, findCode = 0;  // the next such call fails
  // Contexts from these functions instead (SystemFtdi(): a real libusb session each).
  FtdiFunctions* sessions = nullptr;

  int contextsMade = 0, contextsFreed = 0, devicesOpened = 0, devicesClosed = 0, givenBack = 0;
  int idleCloses = 0;  // CloseDevice with no device open
  int reads = 0;
  std::vector<int> readTimeouts;  // the time-out each read transfer was given
  std::vector<int> opened;        // device numbers, in the order opened

  int LiveContexts() const { return contextsMade - contextsFreed; }
  int OpenDevices() const { return devicesOpened - devicesClosed; }

  ftdi_context* New() override {
    ftdi_context* ctx = !usbWorks ? nullptr : sessions ? sessions->New() : new ftdi_context{};
    if (ctx != nullptr) ++contextsMade, states_[ctx] = State{};
    return ctx;
  }
  void Free(ftdi_context* ctx) override {
    ++contextsFreed;
    states_.erase(ctx);
    sessions ? sessions->Free(ctx) : delete ctx;
  }
  int OpenDevice(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) override {
    State& s = states_.at(ctx);
    for (std::size_t i = 0; i < devices.size(); ++i) {
      const Device& d = devices[i];
      if (vid != kFtdiVendor || d.pid != pid || (serial && d.serial != serial)) continue;
      if (index-- > 0) continue;
      if (d.openCode < 0) return Fail(s, d.openCode, d.openText);
      s.device = static_cast<int>(i);
      s.pending.clear();
      ++devicesOpened;
      opened.push_back(s.device);
      return 0;
    }
    return Fail(s, -3, "device not found");
  }
  int GiveBack(ftdi_context*, int, int, const char*, unsigned) override {
    ++givenBack;
    return 0;
  }
  std::optional<UsbNode> Locate(int, int pid, const std::string& serial, int index) override {
    for (const Device& d : devices) {
      if (d.pid != pid || (!serial.empty() && d.serial != serial) || index-- > 0) continue;
      if (!d.onBus) return std::nullopt;
      UsbNode node{"/dev/bus/usb/001/" + std::to_string(&d - devices.data() + 2), {}};
      if (!d.port.empty()) node.ports.push_back(d.port);
      return node;
    }
    return std::nullopt;
  }
  std::string PortHolder(const std::string& port) override {
    for (const Device& d : devices) {
      if (d.port == port) return d.holder;
    }
    return "";
  }
  int Access(const std::string& node) override {
    for (const Device& d : devices) {
      if (node.ends_with("/" + std::to_string(&d - devices.data() + 2))) return d.access;
    }
    return ENOENT;
  }
  int CloseDevice(ftdi_context* ctx) override {
    State& s = states_.at(ctx);
    s.device < 0 ? ++idleCloses : ++devicesClosed;
    s.device = -1;
    return 0;
  }
  int SetBaudrate(ftdi_context* ctx, int) override {
    return Take(baudCode) < 0 ? Fail(states_.at(ctx), -1, "Setting new baudrate failed") : 0;
  }
  int SetLatencyTimer(ftdi_context* ctx, unsigned char) override {
    return Take(latencyCode) < 0 ? Fail(states_.at(ctx), -2, "unable to set latency timer") : 0;
  }
  void SetTimeouts(ftdi_context* ctx, int readMs, int) override {
    states_.at(ctx).readMs = std::max(1, readMs);
  }
  int WriteData(ftdi_context* ctx, const unsigned char* data, int size) override {
    State& s = states_.at(ctx);
    if (s.device < 0) return Fail(s, -666, "USB device unavailable");
    if (const int code = Take(writeCode)) return Fail(s, code, "usb bulk write failed");
    const Device& d = devices[static_cast<std::size_t>(s.device)];
    if (d.answer) s.pending += d.answer({reinterpret_cast<const char*>(data), std::size_t(size)});
    return size;
  }
  int ReadData(ftdi_context* ctx, unsigned char* data, int size) override {
    State& s = states_.at(ctx);
    ++reads;
    readTimeouts.push_back(s.readMs);
    if (s.device < 0) return Fail(s, -666, "USB device unavailable");
    std::string* from = &s.pending;
    if (!transfers.empty()) {
      Transfer& t = transfers.front();
      Sleep(std::min(t.waitMs, s.readMs));
      if (t.waitMs > s.readMs) {
        t.waitMs -= s.readMs;
        return Fail(s, LIBUSB_ERROR_TIMEOUT, "usb bulk read failed");
      }
      t.waitMs = 0;
      if (t.code < 0 || t.data.empty()) {
        const int code = t.code;
        transfers.pop_front();
        return code < 0 ? Fail(s, code, "usb bulk read failed") : 0;
      }
      from = &t.data;
    } else if (s.pending.empty()) {
      Sleep(std::min(2, s.readMs));  // a status packet every latency period
      return 0;
    }
    const std::size_t k =
        std::min({std::size_t(size), from == &s.pending ? packet : size_t(-1), from->size()});
    std::copy_n(from->data(), k, data);  // bytes, not a string
    from->erase(0, k);
    if (!transfers.empty() && transfers.front().data.empty()) transfers.pop_front();
    return static_cast<int>(k);
  }
  std::string ErrorString(ftdi_context* ctx) override { return states_.at(ctx).error; }
  int FindAll(ftdi_context* ctx, std::span<const int> products,
              std::vector<FtdiDeviceInfo>* found) override {
    found->clear();
    if (Take(findCode) < 0) return Fail(states_.at(ctx), -5, "libusb_get_device_list() failed");
    for (int pid : products) {
      int index = 0;
      for (const Device& d : devices) {
        if (d.pid != pid) continue;
        FtdiDeviceInfo info{kFtdiVendor, pid, index++, "FTDI", d.description, d.serial, 0, ""};
        if (d.stringsCode < 0)
          info = {kFtdiVendor, pid, info.index, "", "", "", d.stringsCode, d.stringsText};
        found->push_back(info);
      }
    }
    return static_cast<int>(found->size());
  }

 private:
  struct State {
    int device = -1;
    int readMs = 5000;
    std::string error, pending;
  };
  static int Fail(State& s, int code, std::string text) {
    s.error = std::move(text);
    return code;
  }
  static int Take(int& code) { return std::exchange(code, 0); }
  static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::map<ftdi_context*, State> states_;
};

}  // namespace eb::test
