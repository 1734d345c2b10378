// The publisher against Debian's mosquitto (anonymous, on a free loopback
// port), read back with libmosquitto: samples handed over before the broker
// runs, and across its restart, all arrive, in order. (At QoS 1 the broker
// may send the reader again, after its restart, what the reader had
// already taken; the MQTT test of the program shows none twice at QoS 2.) Run under
// the sanitizers too, it watches the network thread's side of the queue.
#include "net/publisher.h"

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <numeric>
#include <thread>

#include "support/launch.h"

namespace eb::net {
namespace {

int FreePort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), len), 0);
  EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
  close(s);
  return ntohs(a.sin_port);
}

class Broker {
 public:
  Broker(const std::string& dir, int port) : dir_(dir), port_(port) {
    // Started as root, mosquitto would become "mosquitto", who may not
    // write its persistence file into this folder.
    std::ofstream(dir + "/m.conf") << "user " << getpwuid(getuid())->pw_name << "\nlistener "
                                   << port << " 127.0.0.1\nallow_anonymous true\n"
                                   << "persistence true\npersistence_location " << dir << "/\n";
  }
  ~Broker() { Stop(); }
  void Start() {
    pid_ =
        test::Launch("/usr/sbin/mosquitto", {"-c", dir_ + "/m.conf"}, "/dev/null", dir_ + "/log");
    for (int i = 0; i < 500; ++i) {  // until it listens
      const int s = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<std::uint16_t>(port_));
      const bool up = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      close(s);
      if (up) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  std::string dir_;
  int port_;
  pid_t pid_ = -1;
};

// A persistent QoS 1 session that keeps the sequence numbers it receives.
class Reader {
 public:
  explicit Reader(int port) {
    mosq_ = mosquitto_new("publisher-test-reader", false, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, "t/s/sample", 1);
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      const std::string text(static_cast<const char*>(m->payload),
                             static_cast<std::size_t>(m->payloadlen));
      auto* r = static_cast<Reader*>(self);
      std::lock_guard lock(r->mutex_);
      r->seqs_.push_back(std::stoull(text.substr(text.find(':') + 1)));
    });
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 5);
    mosquitto_loop_start(mosq_);
  }
  ~Reader() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
  }
  std::vector<std::uint64_t> Wait(std::size_t n) {
    for (int i = 0; i < 1000 && Seqs().size() < n; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Seqs();
  }
  std::vector<std::uint64_t> Seqs() {
    std::lock_guard lock(mutex_);
    return seqs_;
  }

 private:
  mosquitto* mosq_;
  std::mutex mutex_;
  std::vector<std::uint64_t> seqs_;
};

TEST(Publisher, SamplesBeforeTheBrokerAndAcrossItsRestartAllArriveInOrder) {
  const std::string dir = testing::TempDir() + "/eb-publisher-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const int port = FreePort();
  Broker broker(dir, port);
  std::string error;
  PublisherSettings settings;
  settings.broker =
      *ParseBrokerUrl("mqtt://127.0.0.1:" + std::to_string(port) + "/t?station=s", &error);
  auto publisher = Publisher::Start(settings, &error);
  ASSERT_TRUE(publisher) << error;
  BoardSample sample;
  auto hand = [&](int n) {
    for (int i = 0; i < n; ++i) {
      sample.ms += 100;
      publisher->Sample(sample);
      publisher->Poll();
    }
  };
  hand(200);  // no broker yet: they wait
  EXPECT_EQ(publisher->counts().waiting, 200u);
  broker.Start();
  Reader reader(port);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  for (int i = 0; i < 300 && reader.Seqs().size() < 200; ++i) {
    publisher->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  broker.Stop();
  hand(200);  // broker away: they wait again
  broker.Start();
  hand(100);
  EXPECT_EQ(publisher->Close(std::chrono::seconds(10)), 0u);
  std::vector<std::uint64_t> seqs = reader.Wait(500);
  // Taken in order of their first arrival, the sequence numbers are 1 … 500.
  std::vector<std::uint64_t> first;
  for (const std::uint64_t n : seqs) {
    if (std::find(first.begin(), first.end(), n) == first.end()) first.push_back(n);
  }
  std::vector<std::uint64_t> expected(500);
  std::iota(expected.begin(), expected.end(), 1u);
  EXPECT_EQ(first, expected) << seqs.size() << " received";
  const Publisher::Counts c = publisher->counts();
  EXPECT_EQ(c.samples, 500u);
  EXPECT_EQ(c.sent, 500u);
  EXPECT_EQ(c.dropped, 0u);
  publisher.reset();
  if (!HasFailure()) std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace eb::net
