// Replays a trace written by the trace wrapper (--trace, see TraceBridge):
// transaction by transaction, each command the window writes gets the reply
// characters recorded for it, in the recorded order, as fast as the window
// asks. A trace of a bench session (a fault included) thus runs the window
// through the same states at a desk, without the bench.
//
// When the window leaves the recording, a command that differs from the
// recorded one or a transaction after the trace's last, the replay says so
// (both commands and the trace line) and acts as a bridge that went away:
// that transaction and every later one deliver nothing and every Open
// fails, so the window shows what it shows for an unplugged bridge (no
// answer, then closing at the next identify), never readings that were
// recorded for another command.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/bridge.h"

namespace eb {

struct RecordedTransaction {
  std::size_t line = 0;  // the trace's line
  std::string command;
  std::string reply;
};

// The transactions of a trace text (escapes undone). `name` names the trace
// in messages; on refusal returns nothing with *error "NAME:LINE: reason".
std::optional<std::vector<RecordedTransaction>> ParseTraceText(std::string_view text,
                                                               const std::string& name,
                                                               std::string* error);

struct ReplaySettings {
  std::string path;
  std::vector<RecordedTransaction> transactions;
};

// "PATH" (everything after "replay:"): reads and checks the whole trace.
std::optional<ReplaySettings> ParseReplaySettings(std::string_view text, std::string* error);

class ReplayBridge : public Bridge {
 public:
  explicit ReplayBridge(ReplaySettings settings);

  bool Open(int device) override;
  void SetTimeouts(int, int) override {}
  std::size_t Write(std::string_view command) override;
  std::size_t Read(char* buffer, std::size_t n) override;
  void Close() override;
  std::string_view Describe() const override { return description_; }
  // Where the replay left the recording, once it has.
  LinkError LastFailure() const override;

  const std::string& Path() const { return settings_.path; }
  bool Diverged() const { return !divergence_.empty(); }
  // One line: how far the replay went, and where it left the recording.
  std::string Summary() const;

 private:
  const RecordedTransaction* Current() const;
  // Whether what was written so far could still be the recorded command
  // (`complete`: is all of it).
  bool Matches(bool complete);

  ReplaySettings settings_;
  std::string description_;
  std::size_t next_ = 0;       // the next recorded transaction
  bool open_ = false;          // a transaction (next_ - 1) is open
  std::string written_;        // what this transaction wrote so far
  std::size_t delivered_ = 0;  // reply characters this transaction delivered
  std::string divergence_;     // why the replay left the recording ("" while it follows it)
};

}  // namespace eb
