// The bridge through the kernel's serial driver (e.g. /dev/ttyUSB0): raw
// mode, 8N1, no flow control. Every transaction opens the port; reads wait
// with poll() for at most the read time-out, writes for at most the write
// time-out.
//
// Closing leaves DTR and RTS as they are (HUPCL off): a bridge whose
// microcontroller is wired to DTR would otherwise be reset by every
// transaction. Close gives what was written at most the write time-out to
// leave the port and then discards the rest, so it never waits for the
// kernel's own (much longer) drain at close.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/bridge.h"
#include "link/late_reply.h"

namespace eb {

struct TtySettings {
  std::string path;        // e.g. /dev/ttyUSB0
  int baud = kBridgeBaud;  // unless baud= says otherwise
};

// Parses "PATH[,baud=N]", the text after "tty:" in a connection string.
std::optional<TtySettings> ParseTtySettings(std::string_view text, std::string* error);

class TtyBridge : public Bridge {
 public:
  static constexpr int kDefaultBaud = kBridgeBaud;  // as TtySettings{}.baud

  explicit TtyBridge(std::string path, int baud = kDefaultBaud);
  ~TtyBridge() override;
  TtyBridge(const TtyBridge&) = delete;
  TtyBridge& operator=(const TtyBridge&) = delete;

  // Whether `baud` is a rate the serial driver can be set to.
  static bool SupportedBaud(int baud);
  // "1200, 2400, ..., 3000000": every supported rate.
  static std::string SupportedBauds();

  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  std::size_t ReadLine(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }
  // Says which step failed with the system's reason: the device cannot be
  // opened ("No such file or directory", "Permission denied"), is not a
  // serial port, or failed a write or read; and what to do about it.
  LinkError LastFailure() const override { return failure_; }

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  int Baud() const { return baud_; }

 private:
  std::size_t ReadUntil(char* buffer, std::size_t n, bool toLineEnd);
  void Fail(Trouble trouble, std::string cause, std::string hint);
  void OpenFailed(int error);

  std::string path_;
  int baud_;
  std::string description_;
  LinkError failure_;
  LateReply late_;
  int fd_ = -1;
  int readMs_ = 1000;
  int writeMs_ = 1000;
};

}  // namespace eb
