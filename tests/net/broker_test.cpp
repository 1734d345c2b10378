// The broker URL, the credentials file and the payloads: what a lab's
// collector relies on.
#include "net/broker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "net/payload.h"
#include "record/recording.h"

namespace eb::net {
namespace {

TEST(BrokerUrl, ParsesOrRefusesWithAReason) {
  struct Case {
    const char* url;
    const char* expected;  // BrokerUrl of the result, or the start of the error
    int qos = 1;
    const char* station = "";
  };
  const Case cases[] = {
      {"mqtt://127.0.0.1:18830/lab", "mqtt://127.0.0.1:18830/lab"},
      {"mqtt://broker.lab", "mqtt://broker.lab:1883/eb2250"},
      {"mqtts://broker.lab/a/b/", "mqtts://broker.lab:8883/a/b"},
      {"mqtt://[::1]:1884/x?qos=2&station=bench-3", "mqtt://[::1]:1884/x", 2, "bench-3"},
      {"mqtt://h/x?qos=0", "mqtt://h:1883/x", 0},
      {"http://h/x", "the URL must start with mqtt:// or mqtts://"},
      {"mqtt:///x", "no broker host"},
      {"mqtt://h:0/x", "bad port \"0\""},
      {"mqtt://h:65536/x", "bad port \"65536\""},
      {"mqtt://h:12ab/x", "bad port \"12ab\""},
      {"mqtt://u:p@h/x", "credentials do not go in the URL"},
      {"mqtt://h/lab/#", "the topic prefix \"lab/#\" has a wildcard"},
      {"mqtt://h/x?qos=3", "qos must be 0, 1 or 2"},
      {"mqtt://h/x?queue=0", "queue must be 1 to 10000000 samples"},
      {"mqtt://h/x?cafile=/etc/ca.pem", "cafile is for mqtts:// only"},
      {"mqtt://h/x?colour=red", "unknown option \"colour=red\""},
      {"mqtt://[::1/x", "no ']' after the IPv6 address"},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto broker = ParseBrokerUrl(c.url, &error);
    if (broker) {
      EXPECT_EQ(BrokerUrl(*broker), c.expected) << c.url;
      EXPECT_EQ(broker->qos, c.qos) << c.url;
      EXPECT_EQ(broker->station, c.station) << c.url;
    } else {
      EXPECT_EQ(error.rfind(c.expected, 0), 0u) << c.url << ": " << error;
    }
  }
}

TEST(Credentials, FromAPrivateFileOrTheEnvironment) {
  const std::string file = testing::TempDir() + "/eb-mqtt-auth";
  auto write = [&](const std::string& text, mode_t mode) {
    std::ofstream(file) << text;
    chmod(file.c_str(), mode);
  };
  std::string error;
  write("# the lab's bench account\nuser = bench-1\npassword = s3cret = yes\n", 0600);
  auto c = ReadCredentials(file, &error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(*c, (Credentials{"bench-1", "s3cret = yes"}));

  const std::pair<const char*, const char*> refused[] = {
      {"user = a\n", "other users may read it"},
      {"user = a\nsecret = b\n", "line 2: expected"},
      {"password = b\n", "a password without a user name"},
  };
  write(refused[0].first, 0644);
  EXPECT_FALSE(ReadCredentials(file, &error));
  EXPECT_NE(error.find(refused[0].second), std::string::npos) << error;
  for (std::size_t i = 1; i < std::size(refused); ++i) {
    write(refused[i].first, 0600);
    EXPECT_FALSE(ReadCredentials(file, &error)) << refused[i].first;
    EXPECT_NE(error.find(refused[i].second), std::string::npos) << error;
  }
  std::filesystem::remove(file);
  EXPECT_FALSE(ReadCredentials(file, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  setenv(kUserVariable, "env-user", 1);
  setenv(kPasswordVariable, "env-pass", 1);
  c = ReadCredentials("", &error);
  unsetenv(kUserVariable);
  unsetenv(kPasswordVariable);
  ASSERT_TRUE(c);
  EXPECT_EQ(*c, (Credentials{"env-user", "env-pass"}));
  EXPECT_EQ(StationName("bench/1+#"), "bench_1__");
  EXPECT_FALSE(StationName("").empty());
}

TEST(Payload, SampleConfigAndStatusAsTheSchemasSay) {
  BoardSample s;
  s.ms = 1796812262123;  // 2026-12-09T10:31:02.123Z
  s.board = 3;
  s.address = 2;
  s.cfgr = "E1, 00, 00, 00, 00, 00";
  s.flgr = "00, 00, 00";
  s.vuv = " 2.112";
  s.vov = " 4.200";
  s.cells.fill(3.9105);
  s.cells[11] = NAN;
  s.temps = {1.5, 1.25, NAN};
  s.status.fill("GD");
  s.status[0] = "OV";
  s.cfgrRead = ReadOutcome::kMatch;
  s.cvRead = ReadOutcome::kMismatch;
  s.tmpRead = ReadOutcome::kNone;
  EXPECT_EQ(SampleJson(s, 7, 1796817000000),
            "{\"seq\":7,\"run\":1796817000000,\"time\":\"2026-12-09T10:31:02.123Z\","
            "\"ms\":1796812262123,\"board\":3,\"address\":2,\"cells\":[3.9105,3.9105,3.9105,"
            "3.9105,3.9105,3.9105,3.9105,3.9105,3.9105,3.9105,3.9105,null],\"temps\":[1.5,1.25,"
            "null],\"status\":[\"OV\",\"GD\",\"GD\",\"GD\",\"GD\",\"GD\",\"GD\",\"GD\",\"GD\","
            "\"GD\",\"GD\",\"GD\"],\"cfgr\":\"E1, 00, 00, 00, 00, 00\",\"flgr\":\"00, 00, 00\","
            "\"vuv\":\" 2.112\",\"vov\":\" 4.200\",\"reads\":{\"cfgr\":\"match\",\"flgr\":"
            "\"unread\",\"cells\":\"mismatch\",\"temps\":\"none\"}}");
  StackConfig config{1796812262123, {{1, 0, "E1, 00, 00, 00, 00, 00", 2.112, NAN}}, "[stack]\n"};
  EXPECT_EQ(ConfigJson(config, 5),
            "{\"run\":5,\"time\":\"2026-12-09T10:31:02.123Z\",\"boards\":[{\"board\":1,"
            "\"address\":0,\"cfgr\":\"E1, 00, 00, 00, 00, 00\",\"vuv\":2.112,\"vov\":null}],"
            "\"setup\":\"[stack]\\n\"}");
  EXPECT_EQ(StatusJson("offline", "eb2250-gui 25.0 (\"x\")", "sim", 5, 0),
            "{\"state\":\"offline\",\"program\":\"eb2250-gui 25.0 (\\\"x\\\")\",\"bridge\":"
            "\"sim\",\"run\":5,\"time\":\"1970-01-01T00:00:00.000Z\"}");
  EXPECT_EQ(record::UtcStamp(-1), "1969-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace eb::net
