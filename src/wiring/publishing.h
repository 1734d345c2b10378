// The operator's publishing to an MQTT broker: started by --mqtt or the
// settings dialog, fed by the sample tap of whoever runs the timer ticks
// (the window, or the script runner), what it has to say (a refused login,
// a full queue) said once each in a message box while reading goes on.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "net/publisher.h"

namespace eb {

class Form1;
class Platform;
class SampleTap;

class Publishing {
 public:
  // `program`: the --version line; `bridge`: the connection string.
  Publishing(SampleTap& tap, Platform& platform, std::string program, std::string bridge);
  ~Publishing();
  Publishing(const Publishing&) = delete;
  Publishing& operator=(const Publishing&) = delete;

  // Starts publishing to `url` with the credentials of `authFile` (the
  // environment's when it is empty), ending what runs. Returns "" or, for
  // the operator, why it cannot.
  std::string Start(const std::string& url, const std::string& authFile, const Form1& form,
                    std::chrono::system_clock::time_point now);
  // Sends what waits (for up to two seconds), says "offline" and ends.
  void Stop();
  bool Active() const { return publisher_ != nullptr; }
  // "mqtt://host:1883/prefix as STATION", or "".
  std::string where() const { return publisher_ ? publisher_->Describe() : std::string(); }
  const std::string& url() const { return url_; }
  const std::string& authFile() const { return authFile_; }
  // After each tick and from a timer: sends what waits, says what is new.
  void Poll();
  // The recording running beside (its path, or "" for none): samples
  // beyond a full queue are read back from it.
  void SetBacklogSource(std::function<std::string()> recordingPath) {
    backlog_ = std::move(recordingPath);
  }
  const net::Publisher* publisher() const { return publisher_.get(); }

 private:
  SampleTap& tap_;
  Platform& platform_;
  std::string program_, bridge_;
  std::string url_, authFile_;
  std::function<std::string()> backlog_;
  std::unique_ptr<net::Publisher> publisher_;
};

// Checks an --mqtt URL and the credentials it would use before anything
// starts. Returns "" or the reason (one line).
std::string CheckPublishing(const std::string& url, const std::string& authFile);

}  // namespace eb
