#include "wiring/connection.h"

#include "link/fault_bridge.h"
#include "link/ftdi_bridge.h"
#include "link/tty_bridge.h"
#include "sim/sim_bridge.h"
#include "sim/sim_settings.h"

namespace eb {
namespace {

std::optional<Connection> Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return std::nullopt;
}

std::optional<Connection> OpenTty(std::string_view rest, std::string* error) {
  auto settings = ParseTtySettings(rest, error);
  if (!settings) return std::nullopt;
  Connection c;
  auto bridge = std::make_unique<TtyBridge>(settings->path, settings->baud);
  c.description = std::string(bridge->Describe());
  c.bridge = std::move(bridge);
  return c;
}

}  // namespace

std::optional<Connection> OpenConnection(const std::string& connection, std::string* error) {
  std::string_view text = connection;
  std::string_view transport = text;
  std::string_view rest;
  bool hasSettings = false;
  std::size_t colon = text.find(':');
  std::size_t slash = text.find('/');
  // "fault/<inner>" carries no settings of its own.
  if (slash != std::string_view::npos && (colon == std::string_view::npos || slash < colon)) {
    colon = std::string_view::npos;
  }
  if (colon != std::string_view::npos) {
    transport = text.substr(0, colon);
    rest = text.substr(colon + 1);
    hasSettings = true;
  }

  if (transport.empty() || transport == "ftdi") {
    auto settings = ParseFtdiSettings(rest, error);
    if (!settings) return std::nullopt;
    Connection c;
    auto bridge = std::make_unique<FtdiBridge>(*settings);
    c.description = std::string(bridge->Describe());
    c.bridge = std::move(bridge);
    return c;
  }
  if (transport == "tty") {
    if (!hasSettings) return Fail(error, "tty: missing device path (e.g. tty:/dev/ttyUSB0)");
    return OpenTty(rest, error);
  }
  if (transport == "sim") {
    auto settings = ParseSimSettings(rest, error);
    if (!settings) return std::nullopt;
    Connection c;
    auto bridge = std::make_unique<SimBridge>(*settings);
    c.sim = &bridge->Stack();
    c.description = std::string(bridge->Describe());
    c.bridge = std::move(bridge);
    return c;
  }
  if (transport == "fault" || transport.substr(0, 6) == "fault/") {
    std::string_view all = text.substr(5);  // after "fault"
    if (!all.empty() && all[0] == ':') all.remove_prefix(1);
    std::size_t sep = all.find('/');
    if (sep == std::string_view::npos) {
      return Fail(error, "fault: missing inner transport (e.g. fault:pec=0.01,seed=7/sim)");
    }
    auto settings = ParseFaultSettings(all.substr(0, sep), error);
    if (!settings) return std::nullopt;
    std::string innerText(all.substr(sep + 1));
    if (innerText.empty()) {
      return Fail(error, "fault: missing inner transport after '/' (e.g. fault:pec=0.01/sim)");
    }
    auto inner = OpenConnection(innerText, error);
    if (!inner) return std::nullopt;
    Connection c;
    auto bridge = std::make_unique<FaultBridge>(std::move(inner->bridge), *settings);
    c.fault = bridge.get();
    c.sim = inner->sim;
    c.description = std::string(bridge->Describe());
    c.bridge = std::move(bridge);
    return c;
  }
  return Fail(error, "unknown transport '" + std::string(transport) +
                         "' (expected ftdi, tty:PATH, sim or fault:.../INNER)");
}

}  // namespace eb
