// Where the readings are published: the broker's address from an
// mqtt://host:port/PREFIX or mqtts://… URL, and the credentials, which come
// from a file or the environment and never from the command line (where any
// user of the machine reads them in the process list).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace eb::net {

struct BrokerAddress {
  bool tls = false;               // mqtts://
  std::string host;               // "127.0.0.1", "broker.lab", "::1"
  int port = 1883;                // 1883 for mqtt://, 8883 for mqtts:// unless given
  std::string prefix = "eb2250";  // the topics' first levels, without '/' at either end
  int qos = 1;                    // ?qos=0|1|2 for the samples
  std::string station;            // ?station=NAME; empty: the host name
  std::string cafile;             // ?cafile=PATH for mqtts://; empty: the system's CAs
  std::size_t queue =
      100000;  // ?queue=N: samples held while the broker is away (≈8 h of ten boards)
  bool operator==(const BrokerAddress&) const = default;
};

// Parses the URL. Returns nothing with *error set (one line) when it is not
// understood: another scheme, no host, a port outside 1 … 65535, a prefix
// with MQTT's wildcards, an unknown query option.
std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string* error);

// The URL again, without credentials (there are none in it) and with the
// defaults written out: what the window shows and the status message says.
std::string BrokerUrl(const BrokerAddress& broker);

struct Credentials {
  std::string user, password;  // both empty: connect without
  bool operator==(const Credentials&) const = default;
};

// The variables read when no file is given.
inline constexpr const char* kUserVariable = "EB2250_MQTT_USER";
inline constexpr const char* kPasswordVariable = "EB2250_MQTT_PASSWORD";

// Reads "user = NAME" and "password = SECRET" lines ('#' starts a comment)
// from `file`, or, when `file` is empty, the two variables above (none set:
// no credentials). A file that other users may read, a line not
// understood, a password without a user: nothing, with *error set.
std::optional<Credentials> ReadCredentials(const std::string& file, std::string* error);

// The station's name in the topics: `chosen`, or else the host name, with
// the characters MQTT gives a meaning to ('/', '+', '#') replaced by '_'.
std::string StationName(const std::string& chosen);

}  // namespace eb::net
