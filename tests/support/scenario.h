// Runs an operator script against a real transport string (normally the
// simulated stack) with every transaction traced, the way the program's
// --script and --trace options do.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "link/trace_bridge.h"
#include "window/form1.h"
#include "wiring/connection.h"
#include "wiring/script_runner.h"

namespace eb::test {

struct TraceLine {
  double seconds = 0;
  std::string command;
  std::string reply;
};

struct ScenarioResult {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<TraceLine> trace;

  // Commands written, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> c;
    for (const auto& t : trace) c.push_back(t.command);
    return c;
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& t : trace) n += t.command.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  bool Printed(const std::string& text) const { return out.find(text) != std::string::npos; }
};

inline std::vector<TraceLine> ParseTrace(const std::string& text) {
  std::vector<TraceLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    TraceLine t;
    size_t a = line.find('\t');
    size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    t.seconds = std::stod(line.substr(0, a));
    t.command = line.substr(a + 1, b - a - 1);
    t.reply = line.substr(b + 1);
    lines.push_back(t);
  }
  return lines;
}

// `datalogDir`: the folder last datalogs go to (--datalog-dir); empty for
// the default rule.
inline ScenarioResult RunScenario(const std::string& bridgeSpec, const std::string& script,
                                  const std::string& datalogDir = "") {
  ScenarioResult r;
  std::string error;
  auto conn = OpenConnection(bridgeSpec, &error);
  if (!conn) {
    r.err = error;
    return r;
  }
  std::ostringstream out, err, trace;
  {
    TraceBridge traced(std::move(conn->bridge), trace);
    ScriptRunner runner(out, err);
    runner.SetAppDirectory(datalogDir);
    Form1 form(traced, runner);
    std::istringstream in(script);
    r.status = runner.Run(form, in, "scenario", conn->control.get());
  }
  r.out = out.str();
  r.err = err.str();
  r.trace = ParseTrace(trace.str());
  return r;
}

}  // namespace eb::test
