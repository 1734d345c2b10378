#include "link/ftdi_functions.h"

#include <ftdi.h>

#include <algorithm>

namespace eb {
namespace {

class SystemFtdiFunctions : public FtdiFunctions {
 public:
  ftdi_context* New() override { return ftdi_new(); }
  void Free(ftdi_context* ctx) override { ftdi_free(ctx); }
  int OpenDevice(ftdi_context* ctx, int vid, int pid, const char* serial, unsigned index) override {
    return ftdi_usb_open_desc_index(ctx, vid, pid, nullptr, serial, index);
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
    return ftdi_read_data(ctx, data, size);
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
};

}  // namespace

FtdiFunctions& SystemFtdi() {
  static SystemFtdiFunctions functions;
  return functions;
}

}  // namespace eb
