#include "net/broker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace eb::net {

namespace {

bool Fail(std::string* error, std::string why) {
  if (error != nullptr) *error = std::move(why);
  return false;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool ParsePort(const std::string& text, int* port) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
    return false;
  }
  *port = value;
  return true;
}

// host, [v6]:port or host:port.
bool ParseAuthority(const std::string& authority, BrokerAddress* broker, std::string* error) {
  if (authority.find('@') != std::string::npos) {
    return Fail(error, "credentials do not go in the URL; use --mqtt-auth FILE");
  }
  std::string host = authority, port;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string::npos) return Fail(error, "no ']' after the IPv6 address");
    host = authority.substr(1, close - 1);
    const std::string rest = authority.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return Fail(error, "junk after the IPv6 address");
    if (!rest.empty()) port = rest.substr(1);
  } else if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return Fail(error, "no broker host");
  broker->host = host;
  if (!port.empty() && !ParsePort(port, &broker->port)) {
    return Fail(error, "bad port \"" + port + "\" (1 to 65535)");
  }
  return true;
}

bool ParseQuery(const std::string& query, BrokerAddress* broker, std::string* error) {
  std::size_t at = 0;
  while (at <= query.size() && !query.empty()) {
    const auto amp = query.find('&', at);
    const std::string item = query.substr(at, amp == std::string::npos ? amp : amp - at);
    const auto eq = item.find('=');
    const std::string key = item.substr(0, eq),
                      value = eq == std::string::npos ? "" : item.substr(eq + 1);
    if (key == "qos" && (value == "0" || value == "1" || value == "2")) {
      broker->qos = value[0] - '0';
    } else if (key == "qos") {
      return Fail(error, "qos must be 0, 1 or 2");
    } else if (key == "queue") {
      std::size_t n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > 10000000) {
        return Fail(error, "queue must be 1 to 10000000 samples");
      }
      broker->queue = n;
    } else if (key == "station" && !value.empty()) {
      broker->station = value;
    } else if (key == "cafile" && !value.empty() && broker->tls) {
      broker->cafile = value;
    } else if (key == "cafile" && !broker->tls) {
      return Fail(error, "cafile is for mqtts:// only");
    } else {
      return Fail(error, "unknown option \"" + item + "\" (qos=, station=, queue=, cafile=)");
    }
    if (amp == std::string::npos) break;
    at = amp + 1;
  }
  return true;
}

}  // namespace

std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string* error) {
  BrokerAddress broker;
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    broker.tls = true;
    broker.port = 8883;
  } else {
    Fail(error, "the URL must start with mqtt:// or mqtts://");
    return std::nullopt;
  }
  std::string query;
  if (const auto q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.resize(q);
  }
  const auto slash = rest.find('/');
  if (!ParseAuthority(rest.substr(0, slash), &broker, error)) return std::nullopt;
  if (slash != std::string::npos) {
    std::string prefix = rest.substr(slash + 1);
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.find_first_of("+#") != std::string::npos) {
      Fail(error, "the topic prefix \"" + prefix + "\" has a wildcard ('+' or '#')");
      return std::nullopt;
    }
    if (!prefix.empty()) broker.prefix = prefix;
  }
  if (!ParseQuery(query, &broker, error)) return std::nullopt;
  return broker;
}

std::string BrokerUrl(const BrokerAddress& broker) {
  const bool v6 = broker.host.find(':') != std::string::npos;
  std::string url = (broker.tls ? "mqtts://" : "mqtt://") +
                    (v6 ? "[" + broker.host + "]" : broker.host) + ":" +
                    std::to_string(broker.port) + "/" + broker.prefix;
  return url;
}

namespace {

// The "user = NAME" and "password = SECRET" lines of a file only its owner
// may read.
bool ReadCredentialsFile(const std::string& file, Credentials* c, std::string* error) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    return Fail(error, "cannot read \"" + file + "\": " + std::strerror(errno));
  }
  if ((st.st_mode & 077) != 0) {
    return Fail(error,
                "\"" + file + "\" holds a password and other users may read it (chmod 600 it)");
  }
  std::ifstream in(file);
  if (!in) return Fail(error, "cannot read \"" + file + "\": " + std::strerror(errno));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const std::string text = Trim(line.substr(0, line.find('#')));
    if (text.empty()) continue;
    const auto eq = text.find('=');
    const std::string key = eq == std::string::npos ? text : Trim(text.substr(0, eq));
    if (eq == std::string::npos || (key != "user" && key != "password")) {
      return Fail(error, "\"" + file + "\" line " + std::to_string(n) +
                             ": expected \"user = NAME\" or \"password = SECRET\"");
    }
    (key == "user" ? c->user : c->password) = Trim(text.substr(eq + 1));
  }
  return true;
}

}  // namespace

std::optional<Credentials> ReadCredentials(const std::string& file, std::string* error) {
  Credentials c;
  if (file.empty()) {
    const char* user = std::getenv(kUserVariable);
    const char* password = std::getenv(kPasswordVariable);
    c.user = user != nullptr ? user : "";
    c.password = password != nullptr ? password : "";
  } else if (!ReadCredentialsFile(file, &c, error)) {
    return std::nullopt;
  }
  if (c.user.empty() && !c.password.empty()) {
    Fail(error, "a password without a user name");
    return std::nullopt;
  }
  return c;
}

std::string StationName(const std::string& chosen) {
  std::string name = chosen;
  if (name.empty()) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) name = host;
    if (name.empty()) name = "bench";
  }
  for (char& c : name) {
    if (c == '/' || c == '+' || c == '#') c = '_';
  }
  return name;
}

}  // namespace eb::net
