// A scripted libftdi behind the FTDI transport: devices on a pretend bus,
// read transfers that arrive in pieces, carry only the modem-status bytes,
// come late or fail, and counts of every context and device taken and
// released. Return codes and texts are libftdi's (and libusb's for failed
// transfers).
#pragma once

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/ftdi_functions.h"

namespace eb::test {

class FakeFtdi : public FtdiFunctions {
 public:
  // The identity line of the bridge, 34 characters with its CR LF.
  static constexpr std::string_view kIdentity = "ZQM4417-2 UB774B USB-SPI REV 2.1\r\n";

  struct Device {
    int vid = kFtdiVendor;
    int pid = 0x6001;
    std::string manufacturer = "FTDI";
    std::string description = "UB774B USB-SPI";
    std::string serial;
    int openCode = 0;  // libftdi's code when opening it fails; 0: it opens
    std::string openText;
    int stringsCode = 0;  // libftdi's code when its strings cannot be read
    std::string stringsText;
    // What the device answers to each command string written.
    std::function<std::string(std::string_view command)> answer;
  };

  // One USB read transfer, taken before any answer characters: after
  // `waitMs` it delivers `data` (as much as was asked; the rest stays for the
  // next transfer) or fails with `code`. A wait longer than the transfer's
  // time-out ends in LIBUSB_ERROR_TIMEOUT after the time-out, and the rest
  // of the wait stays for the next transfer.
  struct Transfer {
    int waitMs = 0;
    std::string data;
    int code = 0;
  };

  // A device that answers "IZ" with kIdentity and nothing else.
  static Device Bridge(std::string serial = "EB000001", int pid = 0x6001) {
    Device d;
    d.pid = pid;
    d.serial = std::move(serial);
    d.answer = [](std::string_view command) {
      return command == "IZ" ? std::string(kIdentity) : std::string();
    };
    return d;
  }

  std::vector<Device> devices;
  std::deque<Transfer> transfers;
  std::size_t packet = 62;  // answer characters per transfer (a 64-byte packet less 2 status bytes)
  int latencyMs = 2;        // a transfer with nothing to deliver comes back after this
  bool usbWorks = true;     // New() fails while false
  int writeCode = 0;        // the next write fails with this code
  int baudCode = 0;         // setting the baud rate fails with this code
  int latencyCode = 0;      // setting the latency timer fails with this code
  int findCode = 0;         // searching the bus fails with this code
  // When set, contexts come from these functions (e.g. SystemFtdi(), for the
  // real cost of a libusb session); everything else stays scripted.
  FtdiFunctions* sessions = nullptr;

  // What happened.
  int contextsMade = 0;
  int contextsFreed = 0;
  int openAttempts = 0;
  int devicesOpened = 0;
  int devicesClosed = 0;
  int idleCloses = 0;  // CloseDevice with no device open (harmless in libftdi)
  int writes = 0;
  int reads = 0;
  std::vector<int> readTimeouts;  // the time-out each read transfer was given
  std::vector<std::string> commands;
  std::vector<int> opened;  // device numbers, in the order opened

  int LiveContexts() const { return contextsMade - contextsFreed; }
  int OpenDevices() const { return devicesOpened - devicesClosed; }

  ftdi_context* New() override {
    if (!usbWorks) return nullptr;
    ftdi_context* ctx = sessions != nullptr ? sessions->New() : new ftdi_context{};
    if (ctx == nullptr) return nullptr;
    ++contextsMade;
    states_[ctx] = State{};
    return ctx;
  }
  void Free(ftdi_context* ctx) override {
    ++contextsFreed;
    states_.erase(ctx);
    if (sessions != nullptr) {
      sessions->Free(ctx);
    } else {
      delete ctx;
    }
  }
  int OpenDevice(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) override {
    State& s = states_.at(ctx);
    ++openAttempts;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      const Device& d = devices[i];
      if (d.vid != vid || d.pid != pid || (serial != nullptr && d.serial != serial)) continue;
      if (index > 0) {
        --index;
        continue;
      }
      if (d.openCode < 0) return Error(s, d.openCode, d.openText);
      s.device = static_cast<int>(i);
      s.pending.clear();
      ++devicesOpened;
      opened.push_back(s.device);
      return 0;
    }
    return Error(s, -3, "device not found");
  }
  int CloseDevice(ftdi_context* ctx) override {
    State& s = states_.at(ctx);
    if (s.device < 0) {
      ++idleCloses;
      return 0;
    }
    s.device = -1;
    ++devicesClosed;
    return 0;
  }
  int SetBaudrate(ftdi_context* ctx, int) override {
    State& s = states_.at(ctx);
    if (s.device < 0) return Error(s, -3, "USB device unavailable");
    return baudCode < 0 ? Error(s, baudCode, "Setting new baudrate failed") : 0;
  }
  int SetLatencyTimer(ftdi_context* ctx, unsigned char) override {
    State& s = states_.at(ctx);
    if (s.device < 0) return Error(s, -3, "USB device unavailable");
    return latencyCode < 0 ? Error(s, latencyCode, "unable to set latency timer") : 0;
  }
  void SetTimeouts(ftdi_context* ctx, int readMs, int writeMs) override {
    State& s = states_.at(ctx);
    s.readMs = std::max(1, readMs);
    s.writeMs = std::max(1, writeMs);
  }
  int WriteData(ftdi_context* ctx, const unsigned char* data, int size) override {
    State& s = states_.at(ctx);
    ++writes;
    if (s.device < 0) return Error(s, -666, "USB device unavailable");
    if (writeCode < 0) {
      const int code = writeCode;
      writeCode = 0;
      return Error(s, code, "usb bulk write failed");
    }
    const std::string command(reinterpret_cast<const char*>(data), static_cast<std::size_t>(size));
    commands.push_back(command);
    const Device& d = devices[static_cast<std::size_t>(s.device)];
    if (d.answer) s.pending += d.answer(command);
    return size;
  }
  int ReadData(ftdi_context* ctx, unsigned char* data, int size) override {
    State& s = states_.at(ctx);
    ++reads;
    readTimeouts.push_back(s.readMs);
    if (s.device < 0) return Error(s, -666, "USB device unavailable");
    if (!transfers.empty()) {
      Transfer& t = transfers.front();
      if (t.waitMs > s.readMs) {
        Sleep(s.readMs);
        t.waitMs -= s.readMs;
        return Error(s, LIBUSB_ERROR_TIMEOUT, "usb bulk read failed");
      }
      Sleep(t.waitMs);
      t.waitMs = 0;
      if (t.code < 0) {
        const int code = t.code;
        transfers.pop_front();
        return Error(s, code, "usb bulk read failed");
      }
      const std::size_t k = std::min(static_cast<std::size_t>(size), t.data.size());
      std::memcpy(data, t.data.data(), k);
      t.data.erase(0, k);
      if (t.data.empty()) transfers.pop_front();
      return static_cast<int>(k);
    }
    if (s.pending.empty()) {
      Sleep(std::min(latencyMs, s.readMs));
      return 0;
    }
    const std::size_t k = std::min({static_cast<std::size_t>(size), packet, s.pending.size()});
    std::memcpy(data, s.pending.data(), k);
    s.pending.erase(0, k);
    return static_cast<int>(k);
  }
  std::string ErrorString(ftdi_context* ctx) override { return states_.at(ctx).error; }
  int FindAll(ftdi_context* ctx, std::span<const int> products,
              std::vector<FtdiDeviceInfo>* found) override {
    State& s = states_.at(ctx);
    found->clear();
    if (findCode < 0) return Error(s, findCode, "libusb_get_device_list() failed");
    for (int pid : products) {
      int index = 0;
      for (const Device& d : devices) {
        if (d.vid != kFtdiVendor || d.pid != pid) continue;
        FtdiDeviceInfo info;
        info.vid = d.vid;
        info.pid = d.pid;
        info.index = index++;
        if (d.stringsCode < 0) {
          info.stringsResult = d.stringsCode;
          info.stringsError = d.stringsText;
        } else {
          info.manufacturer = d.manufacturer;
          info.description = d.description;
          info.serial = d.serial;
        }
        found->push_back(info);
      }
    }
    return static_cast<int>(found->size());
  }

 private:
  struct State {
    int device = -1;
    int readMs = 5000;  // libftdi's defaults
    int writeMs = 5000;
    std::string error;
    std::string pending;
  };
  static int Error(State& s, int code, std::string text) {
    s.error = std::move(text);
    return code;
  }
  static void Sleep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }

  std::map<ftdi_context*, State> states_;
};

}  // namespace eb::test
