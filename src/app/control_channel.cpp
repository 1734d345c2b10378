#include "app/control_channel.h"

#include <algorithm>
#include <chrono>

#include "app/main_window.h"
#include "app/qt_platform.h"

namespace eb::app {

namespace {

// Reads of one connection per wake-up (4 KiB each): a client that floods
// the socket cannot keep the window from its own events.
constexpr int kReadsPerWake = 16;
// Answers written but not yet taken by a client beyond which its input is
// no longer read (it does not read what it asked for).
constexpr std::size_t kMaxUnread = 256 * 1024;

}  // namespace

std::unique_ptr<ControlChannel> ControlChannel::Start(MainWindow& window, Form1& form,
                                                      QtPlatform& platform, StackControl* stack,
                                                      const std::string& listen,
                                                      const std::string& tokenFile,
                                                      std::string* error) {
  const std::optional<ListenAddress> address = ParseListenAddress(listen, error);
  if (!address) return nullptr;
  std::string token;
  if (!tokenFile.empty()) {
    const std::optional<std::string> read = ReadListenToken(tokenFile, error);
    if (!read) return nullptr;
    token = *read;
  }
  std::unique_ptr<ControlChannel> channel(new ControlChannel(window, form, platform, stack, token));
  *error = channel->listener_.Open(*address, !token.empty());
  if (!error->empty()) return nullptr;
  channel->accept_ =
      std::make_unique<QSocketNotifier>(channel->listener_.fd(), QSocketNotifier::Read);
  QObject::connect(channel->accept_.get(), &QSocketNotifier::activated, channel.get(),
                   [c = channel.get()] { c->AcceptAll(); });
  return channel;
}

ControlChannel::ControlChannel(MainWindow& window, Form1& form, QtPlatform& platform,
                               StackControl* stack, const std::string& token)
    : window_(window), platform_(platform), server_(form, stack, token) {
  server_.send = [this](int id, const std::string& answer) {
    if (!listener_.Send(id, answer + "\n")) failed_.insert(id);
  };
  server_.close = [this](int id) { closing_.insert(id); };
  server_.gone = [this](int id) { return listener_.PeerGone(id); };
  server_.RecordWith([this](const std::string& file) {
    if (file != "stop") return window_.StartRecording(file);
    window_.StopRecording();
    return std::string();
  });
  pump_.setSingleShot(true);
  connect(&pump_, &QTimer::timeout, this, [this] { Pump(); });
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] { CheckWaits(); });
  // Connected after the window's own tick handler: runs once the tick is over.
  connect(&window_.timer(), &QTimer::timeout, this, [this] {
    if (server_.Waiting()) CheckWaits();
  });
}

ControlChannel::~ControlChannel() { platform_.DivertBoxes(nullptr); }

void ControlChannel::AcceptAll() {
  for (int id; (id = listener_.Accept()) >= 0;) {
    server_.Connected(id);
    Watch& w = watches_[id];
    const int fd = listener_.ClientFd(id);
    w.read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    w.write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    w.write->setEnabled(false);
    connect(w.read.get(), &QSocketNotifier::activated, this, [this, id] { Read(id); });
    connect(w.write.get(), &QSocketNotifier::activated, this, [this, id] { Write(id); });
  }
}

void ControlChannel::Read(int id) {
  std::string bytes;
  for (int i = 0; i < kReadsPerWake && server_.WantsInput(id); ++i) {
    const ControlListener::Read r = listener_.Receive(id, &bytes);
    if (r == ControlListener::Read::Again) break;
    if (r == ControlListener::Read::Failed) {
      failed_.insert(id);
      break;
    }
    if (r == ControlListener::Read::Ended) {
      server_.InputEnded(id);
      break;
    }
    server_.Received(id, bytes);
  }
  Schedule();
  Update(id);
}

void ControlChannel::Write(int id) {
  if (!listener_.Flush(id)) failed_.insert(id);
  Update(id);
}

void ControlChannel::Drop(int id) {
  server_.Disconnected(id);
  watches_.erase(id);
  listener_.Close(id);
  failed_.erase(id);
  closing_.erase(id);
}

void ControlChannel::Update(int id) {
  auto it = watches_.find(id);
  if (it == watches_.end()) return;
  const std::size_t unread = listener_.Queued(id);
  if (failed_.count(id) != 0 || (closing_.count(id) != 0 && unread == 0)) {
    Drop(id);
    return;
  }
  it->second.read->setEnabled(server_.WantsInput(id) && unread < kMaxUnread);
  it->second.write->setEnabled(unread > 0);
}

void ControlChannel::UpdateAll() {
  std::vector<int> ids;
  for (const auto& entry : watches_) ids.push_back(entry.first);
  for (int id : ids) Update(id);
}

bool ControlChannel::InGate(const std::function<void()>& call) {
  return window_.gate().Run([&] {
    platform_.DivertBoxes([this](const std::string& text) { server_.MsgBox(text); });
    call();
    platform_.DivertBoxes(nullptr);
  });
}

void ControlChannel::Pump() {
  if (server_.HasLine()) {
    const auto now = ControlServer::Clock::now();
    // Busy: a handler is running (a message box of the operator's is open).
    if (!InGate([&] {
          server_.RunNext(now);
          server_.CheckWaits(now);
        })) {
      Schedule(20);
    } else if (server_.HasLine()) {
      Schedule();
    }
  }
  UpdateAll();
  ArmDeadline();
}

void ControlChannel::Schedule(int ms) {
  if (!pump_.isActive() || ms == 0) pump_.start(ms);
}

void ControlChannel::CheckWaits() {
  const auto now = ControlServer::Clock::now();
  if (!InGate([&] { server_.CheckWaits(now); })) server_.ExpireWaits(now);
  if (server_.HasLine()) Schedule();
  UpdateAll();
  ArmDeadline();
}

void ControlChannel::ArmDeadline() {
  const auto next = server_.NextDeadline();
  if (!next) {
    deadline_.stop();
    return;
  }
  using std::chrono::milliseconds;
  const auto wait =
      std::chrono::duration_cast<milliseconds>(*next - ControlServer::Clock::now()).count();
  deadline_.start(static_cast<int>(std::clamp<long long>(wait + 1, 0, 1000)));
}

}  // namespace eb::app
