// The simulated stack as a bridge transport. Owns its SimStack.
//
// Open begins a transaction (and fails while the stack is unplugged); each
// Write runs the command string through the stack and queues its reply
// characters; Read hands them out (ReadLine up to the end of a line). Reply characters nobody read
// are dropped at the next Open, so a transaction never sees what an earlier one left.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/bridge.h"
#include "sim/sim_settings.h"
#include "sim/sim_stack.h"

namespace eb {

class SimBridge : public Bridge {
 public:
  explicit SimBridge(const SimSettings& settings = SimSettings{});

  bool Open(int device) override;
  void SetTimeouts(int readMs, int writeMs) override;
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  // Ends after the first CR LF of the reply; a line that is complete costs
  // no read time-out on the simulated clock.
  std::size_t ReadLine(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }
  // Says so when the last Open found the stack unplugged ("sim unplug").
  LinkError LastFailure() const override;

  SimStack& Stack() { return stack_; }
  const SimStack& Stack() const { return stack_; }
  bool IsOpen() const { return open_; }
  int ReadTimeoutMs() const { return readMs_; }
  int WriteTimeoutMs() const { return writeMs_; }
  // Reply characters written but not read yet.
  std::size_t Pending() const { return reply_.size() - replyPos_; }

 private:
  std::size_t Deliver(char* buffer, std::size_t n, bool toLineEnd);

  SimStack stack_;
  std::string description_;
  std::string reply_;
  std::size_t replyPos_ = 0;
  bool open_ = false;
  bool refused_ = false;  // the last Open found the stack unplugged
  int readMs_ = 0;
  int writeMs_ = 0;
};

}  // namespace eb
