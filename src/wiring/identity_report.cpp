#include "wiring/identity_report.h"

#include <cstdio>

#include "link/hints.h"

namespace eb {
namespace {

constexpr std::string_view kSimulate = "run with --simulate to use the built-in simulated stack";

// The reply between double quotes: quotes, backslashes and unprintable
// characters as \xNN.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (unsigned char ch : text) {
    if (ch >= 32 && ch < 127 && ch != '"' && ch != '\\') {
      out.push_back(static_cast<char>(ch));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", ch);
      out += buf;
    }
  }
  return out + "\"";
}

}  // namespace

IdentityReport ReportIdentityFailure(const Bridge& bridge, std::string_view identity,
                                     bool simulated, std::string_view program) {
  IdentityReport r;
  r.tried = std::string(bridge.Describe());
  const LinkError failure = bridge.LastFailure();
  std::string hint = failure.hint;
  r.line = std::string(program) + ": ";
  if (!identity.empty()) {
    // Something answered, but not the bridge of a ZQM4417-2 stack.
    r.wrong = "the identity reply " + Quoted(identity) + " names no ZQM4417-2";
    r.line += "no ZQM4417-2 answered on " + r.tried + " (identity reply " + Quoted(identity) + ")";
    hint =
        "check that this is the UB774B bridge of the stack (another device may answer here; "
        "--probe lists the FTDI devices)";
  } else {
    r.line += "nothing answered on " + r.tried;
    if (!failure.cause.empty()) {
      r.wrong = failure.cause;
      r.line += ": " + failure.cause;
    } else {
      // The device opened, and the bridge stayed silent.
      r.wrong = "the bridge did not answer the identify";
      if (hint.empty() && !simulated) {
        hint = "check the USB cable and that the bridge and the boards are powered";
      }
    }
  }
  if (!simulated) r.line += "; " + std::string(kSimulate);
  if (!hint.empty()) {
    r.line += "; " + hint;
    r.todo.push_back(hint);
  }
  if (failure.trouble == Trouble::kPermission && identity.empty()) {
    r.todo.push_back("to install the rule: " + UdevInstallCommand());
  }
  if (!simulated) r.todo.push_back("or " + std::string(kSimulate) + " and try without hardware");
  return r;
}

std::string IdentityReport::BoxText() const {
  std::string text = "No ZQM4417-2 answered, so the window closes.\n\nTried: " + tried +
                     "\n\nWhat went wrong: " + wrong;
  if (!todo.empty()) {
    text += "\n\nWhat to do:";
    for (const std::string& step : todo) text += "\n- " + step;
  }
  return text;
}

}  // namespace eb
