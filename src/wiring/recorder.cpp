#include "wiring/recorder.h"

#include "window/form1.h"
#include "window/platform.h"
#include "window/sample_tap.h"

namespace eb {

std::string BridgeText(const std::string& bridge, const Form1& form) {
  return form.IDreply.empty() ? bridge : bridge + " " + form.IDreply;
}

Recorder::Recorder(SampleTap& tap, Platform& platform, std::string program, std::string bridge)
    : tap_(tap), platform_(platform), program_(std::move(program)), bridge_(std::move(bridge)) {}

Recorder::~Recorder() { Stop(); }

std::string Recorder::Start(const std::string& path, const Form1& form,
                            std::chrono::system_clock::time_point now) {
  Stop();
  if (path.empty()) return "Enter the file to record to.";
  RecordingStart start;
  start.program = program_;
  start.bridge = BridgeText(bridge_, form);
  start.startedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::string error;
  recording_ = Recording::Open(path, start, &error);
  if (!recording_) return error;
  tap_.Attach(*recording_, form, now);
  AfterTick(form);
  return "";
}

void Recorder::Stop() {
  if (!recording_) return;
  tap_.Detach(*recording_);
  recording_.reset();  // commits the pass in flight
}

void Recorder::AfterTick(const Form1& form) {
  if (!recording_) return;
  if (form.OnOff != 1 || form.Unloaded) recording_->Flush();
  const std::string said = recording_->TakeFailure();
  if (!said.empty()) platform_.MsgBox(said);
}

}  // namespace eb
