// The operator's recording: started and stopped by the menu, --record and
// the script's "record" lines, fed by the sample tap of whoever runs the
// timer ticks (the window, or the script runner), its failure said once in a
// message box while the window goes on.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "record/recording_writer.h"

namespace eb {

class Form1;
class Platform;
class SampleTap;

// The connection string and what the bridge said it is, as a recording's
// provenance and the published status give it.
std::string BridgeText(const std::string& bridge, const Form1& form);

class Recorder {
 public:
  // `program`: the --version line; `bridge`: the connection string.
  Recorder(SampleTap& tap, Platform& platform, std::string program, std::string bridge);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Starts recording to `path` (a recording there is appended to), ending
  // the one running. Returns "" or, for the operator, why it cannot.
  std::string Start(const std::string& path, const Form1& form,
                    std::chrono::system_clock::time_point now);
  void Stop();
  bool Active() const { return recording_ != nullptr; }
  std::string path() const { return recording_ ? recording_->path() : std::string(); }
  // After each tick the tap has seen: commits a pass that reading stopped
  // in the middle of (it would not end otherwise), and tells the operator,
  // once, that the recording cannot be written.
  void AfterTick(const Form1& form);
  const Recording* recording() const { return recording_.get(); }

 private:
  SampleTap& tap_;
  Platform& platform_;
  std::string program_, bridge_;
  std::unique_ptr<Recording> recording_;
};

}  // namespace eb
