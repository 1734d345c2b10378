#include "link/ftdi_functions.h"

#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace eb {
namespace {

class SystemFtdiFunctions : public FtdiFunctions {
 public:
  ftdi_context* New() override { return ftdi_new(); }
  void Free(ftdi_context* ctx) override { ftdi_free(ctx); }
  int OpenDevice(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) override {
    return ftdi_usb_open_desc_index(ctx, vid, pid, nullptr, serial, index);
  }
  int GiveBack(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) override {
    const ftdi_module_detach_mode mode = ctx->module_detach_mode;
    ctx->module_detach_mode = DONT_DETACH_SIO_MODULE;
    int r = ftdi_usb_open_desc_index(ctx, vid, pid, nullptr, serial, index);
    ctx->module_detach_mode = mode;
    if (r < 0) return r;
    libusb_release_interface(ctx->usb_dev, ctx->interface);
    r = libusb_attach_kernel_driver(ctx->usb_dev, ctx->interface);
    ftdi_usb_close(ctx);
    return r;
  }
  int CloseDevice(ftdi_context* ctx) override { return ftdi_usb_close(ctx); }
  int SetBaudrate(ftdi_context* ctx, int baud) override { return ftdi_set_baudrate(ctx, baud); }
  int SetLatencyTimer(ftdi_context* ctx, unsigned char ms) override {
    return ftdi_set_latency_timer(ctx, ms);
  }
  void SetTimeouts(ftdi_context* ctx, int readMs, int writeMs) override {
    // libusb takes 0 as "no time-out at all".
    ctx->usb_read_timeout = std::max(1, readMs);
    ctx->usb_write_timeout = std::max(1, writeMs);
  }
  int WriteData(ftdi_context* ctx, const unsigned char* data, int size) override {
    return ftdi_write_data(ctx, data, size);
  }
  int ReadData(ftdi_context* ctx, unsigned char* data, int size) override {
    if (ctx->usb_dev == nullptr) {
      ctx->error_str = "USB device unavailable";
      return -666;
    }
    unsigned char* held = ctx->readbuffer;
    if (ctx->readbuffer_remaining == 0) {
      int got = 0;
      const int r = libusb_bulk_transfer(ctx->usb_dev, static_cast<unsigned char>(ctx->out_ep),
                                         held, static_cast<int>(ctx->readbuffer_chunksize), &got,
                                         static_cast<unsigned>(ctx->usb_read_timeout));
      // Every packet begins with the chip's two modem-status bytes.
      const int packet = std::max(3, static_cast<int>(ctx->max_packet_size));
      int kept = 0;
      for (int at = 0; at < got; at += packet) {
        const int n = std::min(packet, got - at) - 2;
        if (n > 0) std::memmove(held + kept, held + at + 2, static_cast<std::size_t>(n));
        kept += std::max(0, n);
      }
      if (kept == 0 && r < 0) {
        ctx->error_str = "usb bulk read failed";
        return r;
      }
      ctx->readbuffer_offset = 0;
      ctx->readbuffer_remaining = static_cast<unsigned>(kept);
    }
    const unsigned k =
        std::min(static_cast<unsigned>(std::max(0, size)), ctx->readbuffer_remaining);
    std::memcpy(data, held + ctx->readbuffer_offset, k);
    ctx->readbuffer_offset += k;
    ctx->readbuffer_remaining -= k;
    return static_cast<int>(k);
  }
  std::string ErrorString(ftdi_context* ctx) override {
    const char* text = ftdi_get_error_string(ctx);
    return text != nullptr ? text : "";
  }
  int FindAll(ftdi_context* ctx, std::span<const int> products,
              std::vector<FtdiDeviceInfo>* devices) override {
    devices->clear();
    for (int pid : products) {
      ftdi_device_list* list = nullptr;
      const int found = ftdi_usb_find_all(ctx, &list, kFtdiVendor, pid);
      if (found < 0) return found;
      int index = 0;
      for (ftdi_device_list* d = list; d != nullptr; d = d->next, ++index) {
        FtdiDeviceInfo info;
        info.vid = kFtdiVendor;
        info.pid = pid;
        info.index = index;
        char manufacturer[128] = {}, description[128] = {}, serial[128] = {};
        info.stringsResult =
            ftdi_usb_get_strings(ctx, d->dev, manufacturer, sizeof manufacturer, description,
                                 sizeof description, serial, sizeof serial);
        if (info.stringsResult < 0) info.stringsError = ErrorString(ctx);
        info.manufacturer = manufacturer;
        info.description = description;
        info.serial = serial;
        devices->push_back(std::move(info));
      }
      ftdi_list_free(&list);
    }
    return static_cast<int>(devices->size());
  }
  std::optional<UsbNode> Locate(int vid, int pid, const std::string& serial, int index) override {
    return FindUsbNode(vid, pid, serial, index);
  }
  std::string PortHolder(const std::string& port) override { return eb::PortHolder(port); }
  int Access(const std::string& node) override {
    return ::access(node.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
  }
};

}  // namespace

FtdiFunctions& SystemFtdi() {
  static SystemFtdiFunctions functions;
  return functions;
}

}  // namespace eb
