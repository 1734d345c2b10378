// The five bridge calls the window logic makes, one transaction at a time:
// open device 0, set the time-outs, write one command string, read up to n
// reply characters within the read time-out, close.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace eb {

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
  virtual void Close() = 0;
  // One line saying what this transport is (for messages).
  virtual std::string_view Describe() const = 0;
  // Why the last Open, Write or Read failed, in one line ("" when it did
  // not fail or the transport cannot say). Open starts afresh.
  virtual std::string LastError() const { return {}; }
};

}  // namespace eb
