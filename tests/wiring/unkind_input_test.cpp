// Bridge strings, --probe's suggestion and operator scripts under unkind
// input: bounded work, no crash, no device picked by accident, no misleading
// error.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>

#include "support/fake_ftdi.h"
#include "support/fake_stack.h"
#include "support/script_run.h"
#include "window/form1.h"
#include "wiring/connection.h"
#include "wiring/probe.h"
#include "wiring/script_runner.h"

namespace eb {
namespace {

std::string Repeat(const std::string& piece, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

std::string Open(const std::string& text) {
  std::string error;
  return OpenConnection(text, &error) ? "opened" : error;
}

// The status of a script run, then its output.
std::string Script(const std::string& script) {
  const test::RunResult r = test::RunOnFake(script);
  return std::to_string(r.status) + " " + r.out + r.err;
}

// What --probe tells the operator to type for a bridge with this serial.
std::string Suggested(const std::string& serial) {
  test::FakeFtdi ftdi;
  ftdi.devices = {test::FakeFtdi::Bridge(serial)};
  std::ostringstream out, err;
  ProbeFtdiDevices(ftdi, out, err, "eb2250-gui");
  const std::string text = out.str();
  const auto at = text.find("use --bridge ");
  if (at == std::string::npos) return "nothing suggested: " + text;
  return text.substr(at + 13, text.find('\n', at) - at - 13);
}

TEST(UnkindInput, BoundedWorkNoCrashNoWrongDeviceNoMisleadingError) {
  const std::string megabyteOfKeys = std::string(500000, '1') + std::string(500000, '.');
  const struct {
    const char* row;
    std::function<std::string()> act;
    std::string expected;
  } cases[] = {
      {"16,000 nested fault layers", [] { return Open(Repeat("fault/", 16000) + "sim"); },
       "fault: at most 8 fault layers may be nested"},
      {"eight nested fault layers", [] { return Open(Repeat("fault:seed=1/", 8) + "sim"); },
       "opened"},
      {"a UTF-8 byte-order mark before the first line",
       [] { return Script("\xEF\xBB\xBFstate DATApoint\n"); },
       "0 {\"name\":\"DATApoint\",\"value\":1}\n"},
      {"lines ended by a lone CR", [] { return Script("state OnOff\rstate DATApoint\rwiggle\r"); },
       "2 {\"name\":\"OnOff\",\"value\":0}\n{\"name\":\"DATApoint\",\"value\":1}\n"
       "SCRIPT ERROR t.script:3: unknown command \"wiggle\"\nt.script:3: unknown command "
       "\"wiggle\"\n"},
      {"CR LF and lone CR mixed", [] { return Script("state OnOff\r\n\rstate OnOff\r"); },
       "0 {\"name\":\"OnOff\",\"value\":0}\n{\"name\":\"OnOff\",\"value\":0}\n"},
      {"a megabyte of keys typed into a threshold box",
       [&] {
         const auto start = std::chrono::steady_clock::now();
         const std::string said = Script("type Text2 0 \"" + megabyteOfKeys + "\"\n");
         const auto took = std::chrono::steady_clock::now() - start;
         // Linear work is well under a second here; the quadratic filter took minutes.
         return said + (took < std::chrono::seconds(10) ? "" : " too slow");
       },
       "0 "},
      {"a serial number the parser takes", [] { return Suggested("A50285BI"); },
       "ftdi:serial=A50285BI"},
      {"a serial number that names another device", [] { return Suggested("X1,pid=6010"); },
       "ftdi:index=0"},
      {"a serial number with a space", [] { return Suggested("A5 02"); }, "ftdi:index=0"},
      {"a serial number with a terminal escape", [] { return Suggested("\x1b[2JA5"); },
       "ftdi:index=0"},
      {"a serial number longer than the parser takes",
       [] { return Suggested(std::string(65, 'S')); }, "ftdi:index=0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.act(), c.expected) << c.row;
  }
}

}  // namespace
}  // namespace eb
