#include "wiring/connection.h"

#include <array>

#include "link/fault_bridge.h"
#include "link/ftdi_bridge.h"
#include "link/printable.h"
#include "link/replay_bridge.h"
#include "link/tty_bridge.h"
#include "sim/sim_bridge.h"
#include "sim/sim_settings.h"
#include "sim/sim_stack.h"

namespace eb {
namespace {

// Deepest nesting of "fault/…" a connection string may have.
constexpr int kMaxFaultLayers = 8;

std::optional<Connection> Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return std::nullopt;
}

// Script "sim" lines carried out on the simulated stack.
class SimStackControl : public StackControl {
 public:
  explicit SimStackControl(SimStack& stack) : stack_(stack) {}
  std::string Apply(const std::vector<std::string>& words) override {
    return stack_.ApplyCommand(words);
  }

 private:
  SimStack& stack_;
};

Connection Wrap(std::unique_ptr<Bridge> bridge) {
  Connection c;
  c.description = std::string(bridge->Describe());
  c.bridge = std::move(bridge);
  return c;
}

// The settings of "scheme" or "scheme:SETTINGS" (rest is what follows the
// scheme); false for anything else after the scheme.
bool SettingsAfterColon(std::string_view scheme, std::string_view usage, std::string_view rest,
                        std::string_view* settings, std::string* error) {
  if (rest.empty() || rest[0] == ':') {
    *settings = rest.empty() ? rest : rest.substr(1);
    return true;
  }
  if (error) {
    *error = std::string(scheme) + ": '" + Excerpt(rest) + "' after '" + std::string(scheme) +
             "' (expected " + std::string(usage) + ")";
  }
  return false;
}

std::optional<Connection> OpenFtdi(std::string_view rest, std::string* error);
std::optional<Connection> OpenTty(std::string_view rest, std::string* error);
std::optional<Connection> OpenSim(std::string_view rest, std::string* error);
std::optional<Connection> OpenFault(std::string_view rest, std::string* error);
std::optional<Connection> OpenReplay(std::string_view rest, std::string* error);

constexpr std::array<Transport, 5> kTransports = {{
    {"ftdi", "ftdi[:vid=VID,pid=PID,index=N,serial=S,baud=N]", "FTDI device (libftdi1)", OpenFtdi},
    {"tty", "tty:PATH[,baud=9600]", "kernel serial driver", OpenTty},
    {"sim", "sim[:boards=4,seed=1,noise=0.002,...]", "built-in simulated stack", OpenSim},
    {"fault", "fault[:pec=P,short=P,unplug=N,seed=N]/STRING", "fault injection over STRING",
     OpenFault},
    {"replay", "replay:TRACE", "replies from a --trace file", OpenReplay},
}};

std::optional<Connection> OpenFtdi(std::string_view rest, std::string* error) {
  std::string_view text;
  if (!SettingsAfterColon("ftdi", kTransports[0].usage, rest, &text, error)) return std::nullopt;
  auto settings = ParseFtdiSettings(text, error);
  if (!settings) return std::nullopt;
  return Wrap(std::make_unique<FtdiBridge>(*settings));
}

std::optional<Connection> OpenTty(std::string_view rest, std::string* error) {
  if (rest.empty() || rest[0] != ':') {
    return Fail(error, "tty: missing device path (expected tty:PATH, e.g. tty:/dev/ttyUSB0)");
  }
  auto settings = ParseTtySettings(rest.substr(1), error);
  if (!settings) return std::nullopt;
  return Wrap(std::make_unique<TtyBridge>(settings->path, settings->baud));
}

std::optional<Connection> OpenSim(std::string_view rest, std::string* error) {
  std::string_view text;
  if (!SettingsAfterColon("sim", kTransports[2].usage, rest, &text, error)) return std::nullopt;
  auto settings = ParseSimSettings(text, error);
  if (!settings) return std::nullopt;
  auto bridge = std::make_unique<SimBridge>(*settings);
  SimStack& stack = bridge->Stack();
  Connection c = Wrap(std::move(bridge));
  c.sim = &stack;
  c.control = std::make_unique<SimStackControl>(stack);
  return c;
}

// ":SETTINGS/INNER" or "/INNER".
std::optional<Connection> OpenFault(std::string_view rest, std::string* error) {
  if (!rest.empty() && rest[0] == ':') rest.remove_prefix(1);
  const std::size_t sep = rest.find('/');
  if (sep == std::string_view::npos) {
    return Fail(error, "fault: missing inner transport (e.g. fault:pec=0.01,seed=7/sim)");
  }
  auto settings = ParseFaultSettings(rest.substr(0, sep), error);
  if (!settings) return std::nullopt;
  const std::string innerText(rest.substr(sep + 1));
  if (innerText.empty()) {
    return Fail(error, "fault: missing inner transport after '/' (e.g. fault:pec=0.01/sim)");
  }
  auto inner = OpenConnection(innerText, error);
  if (!inner) return std::nullopt;
  auto bridge = std::make_unique<FaultBridge>(std::move(inner->bridge), *settings);
  FaultBridge* fault = bridge.get();
  Connection c = Wrap(std::move(bridge));
  c.fault = fault;
  c.sim = inner->sim;
  c.replay = inner->replay;
  c.control = std::move(inner->control);
  return c;
}

// ":TRACE": the whole rest is the trace file's path.
std::optional<Connection> OpenReplay(std::string_view rest, std::string* error) {
  if (rest.empty() || rest[0] != ':') {
    return Fail(error, "replay: missing trace file (expected replay:TRACE, a --trace file)");
  }
  auto settings = ParseReplaySettings(rest.substr(1), error);
  if (!settings) return std::nullopt;
  auto bridge = std::make_unique<ReplayBridge>(std::move(*settings));
  ReplayBridge* replay = bridge.get();
  Connection c = Wrap(std::move(bridge));
  c.replay = replay;
  return c;
}

}  // namespace

std::span<const Transport> Transports() { return kTransports; }

std::optional<Connection> OpenConnection(const std::string& connection, std::string* error) {
  const std::string_view text = connection;
  // Fault layers open one another in turn: their number is bounded before
  // the first is opened, so no string can nest them deeper than the stack.
  int layers = 0;
  for (std::string_view rest = text; rest.substr(0, rest.find_first_of(":/")) == "fault";) {
    if (++layers > kMaxFaultLayers) {
      return Fail(error, "fault: at most " + std::to_string(kMaxFaultLayers) +
                             " fault layers may be nested");
    }
    const std::size_t sep = rest.find('/');
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
  }
  if (text.empty()) return kTransports[0].open("", error);
  const std::string_view scheme = text.substr(0, text.find_first_of(":/"));
  for (const Transport& t : kTransports) {
    if (t.scheme == scheme) return t.open(text.substr(scheme.size()), error);
  }
  std::string known;
  for (const Transport& t : kTransports)
    known += (known.empty() ? "" : ", ") + std::string(t.scheme);
  return Fail(error, "unknown transport '" + Excerpt(scheme) + "' (known: " + known + ")");
}

}  // namespace eb
