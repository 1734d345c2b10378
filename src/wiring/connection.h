// Choosing a bridge transport from one connection string, SCHEME[:SETTINGS]:
//   ftdi                               first FTDI device (libftdi1)
//   ftdi:vid=0403,pid=6001,index=0,serial=S,baud=N
//                                      (serial: the device with that serial number,
//                                      whatever the order it was plugged in)
//   tty:/dev/ttyUSB0[,baud=N]          the bridge through the kernel serial driver
//   sim  |  sim:boards=4,seed=1,...    the built-in simulated stack
//   fault:pec=0.01,short=0.005,seed=7/<inner string>  |  fault/<inner string>
//                                      seeded fault injection over any transport
//   replay:TRACE                       answers from a trace written by --trace
// The empty string is the default transport (ftdi). Transports() is the one
// table of schemes: it builds the transports, names them in the error for
// an unknown scheme and gives the --help text its list. Settings follow the
// rules of link/settings_parser.h; unknown transports and keys are errors,
// never ignored.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/bridge.h"
#include "wiring/script_runner.h"

namespace eb {

class SimStack;
class FaultBridge;
class ReplayBridge;

struct Connection {
  std::unique_ptr<Bridge> bridge;         // the transport the window talks to
  std::unique_ptr<StackControl> control;  // what script "sim" lines act on, when simulated
  SimStack* sim = nullptr;                // the simulated stack, for tests to look at
  FaultBridge* fault = nullptr;           // the fault wrapper, when one is in use
  ReplayBridge* replay = nullptr;         // the replay of a trace, when one is in use
  std::string description;                // e.g. "simulated stack of 4 boards"
};

struct Transport {
  std::string_view scheme;   // what the connection string starts with
  std::string_view usage;    // its form, e.g. "tty:PATH[,baud=115200]"
  std::string_view meaning;  // one short line for --help
  // Builds the transport from what follows the scheme: "", ":..." or "/...".
  std::optional<Connection> (*open)(std::string_view rest, std::string* error);
};

// Every transport, the default one first.
std::span<const Transport> Transports();

// Builds the transport. Opening the device happens per transaction, so this
// succeeds even when no hardware is attached; it fails only for a malformed
// string, with *error saying what is wrong.
std::optional<Connection> OpenConnection(const std::string& text, std::string* error);

}  // namespace eb
