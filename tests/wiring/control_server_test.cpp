// The control socket's line protocol on a started window over the scripted
// fake stack: what each client's bytes are answered with, in which order,
// and what closes a connection; the listener telling a peer gone.
#include "wiring/control_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/fake_stack.h"
#include "window/form1.h"
#include "wiring/control_listener.h"

namespace eb {
namespace {

using Clock = ControlServer::Clock;

// Message boxes go to the line that raised them, as the front end sends them.
class BoxPlatform : public test::FakePlatform {
 public:
  ControlServer* server = nullptr;
  void MsgBox(const std::string& text) override { server->MsgBox(text); }
};

struct Step {
  enum Kind { Bytes, End, Gone, Hangup, Later, Busy } kind;
  int client = 1;
  std::string bytes;   // Bytes
  double seconds = 0;  // Later: the clock moves on and the waits are checked; Busy: only expired
};
Step Send(int client, std::string bytes) { return {Step::Bytes, client, std::move(bytes), 0}; }
Step Later(double s) { return {Step::Later, 0, "", s}; }
Step Busy(double s) { return {Step::Busy, 0, "", s}; }
Step End(int client) { return {Step::End, client, "", 0}; }
Step Gone(int client) { return {Step::Gone, client, "", 0}; }
// The peer closes for good (its input ends apart, as the listener reads it).
Step Hangup(int client) { return {Step::Hangup, client, "", 0}; }

struct Case {
  const char* row;
  std::string token;
  std::vector<Step> steps;
  // "CLIENT ANSWER" or "CLIENT closed"; an answer ending in '*' is a prefix.
  std::vector<std::string> expected;
};

std::vector<std::string> Play(const Case& c) {
  test::FakeStack stack;
  stack.boards["80"] = {};
  BoxPlatform platform;
  Form1 form(stack.bridge, platform);
  form.Form_Load();
  ControlServer server(form, nullptr, c.token);
  platform.server = &server;
  std::vector<std::string> log;
  server.send = [&](int id, const std::string& a) { log.push_back(std::to_string(id) + " " + a); };
  server.close = [&](int id) { log.push_back(std::to_string(id) + " closed"); };
  server.RecordWith([&](const std::string& file) {
    log.push_back("recording " + file);
    return file == "full.db" ? std::string("Cannot record to full.db: the disk is full.") : "";
  });
  std::vector<int> hungUp;
  server.gone = [&](int id) { return std::find(hungUp.begin(), hungUp.end(), id) != hungUp.end(); };
  Clock::time_point now{};
  std::vector<int> connected;
  for (const Step& s : c.steps) {
    if (s.kind == Step::Bytes &&
        std::find(connected.begin(), connected.end(), s.client) == connected.end()) {
      connected.push_back(s.client);
      server.Connected(s.client);
    }
    switch (s.kind) {
      case Step::Bytes: server.Received(s.client, s.bytes); break;
      case Step::End: server.InputEnded(s.client); break;
      case Step::Gone: server.Disconnected(s.client); break;
      case Step::Hangup: hungUp.push_back(s.client); break;
      case Step::Later:
        now += std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
        server.CheckWaits(now);
        break;
      case Step::Busy:
        now += std::chrono::milliseconds(static_cast<int>(s.seconds * 1000));
        server.ExpireWaits(now);
        break;
    }
    while (server.HasLine()) {
      server.RunNext(now);
      server.CheckWaits(now);
    }
  }
  EXPECT_FALSE(server.Waiting()) << c.row;
  return log;
}

TEST(ControlServer, EachLineGetsOneAnswerInArrivalOrder) {
  const std::string atLimit(ControlServer::kMaxLine, 'A');
  const Case cases[] = {
      {"answers and line numbers",
       "",
       {Send(1, "set Check5 2 1\n\nprint Label21\r\nstate BRDaddress 3\nwiggle\ntick 3\n"),
        Send(1, "expect OnOff value 1\nclick Command1 99\nprint Label21\rclick Command1 5\n"),
        Send(1, "type Text2 1 \"4.2\\r\"\ntype Text2 0 \"4.5\\r\"\n"),
        Send(1, "click Command1 10\nclick Command1 7\nclick Command1 \x01\xFF\n"),
        Send(1, atLimit + "\n")},
       {R"(1 {"ok":true})", R"(1 {"ok":true})", R"(1 {"name":"Label21",*)",
        R"(1 {"name":"BRDaddress","index":3,"value":"83"})",
        R"(1 {"error":"unknown command \"wiggle\"","line":5})",
        R"(1 {"error":"tick: the window's own timer runs; wait-for waits for a condition","line":6})",
        R"(1 {"error":"expectation failed: OnOff is 0, expected 1","line":7})",
        R"x(1 {"error":"click: bad index 99 for Command1 (0 \u2026 14)","line":8})x",
        R"(1 {"error":"a line may not hold a carriage return","line":9})", R"(1 {"ok":true})",
        R"(1 {"ok":true,"msgbox":["VUV must be less than VOV"]})", R"(1 {"ok":true})",
        R"(1 {"ok":true,"ignored":["Command1(7) is disabled"]})",
        R"(1 {"error":"click: bad index \"\\x01\\xFF\" for Command1","line":14})",
        R"(1 {"error":"unknown command \"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA...\"","line":15})"}},
      {"a line over the limit closes the connection; the others go on",
       "",
       {Send(1, "state BRDaddress 0\n" + atLimit), Send(2, "state BRDaddress 1\n"),
        Send(1, "A\nstate BRDaddress 2\n"), Send(2, "state BRDaddress 3\n")},
       {R"(1 {"name":"BRDaddress","index":0,"value":"80"})",
        R"(2 {"name":"BRDaddress","index":1,"value":"81"})",
        R"(1 {"error":"line longer than 4096 bytes","line":2})", "1 closed",
        R"(2 {"name":"BRDaddress","index":3,"value":"83"})"}},
      {"clients served in arrival order; one gone mid-line, one ending its input",
       "",
       {Send(1, "state BRDaddress 0\n"), Send(2, "state BRDaddress 1\nprint Lab"),
        Send(1, "state BRDaddress 2\n"), Gone(2), Send(3, "state BRDaddress 4\nstate"), End(3)},
       {R"(1 {"name":"BRDaddress","index":0,"value":"80"})",
        R"(2 {"name":"BRDaddress","index":1,"value":"81"})",
        R"(1 {"name":"BRDaddress","index":2,"value":"82"})",
        R"(3 {"name":"BRDaddress","index":4,"value":"84"})", "3 closed"}},
      {"a token first, or nothing",
       "token-0123456789abcdef",
       {Send(1, "print Label21\nstate BRDaddress 0\n"), Send(2, "token-0123456789abcdef\n"),
        Send(2, "state BRDaddress 1\n"), Send(3, "token-0123456789abcdeF\n")},
       {R"(1 {"error":"the first line must be the token of --listen-token","line":1})", "1 closed",
        R"(2 {"ok":true})", R"(2 {"name":"BRDaddress","index":1,"value":"81"})",
        R"(3 {"error":"the first line must be the token of --listen-token","line":1})",
        "3 closed"}},
      {"wait-for: deferred, other clients served, answered when a line makes it hold",
       "",
       {Send(1, "wait-for Check5 2 value 1 5\nstate BRDaddress 0\n"),
        Send(2, "state BRDaddress 1\n"), Later(1), Send(2, "set Check5 2 1\n")},
       {R"(2 {"name":"BRDaddress","index":1,"value":"81"})", R"(2 {"ok":true})", R"(1 {"ok":true})",
        R"(1 {"name":"BRDaddress","index":0,"value":"80"})"}},
      {"wait-for: time-outs with the value seen, bad conditions, a client gone mid-wait",
       "",
       {Send(1, "wait-for OnOff value 1 2\nstate BRDaddress 0\n"), Later(1), Later(1.5),
        Send(1, "wait-for OnOff value 1 1.5\n"), Busy(2),
        Send(1, "wait-for OnOff value 0 0\nwait-for OnOff value 1 0\nwait-for Nope value 1 2\n"),
        Send(1, "wait-for OnOff value 1\nwait-for OnOff value 1 -3\n"),
        Send(2, "wait-for OnOff value 1 60\n"), Gone(2)},
       {R"(1 {"error":"wait-for: timed out after 2 s: OnOff is 0, expected 1","line":1,"observed":0})",
        R"(1 {"name":"BRDaddress","index":0,"value":"80"})",
        R"(1 {"error":"wait-for: timed out after 1.5 s: OnOff is 0, expected 1","line":3,"observed":0})",
        R"(1 {"ok":true})",
        R"(1 {"error":"wait-for: timed out after 0 s: OnOff is 0, expected 1","line":5,"observed":0})",
        R"(1 {"error":"wait-for: unknown control or variable \"Nope\"","line":6})",
        R"(1 {"error":"wait-for: use wait-for NAME [INDEX] PROP VALUE TIMEOUT","line":7})",
        R"x(1 {"error":"wait-for: bad time-out \"-3\" (seconds, 0 \u2026 3600)","line":8})x"}},
      {"record lines go to the window's recording; what the runner refuses comes as a box",
       "",
       {Send(1, "record \"a.db\"\nrecord stop\nrecord \"full.db\"\nrecord\n"),
        Send(1, "load-setup \"/nonexistent/a.ini\"\n")},
       {"recording a.db", R"(1 {"ok":true})", "recording stop", R"(1 {"ok":true})",
        "recording full.db",
        R"(1 {"ok":true,"msgbox":["Cannot record to full.db: the disk is full."]})",
        R"(1 {"error":"record: file or \"stop\" missing","line":4})",
        R"x(1 {"ok":true,"msgbox":["cannot read the setup \"/nonexistent/a.ini\": No such file or directory"]})x"}},
      {"wait-for: a client gone for good is closed at once (when its input ends or on the next "
       "check); one only done sending still gets its answer",
       "",
       {Send(1, "wait-for OnOff value 1 3600\nstate BRDaddress 0\n"), Hangup(1), End(1),
        Send(2, "wait-for Check5 2 value 1 3600\n"), End(2),
        Send(3, "wait-for OnOff value 1 3600\n"), End(3), Hangup(3), Later(0.1),
        Send(4, "set Check5 2 1\n")},
       {"1 closed", "3 closed", R"(4 {"ok":true})", R"(2 {"ok":true})", "2 closed"}},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> log = Play(c);
    EXPECT_EQ(log.size(), c.expected.size()) << c.row;
    for (std::size_t i = 0; i < std::min(log.size(), c.expected.size()); ++i) {
      const std::string& e = c.expected[i];
      if (e.back() == '*') {
        EXPECT_EQ(log[i].substr(0, e.size() - 1), e.substr(0, e.size() - 1)) << c.row;
      } else {
        EXPECT_EQ(log[i], e) << c.row << " #" << i;
      }
    }
  }
}

// On a socket file a peer that closed is told from one that only shut down
// its sending side (which still waits for its answers).
TEST(ControlListener, APeerGoneForGoodIsToldFromOneOnlyDoneSending) {
  const std::string path = ::testing::TempDir() + "peer_gone.sock";
  ControlListener listener;
  ListenAddress where;
  where.path = path;
  ASSERT_EQ(listener.Open(where, false), "");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  int peers[2];
  int ids[2];
  for (int i = 0; i < 2; ++i) {
    peers[i] = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(peers[i], reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ids[i] = listener.Accept();
    ASSERT_GE(ids[i], 0);
    EXPECT_FALSE(listener.PeerGone(ids[i]));
  }
  shutdown(peers[0], SHUT_WR);
  close(peers[1]);
  std::string bytes;
  for (int id : ids) EXPECT_EQ(listener.Receive(id, &bytes), ControlListener::Read::Ended);
  EXPECT_FALSE(listener.PeerGone(ids[0]));
  EXPECT_TRUE(listener.PeerGone(ids[1]));
  close(peers[0]);
  EXPECT_TRUE(listener.PeerGone(ids[0]));
}

TEST(ControlServer, AnswersAreAscii) {
  EXPECT_EQ(AsciiJson("\"3.6 V \xE2\x80\xA6 \xF0\x9F\x94\x8B\""), R"("3.6 V \u2026 \ud83d\udd0b")");
  // Bytes that are no UTF-8: a lone continuation, a cut sequence, an overlong one, a surrogate.
  EXPECT_EQ(AsciiJson("\"\x80\xE2\x80\xC0\xAF\xED\xA0\x80\""),
            R"("\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd")");
}

}  // namespace
}  // namespace eb
