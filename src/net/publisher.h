// Publishes the measurement cycle's samples, the stack's configuration and
// the program's status to an MQTT broker through libmosquitto:
//   PREFIX/STATION/sample  one message per board per pass (QoS 1 by default)
//   PREFIX/STATION/config  retained, at the start and at every change
//   PREFIX/STATION/status  retained: "online" at each connect, "offline" as
//                          the last will and at a clean close
// The publisher's own network thread does the talking (and reconnects after
// any failure); the caller's thread only hands messages over and never
// waits on the network (Close excepted).
// Messages wait in a bounded queue while the broker is away and go out in
// order once it is back; a full queue is said once.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/broker.h"
#include "record/board_sample.h"

struct mosquitto;

namespace eb::net {

struct PublisherSettings {
  BrokerAddress broker;
  Credentials credentials;
  std::string program;     // the --version line, in the status
  std::string bridge;      // the connection string, in the status
  std::int64_t runMs = 0;  // start of this run, ms since the epoch
};

class Publisher : public SampleSink {
 public:
  // Sets up the client and starts connecting (an unreachable broker is no
  // failure: samples queue until it answers). Null with *error set (one
  // line) when the client cannot be set up at all (a CA file that does not
  // exist, no memory).
  static std::unique_ptr<Publisher> Start(const PublisherSettings& settings, std::string* error);
  ~Publisher() override;
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;

  void Sample(const BoardSample& sample) override;
  void ConfigChanged(const StackConfig& config) override;

  // Call often on the thread that hands samples over (each tick and from a
  // timer): sends what waits, and returns what the operator is to be told
  // (a refused login or certificate, a full queue), each thing once; "" when
  // there is nothing new.
  std::string Poll();

  // The recording being written beside the publishing ("" for none): when
  // the queue is full, the samples beyond it are read back from there
  // once the broker takes them again, so an outage of hours loses none.
  void SetBacklog(const std::string& recordingPath) { backlogPath_ = recordingPath; }

  // Sends what waits for up to `wait`, then "offline", and disconnects.
  // Returns how many samples could not be sent (also said by the next Poll). The destructor closes
  // with two seconds.
  std::size_t Close(std::chrono::milliseconds wait);

  struct Counts {
    std::uint64_t samples = 0;         // handed over by the tap
    std::uint64_t sent = 0;            // samples handed to the broker's connection
    std::uint64_t dropped = 0;         // samples refused by a full queue
    std::uint64_t fromRecording = 0;   // samples read back from the recording
    std::size_t waiting = 0;           // samples in the queue
    std::uint64_t unacknowledged = 0;  // messages sent, not yet acknowledged
    bool connected = false;
  };
  Counts counts() const;
  const std::string& station() const { return station_; }
  // "PREFIX/STATION/LEAF".
  std::string Topic(const char* leaf) const;
  std::string Describe() const;  // "mqtt://host:port/prefix as STATION"

 private:
  explicit Publisher(const PublisherSettings& settings);
  struct Message {
    std::string topic, payload;
    int qos = 1;
    bool retain = false;
    bool sample = false;
  };
  bool Setup(std::string* error);
  void Enqueue(Message message);
  void Pump();
  void Refill();
  void NetworkLoop();
  void Pause(int seconds);
  // The retained status, "online" or "offline"; false when it cannot go.
  bool PublishStatus(const char* state);
  void Notice(const std::string& text);
  void NoticeLocked(const std::string& text);  // with mutex_ held
  static void OnConnect(mosquitto* mosq, void* self, int rc);
  static void OnDisconnect(mosquitto* mosq, void* self, int rc);
  static void OnPublish(mosquitto* mosq, void* self, int mid);
  static void OnLog(mosquitto* mosq, void* self, int level, const char* text);

  PublisherSettings settings_;
  std::string station_;
  mosquitto* mosq_ = nullptr;
  bool closed_ = false;
  std::uint64_t seq_ = 0;
  std::string backlogPath_;
  // Samples beyond a full queue, to be read back from the recording: from
  // the sample numbered `firstSeq` on, `count` of them, `reread` so far; the
  // last one read back was (lastMs, lastBoard, lastId) of the recording.
  struct Spill {
    bool on = false;
    std::string path;
    std::uint64_t firstSeq = 0, count = 0, reread = 0;
    std::int64_t lastMs = 0, lastId = -1;
    int lastBoard = 0;
    std::chrono::steady_clock::time_point tried{};
  } spill_;

  mutable std::mutex mutex_;  // guards the queue, the counts and the notices
  std::deque<Message> queue_;
  std::size_t queuedSamples_ = 0;
  Counts counts_;
  std::vector<std::string> notices_;
  std::set<std::string> said_;

  std::thread network_;
  std::mutex wakeMutex_;
  std::condition_variable wake_;
  std::atomic<bool> closing_{false}, stop_{false};
  std::atomic<bool> connected_{false};
  std::atomic<bool> announce_{false};  // connected: "online" goes first
  std::atomic<std::uint64_t> handed_{0}, acknowledged_{0};
};

}  // namespace eb::net
