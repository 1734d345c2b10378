#include "net/publisher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "net/payload.h"
#include "record/recording.h"

namespace eb::net {

namespace {

// Messages handed to libmosquitto and not yet acknowledged, at most: the
// rest wait in the queue, where they are counted and bounded. libmosquitto
// keeps the handed ones and sends them again after a reconnect.
constexpr std::uint64_t kInFlight = 1000;
constexpr int kKeepAliveSeconds = 10;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "Connection Refused: not authorised." as part of a sentence.
std::string Lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

Publisher::Publisher(const PublisherSettings& settings)
    : settings_(settings), station_(StationName(settings.broker.station)) {}

std::unique_ptr<Publisher> Publisher::Start(const PublisherSettings& settings, std::string* error) {
  std::unique_ptr<Publisher> p(new Publisher(settings));
  if (!p->Setup(error)) return nullptr;
  return p;
}

std::string Publisher::Topic(const char* leaf) const {
  return settings_.broker.prefix + "/" + station_ + "/" + leaf;
}

std::string Publisher::Describe() const { return BrokerUrl(settings_.broker) + " as " + station_; }

bool Publisher::Setup(std::string* error) {
  InitLibrary();
  const std::string id = "eb2250-" + station_.substr(0, 40) + "-" + std::to_string(getpid());
  mosq_ = mosquitto_new(id.c_str(), true, this);
  if (mosq_ == nullptr) {
    *error = "cannot set up the MQTT client: out of memory";
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(mosq_, &Publisher::OnConnect);
  mosquitto_disconnect_callback_set(mosq_, &Publisher::OnDisconnect);
  mosquitto_publish_callback_set(mosq_, &Publisher::OnPublish);
  mosquitto_log_callback_set(mosq_, &Publisher::OnLog);
  mosquitto_max_inflight_messages_set(mosq_, static_cast<unsigned>(kInFlight));
  const Credentials& c = settings_.credentials;
  if (!c.user.empty()) {
    mosquitto_username_pw_set(mosq_, c.user.c_str(),
                              c.password.empty() ? nullptr : c.password.c_str());
  }
  const std::string offline =
      StatusJson("offline", settings_.program, settings_.bridge, settings_.runMs, settings_.runMs);
  const std::string status = Topic("status");
  mosquitto_will_set(mosq_, status.c_str(), static_cast<int>(offline.size()), offline.data(), 1,
                     true);
  const BrokerAddress& b = settings_.broker;
  if (b.tls) {
    const char* cafile = b.cafile.empty() ? nullptr : b.cafile.c_str();
    const char* capath = b.cafile.empty() ? "/etc/ssl/certs" : nullptr;
    const int rc = mosquitto_tls_set(mosq_, cafile, capath, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      *error = "cannot use the CA certificates \"" +
               (cafile != nullptr ? b.cafile : std::string(capath)) + "\" for " + BrokerUrl(b) +
               ": " + mosquitto_strerror(rc);
      return false;
    }
  }
  // The network thread is this publisher's own, not libmosquitto's: that
  // one ends for good after a failed name lookup or TLS handshake, where
  // this one keeps trying (a broker's name that resolves again, a
  // certificate put right), and the samples wait meanwhile.
  mosquitto_threaded_set(mosq_, true);
  network_ = std::thread([this] { NetworkLoop(); });
  return true;
}

// Connects, runs libmosquitto's loop while the connection holds, and
// connects again 1, 2, 4, 4, … s after it is lost or refused, until Close.
void Publisher::NetworkLoop() {
  const BrokerAddress& b = settings_.broker;
  bool first = true, up = false, told = false;
  int delay = 1;
  while (!stop_) {
    if (!up) {
      if (closing_) break;
      const int rc = first
                         ? mosquitto_connect_async(mosq_, b.host.c_str(), b.port, kKeepAliveSeconds)
                         : mosquitto_reconnect_async(mosq_);
      first = false;
      if (rc != MOSQ_ERR_SUCCESS) {
        if (!told) {
          Notice(
              "the MQTT broker at " + BrokerUrl(b) + " cannot be reached (" +
              (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc)) +
              "); samples wait until it answers, and reading goes on");
          told = true;
        }
        Pause(delay);
        delay = std::min(delay * 2, 4);
        continue;
      }
      up = true;
    }
    const int rc = mosquitto_loop(mosq_, 100, 1);
    if (rc == MOSQ_ERR_SUCCESS) {
      if (connected_) delay = 1;
      continue;
    }
    up = false;
    connected_ = false;
    if (!closing_) Pause(delay);
    delay = std::min(delay * 2, 4);
  }
}

// Waits `seconds`, or less when the publisher closes.
void Publisher::Pause(int seconds) {
  std::unique_lock lock(wakeMutex_);
  wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return closing_ || stop_; });
}

Publisher::~Publisher() {
  Close(std::chrono::seconds(2));
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

void Publisher::Notice(const std::string& text) {
  std::lock_guard lock(mutex_);
  NoticeLocked(text);
}

void Publisher::Enqueue(Message message) {
  {
    std::lock_guard lock(mutex_);
    if (message.sample) ++queuedSamples_;
    queue_.push_back(std::move(message));
  }
  Pump();
}

void Publisher::NoticeLocked(const std::string& text) {
  if (said_.insert(text).second) notices_.push_back(text);
}

// A sample joins the queue, or, with the queue full, waits in the
// recording (read back in turn by Refill) or, without one, is dropped.
void Publisher::Sample(const BoardSample& sample) {
  if (closed_) return;
  ++seq_;
  {
    std::lock_guard lock(mutex_);
    ++counts_.samples;
    if (spill_.on) {
      ++spill_.count;
      return;
    }
    if (queuedSamples_ >= settings_.broker.queue) {
      const std::string full = "the MQTT queue is full: " + std::to_string(settings_.broker.queue) +
                               " samples wait for the broker at " + BrokerUrl(settings_.broker);
      if (backlogPath_.empty()) {
        ++counts_.dropped;
        NoticeLocked(full + "; newer samples are not published until it takes them");
      } else {
        spill_ = Spill{true, backlogPath_, seq_, 1, 0, sample.ms, -1, sample.board, {}};
        NoticeLocked(full + "; the later ones are sent from the recording \"" + backlogPath_ +
                     "\" once it takes them");
      }
      return;
    }
  }
  Enqueue({Topic("sample"), SampleJson(sample, seq_, settings_.runMs), settings_.broker.qos, false,
           true});
}

namespace {

BoardSample FromRecording(const record::Sample& r) {
  BoardSample s;
  s.ms = r.ms;
  s.board = r.board;
  s.address = r.address;
  s.cfgr = r.cfgr;
  s.flgr = r.flgr;
  s.vuv = r.vuv;
  s.vov = r.vov;
  s.cells = r.cells;
  s.temps = r.temps;
  std::size_t at = 0;
  for (std::string& code : s.status) {
    const std::size_t comma = r.status.find(", ", at);
    code = r.status.substr(at, comma == std::string::npos ? comma : comma - at);
    at = comma == std::string::npos ? r.status.size() : comma + 2;
  }
  s.cfgrRead = OutcomeOfWord(r.cfgrRead);
  s.flgrRead = OutcomeOfWord(r.flgrRead);
  s.cvRead = OutcomeOfWord(r.cvRead);
  s.tmpRead = OutcomeOfWord(r.tmpRead);
  return s;
}

}  // namespace

// Reads the samples beyond the full queue back from the recording, in
// the order they were taken, into the room the queue has again. Tried at
// most five times a second: the recording commits a pass at a time.
void Publisher::Refill() {
  const auto now = std::chrono::steady_clock::now();
  if (now - spill_.tried < std::chrono::milliseconds(200)) return;
  spill_.tried = now;
  std::size_t room = 0;
  {
    std::lock_guard lock(mutex_);
    if (queuedSamples_ * 2 > settings_.broker.queue) return;
    room = settings_.broker.queue - queuedSamples_;
  }
  std::string failed;
  try {
    const record::Recording recording(spill_.path);
    record::Selection from;
    from.from = spill_.lastMs;
    record::SampleCursor cursor(recording, from);
    record::Sample r;
    bool more = true;
    while (spill_.reread < spill_.count && room > 0 && (more = cursor.Next(&r))) {
      // Those of the last time stamp up to the last one read back are sent.
      if (r.ms == spill_.lastMs &&
          (r.board < spill_.lastBoard || (r.board == spill_.lastBoard && r.id <= spill_.lastId))) {
        continue;
      }
      std::lock_guard lock(mutex_);
      queue_.push_back(
          {Topic("sample"),
           SampleJson(FromRecording(r), spill_.firstSeq + spill_.reread, settings_.runMs),
           settings_.broker.qos, false, true});
      ++queuedSamples_;
      ++counts_.fromRecording;
      ++spill_.reread;
      --room;
      spill_.lastMs = r.ms;
      spill_.lastBoard = r.board;
      spill_.lastId = r.id;
    }
    // Another recording took over: the file read back gets no more samples.
    if (!more && spill_.reread < spill_.count && backlogPath_ != spill_.path) {
      failed = "the recording ended";
    }
  } catch (const record::RecordingError& e) {
    failed = e.what();
  }
  if (!failed.empty()) {
    std::lock_guard lock(mutex_);
    counts_.dropped += spill_.count - spill_.reread;
    NoticeLocked("cannot read the samples beyond the full queue back from \"" + spill_.path +
                 "\" (" + failed + "): " + std::to_string(spill_.count - spill_.reread) +
                 " are not published");
    spill_.on = false;
  } else if (spill_.reread == spill_.count) {
    spill_.on = false;  // caught up: samples go to the queue again
  }
}

void Publisher::ConfigChanged(const StackConfig& config) {
  if (closed_) return;
  Enqueue({Topic("config"), ConfigJson(config, settings_.runMs), 1, true, false});
}

bool Publisher::PublishStatus(const char* state) {
  const std::string payload =
      StatusJson(state, settings_.program, settings_.bridge, settings_.runMs, NowMs());
  const std::string topic = Topic("status");
  if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                        payload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
    return false;
  }
  ++handed_;
  return true;
}

// Runs on the caller's thread only, so the messages leave in queue order.
void Publisher::Pump() {
  if (mosq_ == nullptr || !connected_) return;
  if (announce_.exchange(false) && !PublishStatus("online")) {
    announce_ = true;  // at the next connection
  }
  // libmosquitto's lock is never taken under the queue's: the network
  // thread's callbacks take the queue's lock under libmosquitto's.
  if (spill_.on) Refill();
  while (handed_ - acknowledged_ < kInFlight) {
    Message m;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      m = std::move(queue_.front());
      queue_.pop_front();
    }
    const int rc =
        mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
                          m.payload.data(), m.qos, m.retain);
    std::lock_guard lock(mutex_);
    if (rc == MOSQ_ERR_NO_CONN) {
      queue_.push_front(std::move(m));  // first again, for the next connection
      return;
    }
    if (rc == MOSQ_ERR_SUCCESS) {
      ++handed_;
      if (m.sample) ++counts_.sent;
    } else if (m.sample) {
      ++counts_.dropped;  // a message the broker can never take (too large)
    }
    if (m.sample) --queuedSamples_;
  }
}

std::string Publisher::Poll() {
  Pump();
  std::lock_guard lock(mutex_);
  std::string text;
  for (const std::string& n : notices_) text += (text.empty() ? "" : "\n") + n;
  notices_.clear();
  if (!text.empty()) text = "MQTT: " + text;
  return text;
}

std::size_t Publisher::Close(std::chrono::milliseconds wait) {
  if (closed_ || mosq_ == nullptr) return 0;
  closed_ = true;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto drained = [this] {
    std::lock_guard lock(mutex_);
    return queue_.empty() && !spill_.on && handed_ == acknowledged_;
  };
  while (!drained() && std::chrono::steady_clock::now() < deadline) {
    Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (connected_) {
    if (PublishStatus("offline")) {
      const auto last = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (handed_ != acknowledged_ && std::chrono::steady_clock::now() < last) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
  }
  {
    std::lock_guard lock(wakeMutex_);
    closing_ = true;  // the network thread sends the disconnect and ends
  }
  wake_.notify_all();
  mosquitto_disconnect(mosq_);
  if (network_.joinable()) {
    // A broker that takes no disconnect does not hold the close up.
    const auto last = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (connected_ && std::chrono::steady_clock::now() < last) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    {
      std::lock_guard lock(wakeMutex_);
      stop_ = true;
    }
    wake_.notify_all();
    network_.join();
  }
  std::lock_guard lock(mutex_);
  const std::size_t left = queuedSamples_ + (spill_.on ? spill_.count - spill_.reread : 0);
  if (left > 0) {
    NoticeLocked(std::to_string(left) + " samples were not published: the broker at " + Describe() +
                 " did not take them before publishing ended");
  }
  return left;
}

Publisher::Counts Publisher::counts() const {
  std::lock_guard lock(mutex_);
  Counts c = counts_;
  c.waiting = queuedSamples_;
  c.unacknowledged = handed_ - acknowledged_;
  c.connected = connected_;
  return c;
}

void Publisher::OnConnect(mosquitto*, void* self, int rc) {
  auto* p = static_cast<Publisher*>(self);
  if (rc == 0) {
    p->announce_ = true;
    p->connected_ = true;
    return;
  }
  p->Notice("the MQTT broker at " + BrokerUrl(p->settings_.broker) + " refused the connection: " +
            Lowered(mosquitto_connack_string(rc)) + "; samples wait, and reading goes on");
}

void Publisher::OnDisconnect(mosquitto*, void* self, int) {
  static_cast<Publisher*>(self)->connected_ = false;
}

void Publisher::OnPublish(mosquitto*, void* self, int) {
  ++static_cast<Publisher*>(self)->acknowledged_;
}

// A certificate the client does not trust never reaches a connect callback:
// libmosquitto only logs it.
void Publisher::OnLog(mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || text == nullptr) return;
  auto* p = static_cast<Publisher*>(self);
  p->Notice("the connection to " + BrokerUrl(p->settings_.broker) + " failed: " + text +
            "; samples wait, and reading goes on");
}

}  // namespace eb::net
