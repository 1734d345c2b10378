#include "wiring/publishing.h"

#include "window/form1.h"
#include "window/platform.h"
#include "window/sample_tap.h"
#include "wiring/recorder.h"

namespace eb {

namespace {

struct Target {
  std::optional<net::BrokerAddress> broker;
  std::optional<net::Credentials> credentials;
  std::string error;
};

Target Resolve(const std::string& url, const std::string& authFile) {
  Target t;
  t.broker = net::ParseBrokerUrl(url, &t.error);
  if (!t.broker) {
    t.error = "bad MQTT URL \"" + url + "\": " + t.error;
    return t;
  }
  t.credentials = net::ReadCredentials(authFile, &t.error);
  if (!t.credentials) t.error = "MQTT credentials: " + t.error;
  return t;
}

}  // namespace

std::string CheckPublishing(const std::string& url, const std::string& authFile) {
  return Resolve(url, authFile).error;
}

Publishing::Publishing(SampleTap& tap, Platform& platform, std::string program, std::string bridge)
    : tap_(tap), platform_(platform), program_(std::move(program)), bridge_(std::move(bridge)) {}

Publishing::~Publishing() { Stop(); }

std::string Publishing::Start(const std::string& url, const std::string& authFile,
                              const Form1& form, std::chrono::system_clock::time_point now) {
  Stop();
  if (url.empty()) return "Enter the broker's URL (mqtt://host:port/prefix).";
  const Target t = Resolve(url, authFile);
  if (!t.error.empty()) return t.error;
  net::PublisherSettings settings;
  settings.broker = *t.broker;
  settings.credentials = *t.credentials;
  settings.program = program_;
  settings.bridge = BridgeText(bridge_, form);
  settings.runMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::string error;
  publisher_ = net::Publisher::Start(settings, &error);
  if (!publisher_) return error;
  url_ = url;
  authFile_ = authFile;
  if (backlog_) publisher_->SetBacklog(backlog_());
  tap_.Attach(*publisher_, form, now);
  Poll();
  return "";
}

void Publishing::Stop() {
  if (!publisher_) return;
  tap_.Detach(*publisher_);
  publisher_->Close(std::chrono::seconds(2));
  const std::string said = publisher_->Poll();  // with what could not be sent
  if (!said.empty()) platform_.Notice(said);
  publisher_.reset();
}

void Publishing::Poll() {
  if (!publisher_) return;
  if (backlog_) publisher_->SetBacklog(backlog_());
  const std::string said = publisher_->Poll();
  if (!said.empty()) platform_.Notice(said);
}

}  // namespace eb
