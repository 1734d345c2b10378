// What the program says when no ZQM4417-2 identified itself through the
// bridge: what was tried, what went wrong, and what to do about it. One line
// for stderr (scripts, screenshots, and the windowed run as well), several
// for the message box of a windowed run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link/bridge.h"

namespace eb {

struct IdentityReport {
  std::string tried;              // the transport, as it describes itself
  std::string wrong;              // what went wrong, one sentence
  std::vector<std::string> todo;  // what to do, the likeliest first
  std::string line;               // everything in one line, after "program: "

  // The text of the message box: a heading, then the three parts.
  std::string BoxText() const;
};

// `identity`: what answered the identify ("" when nothing did); `simulated`:
// whether the built-in simulated stack is behind the bridge (then running
// with --simulate is no advice).
IdentityReport ReportIdentityFailure(const Bridge& bridge, std::string_view identity,
                                     bool simulated, std::string_view program);

}  // namespace eb
