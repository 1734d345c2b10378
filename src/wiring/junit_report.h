// A script run's checks as a JUnit XML report: one test case per check
// (expect, expect-msgbox, expect-no-msgbox, wait-for), named by its script
// line's number and text, with the script line and the value seen on
// failure; a line that ended the script early is a test case in error.
#pragma once

#include <string>
#include <vector>

#include "wiring/script_runner.h"

namespace eb {

// The report's text: one <testsuites> with one <testsuite> named `suite`.
std::string JUnitXml(const std::string& suite, const std::vector<ScriptCheck>& checks);

// Writes the report to `path` in one step (a temporary renamed over it), so
// that a reader never sees half a report. Returns "" or why it failed.
std::string WriteJUnitReport(const std::string& path, const std::string& suite,
                             const std::vector<ScriptCheck>& checks);

}  // namespace eb
