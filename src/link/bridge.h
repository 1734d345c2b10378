// The five bridge calls the window logic makes, one transaction at a time:
// open device 0, set the time-outs, write one command string, read up to n
// reply characters within the read time-out, close.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace eb {

// What a failed Open, Write or Read ran into, so that the front end can say
// what to do about it.
enum class Trouble {
  kNone,        // nothing failed
  kNoDevice,    // nothing there to open: unplugged, or the wrong path or serial number
  kPermission,  // the device is there but this user may not open it
  kBusy,        // another program, or a kernel driver, holds the device
  kLost,        // the device went away or stopped working during the transaction
  kOther,       // anything else (a setting the device refused, USB unusable)
};

struct LinkError {
  Trouble trouble = Trouble::kNone;
  std::string cause;  // what went wrong, one line ("" when nothing failed)
  std::string hint;   // what to do about it, one line ("" when there is nothing to add)

  // "cause; hint", or the cause alone.
  std::string Line() const { return hint.empty() ? cause : cause + "; " + hint; }
};

// Whether the `n` characters at `text` contain CR LF.
inline bool HasLineEnd(const char* text, std::size_t n) {
  for (std::size_t i = 1; i < n; ++i) {
    if (text[i - 1] == '\r' && text[i] == '\n') return true;
  }
  return false;
}

class Bridge {
 public:
  virtual ~Bridge() = default;
  // Opens device `device` (always 0 here). Returns false when nothing opened;
  // the calls below then deliver nothing until the next successful open.
  virtual bool Open(int device) = 0;
  virtual void SetTimeouts(int readMs, int writeMs) = 0;
  // Writes the bytes of `command`; returns how many were written.
  virtual std::size_t Write(std::string_view command) = 0;
  // Reads up to `n` characters into `buffer`, waiting at most the read
  // time-out; returns how many were delivered. Characters beyond that count
  // are left untouched.
  virtual std::size_t Read(char* buffer, std::size_t n) = 0;
  // As Read, but also returns as soon as the characters delivered contain
  // CR LF, the end of a text line such as the bridge's identity. A transport
  // that cannot tell waits as Read does.
  virtual std::size_t ReadLine(char* buffer, std::size_t n) { return Read(buffer, n); }
  virtual void Close() = 0;
  // One line saying what this transport is (for messages).
  virtual std::string_view Describe() const = 0;
  // Why the last Open, Write or Read failed, and what to do about it
  // (trouble kNone when it did not fail or the transport cannot say). Open
  // starts afresh.
  virtual LinkError LastFailure() const { return {}; }
  // The cause alone, in one line ("" when nothing failed).
  std::string LastError() const { return LastFailure().cause; }
};

}  // namespace eb
