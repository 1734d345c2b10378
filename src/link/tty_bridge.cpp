#include "link/tty_bridge.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "link/hints.h"
#include "link/settings_parser.h"

namespace eb {
namespace {

struct BaudEntry {
  int baud;
  speed_t code;
};

constexpr BaudEntry kBauds[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},       {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},
    {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {3000000, B3000000},
};

bool LookupBaud(int baud, speed_t* code) {
  for (const auto& e : kBauds) {
    if (e.baud == baud) {
      *code = e.code;
      return true;
    }
  }
  return false;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, at least 0.
int Remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

std::optional<TtySettings> ParseTtySettings(std::string_view text, std::string* error) {
  TtySettings s;
  const std::size_t comma = text.find(',');
  s.path = std::string(text.substr(0, comma));
  if (s.path.empty()) {
    if (error) *error = "tty: missing device path (e.g. tty:/dev/ttyUSB0)";
    return std::nullopt;
  }
  if (comma == std::string_view::npos) return s;
  SettingsParser parser("tty");
  parser.Custom("baud", "a supported baud rate (" + TtyBridge::SupportedBauds() + ")",
                [&s](std::string_view value) {
                  std::uint64_t v = 0;
                  if (!ParseWholeNumber(value, 0, 100000000, &v)) return false;
                  if (!TtyBridge::SupportedBaud(static_cast<int>(v))) return false;
                  s.baud = static_cast<int>(v);
                  return true;
                });
  const std::string_view settings = text.substr(comma + 1);
  if (settings.empty()) {
    // A comma with nothing after it: an empty item, as in any settings text.
    if (error) *error = "empty tty setting after the device path (keys: " + parser.Keys() + ")";
    return std::nullopt;
  }
  if (!parser.Parse(settings, error)) return std::nullopt;
  return s;
}

TtyBridge::TtyBridge(std::string path, int baud)
    : path_(std::move(path)),
      baud_(baud),
      description_("serial port " + path_ + " at " + std::to_string(baud) + " baud") {}

TtyBridge::~TtyBridge() { Close(); }

bool TtyBridge::SupportedBaud(int baud) {
  speed_t code;
  return LookupBaud(baud, &code);
}

std::string TtyBridge::SupportedBauds() {
  std::string list;
  for (const auto& e : kBauds) list += (list.empty() ? "" : ", ") + std::to_string(e.baud);
  return list;
}

void TtyBridge::Fail(Trouble trouble, std::string cause, std::string hint) {
  // The first failure of a transaction is its cause.
  if (failure_.trouble != Trouble::kNone) return;
  failure_ = LinkError{trouble, std::move(cause), std::move(hint)};
}

void TtyBridge::OpenFailed(int error) {
  std::string cause = "cannot open " + path_ + ": " + std::strerror(error);
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      Fail(Trouble::kNoDevice, std::move(cause),
           "check that the bridge is plugged in and that " + path_ +
               " is its port (ls /dev/ttyUSB*)");
      break;
    case EACCES:
    case EPERM: Fail(Trouble::kPermission, std::move(cause), PermissionHint()); break;
    case EBUSY:
      Fail(Trouble::kBusy, std::move(cause),
           "close the other program that uses " + path_ + ", or unplug and replug the bridge");
      break;
    default: Fail(Trouble::kOther, std::move(cause), ReplugHint());
  }
}

bool TtyBridge::Open(int /*device*/) {
  Close();
  failure_ = {};
  speed_t speed;
  if (!LookupBaud(baud_, &speed)) {
    Fail(Trouble::kOther, std::to_string(baud_) + " baud is not a rate the serial driver supports",
         "choose one of " + SupportedBauds());
    return false;
  }
  int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    OpenFailed(errno);
    return false;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    const int e = errno;
    if (e == ENOTTY) {
      Fail(Trouble::kOther, path_ + " is not a serial port: " + std::strerror(e),
           "name the bridge's serial port, e.g. tty:/dev/ttyUSB0");
    } else {
      Fail(Trouble::kOther, "cannot read the settings of " + path_ + ": " + std::strerror(e),
           ReplugHint());
    }
    ::close(fd);
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  // HUPCL would drop DTR and RTS at every close (cfmakeraw leaves it set).
  tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS | HUPCL);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    Fail(Trouble::kOther,
         "cannot set up " + path_ + " (raw, 8N1, " + std::to_string(baud_) +
             " baud): " + std::strerror(errno),
         ReplugHint());
    ::close(fd);
    return false;
  }
  // Whatever an earlier transaction left unread is not part of this one.
  ::tcflush(fd, TCIFLUSH);
  fd_ = fd;
  return true;
}

void TtyBridge::SetTimeouts(int readMs, int writeMs) {
  readMs_ = std::max(0, readMs);
  writeMs_ = std::max(0, writeMs);
}

std::size_t TtyBridge::Write(std::string_view command) {
  if (fd_ < 0) return 0;
  // The rest of an earlier reply, still coming, then anything else
  // waiting: none of it belongs to this command's reply.
  if (const std::size_t owed = late_.Take()) {
    char late[64];
    const int readMs = readMs_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kLateReplyMs);
    for (std::size_t left = owed; left > 0 && (readMs_ = Remaining(deadline)) > 0;) {
      const std::size_t got = ReadUntil(late, std::min(left, sizeof late), false);
      if (got == 0) break;
      left -= got;
    }
    readMs_ = readMs;
    late_.Take();
  }
  ::tcflush(fd_, TCIFLUSH);
  late_.Wrote(command);
  const auto deadline = Clock::now() + std::chrono::milliseconds(writeMs_);
  std::size_t done = 0;
  while (done < command.size()) {
    ssize_t r = ::write(fd_, command.data() + done, command.size() - done);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      Fail(Trouble::kLost, "writing to " + path_ + " failed: " + std::strerror(errno),
           ReplugHint());
      break;
    }
    const int left = Remaining(deadline);
    if (left <= 0) {
      Fail(Trouble::kLost,
           "writing to " + path_ + " timed out after " + std::to_string(done) + " of " +
               std::to_string(command.size()) + " characters",
           ReplugHint());
      break;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, left) < 0 && errno != EINTR) {
      Fail(Trouble::kLost, "waiting to write to " + path_ + " failed: " + std::strerror(errno),
           ReplugHint());
      break;
    }
  }
  return done;
}

std::size_t TtyBridge::Read(char* buffer, std::size_t n) { return ReadUntil(buffer, n, false); }

std::size_t TtyBridge::ReadLine(char* buffer, std::size_t n) { return ReadUntil(buffer, n, true); }

std::size_t TtyBridge::ReadUntil(char* buffer, std::size_t n, bool toLineEnd) {
  if (fd_ < 0) return 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(readMs_);
  std::size_t got = 0;
  // Running out of time is no failure: the reply was simply short.
  while (got < n) {
    ssize_t r = ::read(fd_, buffer + got, n - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
      if (toLineEnd && HasLineEnd(buffer, got)) break;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {  // e.g. device gone
      Fail(Trouble::kLost, "reading from " + path_ + " failed: " + std::strerror(errno),
           ReplugHint());
      break;
    }
    const int left = Remaining(deadline);
    if (left <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, left);
    if (ready < 0 && errno != EINTR) {
      Fail(Trouble::kLost, "waiting to read from " + path_ + " failed: " + std::strerror(errno),
           ReplugHint());
      break;
    }
    // The serial driver hangs the port up (an error or a hang-up) when its
    // device is unplugged.
    if (ready > 0 && (p.revents & (POLLERR | POLLNVAL))) {
      Fail(Trouble::kLost,
           "reading from " + path_ + " failed: the device reported an error (it went away?)",
           ReplugHint());
      break;
    }
    if (ready > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
      Fail(Trouble::kLost, "reading from " + path_ + " failed: the device hung up (it went away?)",
           ReplugHint());
      break;
    }
  }
  late_.Read(n, got, failure_.trouble != Trouble::kNone || (toLineEnd && HasLineEnd(buffer, got)));
  return got;
}

void TtyBridge::Close() {
  if (fd_ < 0) return;
  // What was written gets the write time-out to leave the port; what is
  // still queued then is discarded, so close() has nothing to wait for.
  const auto deadline = Clock::now() + std::chrono::milliseconds(writeMs_);
  int queued = 0;
  while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
    if (Remaining(deadline) <= 0) {
      ::tcflush(fd_, TCOFLUSH);
      Fail(Trouble::kLost,
           std::to_string(queued) + " characters written to " + path_ + " were not sent within " +
               std::to_string(writeMs_) + " ms",
           ReplugHint());
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::close(fd_);
  fd_ = -1;
}

}  // namespace eb
