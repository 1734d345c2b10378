// Replay: a trace recorded through the fault wrapper, replayed with the same
// steps, takes the window through the same states; other steps, or more of
// them than were recorded, leave the trace and are told as such.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "link/fault_bridge.h"
#include "link/replay_bridge.h"
#include "link/trace_bridge.h"
#include "support/datalog_support.h"
#include "window/form1.h"
#include "wiring/connection.h"
#include "wiring/script_runner.h"

namespace eb {
namespace {

struct Replayed {
  int status = -1;
  std::string out, trace, replay;
  std::uint64_t faults = 0;
};

Replayed RunScript(const std::string& bridge, const std::string& script) {
  Replayed r;
  std::string error;
  auto conn = OpenConnection(bridge, &error);
  if (!conn) {
    ADD_FAILURE() << error;
    return r;
  }
  std::ostringstream out, err, trace;
  {
    TraceBridge traced(std::move(conn->bridge), trace);
    ScriptRunner runner(out, err);
    Form1 form(traced, runner);
    std::istringstream in(script);
    r.status = runner.Run(form, in, "s", conn->control.get());
    // The wrappers go with the trace wrapper that owns them.
    if (conn->fault)
      r.faults = conn->fault->Counters().corrupted + conn->fault->Counters().shortened;
    if (conn->replay) r.replay = conn->replay->Summary();
  }
  r.out = out.str();
  r.trace = trace.str();
  return r;
}

TEST(Replay, FaultyRecordingReplaysToTheSameWindowStates) {
  const std::string scripts[] = {
      // Continuous reading of four boards.
      "set Combo1 3\nclick Command0 1\nclick Command1 5\nclick Command1 6\nclick Command1 10\n"
      "tick 40\nprint Text1\nprint Shape12\nprint Text8\nprint Text7\nprint Text6\n",
      // Single starts and reads of one board.
      "click Command0 1\nclick Command1 5\nclick Command1 6\nclick Command1 2\nclick Command1 7\n"
      "click Command1 4\nclick Command1 9\nclick Command1 8\nprint Text1\nprint Text5\n"
      "print Text6\nprint Text7\nprint Text8\nprint Shape12 0\n",
  };
  test::ScratchDir dir;
  for (const std::string& script : scripts) {
    SCOPED_TRACE(script);
    const Replayed recorded = RunScript("fault:pec=0.2,short=0.1,seed=11/sim:boards=4", script);
    ASSERT_GT(recorded.faults, 0U) << "the recording had no faults to reproduce";
    const std::string file = dir / "session.trace";
    std::ofstream(file) << recorded.trace;
    const Replayed replayed = RunScript("replay:" + file, script);
    EXPECT_EQ(replayed.status, recorded.status);
    EXPECT_EQ(replayed.out, recorded.out);
    EXPECT_EQ(replayed.trace.size(), recorded.trace.size());
    EXPECT_EQ(replayed.replay.find("left"), std::string::npos) << replayed.replay;
  }
  // Other steps than the recorded ones: the first differing command, with
  // the recorded one, and a bridge gone from then on (the next identify
  // closes the window); more steps: the end of the trace, the same way.
  const std::string file = dir / "session.trace";
  struct Case {
    std::string script;
    std::string said;
  };
  const Case cases[] = {
      {"click Command0 1\nclick Command1 5\nclick Command1 8\ntick 1\n",
       "trace line 4 (transaction 4) expected \"MSxT80T02RRRRRRRX\", got \"MSxT80T06RRRRX\""},
      {std::string(scripts[1]) + "click Command1 7\ntick 1\n", "the trace ended after its"},
  };
  for (const Case& c : cases) {
    const Replayed replayed = RunScript("replay:" + file, c.script);
    EXPECT_EQ(replayed.status, 3) << replayed.out;
    EXPECT_NE(replayed.replay.find(c.said), std::string::npos) << replayed.replay;
  }
}

TEST(Replay, BadTraceIsRefusedWithItsLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"0.1\tIZ\tZQM\\r\\n\n0.2\tIZ\n", "t:2: expected SECONDS, COMMAND and REPLY"},
      {"x\tIZ\t\n", "t:1: bad time \"x\""},
      {"0.1\tIZ\tZQM\\q\n", "t:1: bad escape"},
  };
  for (const auto& [text, said] : cases) {
    std::string error;
    EXPECT_FALSE(ParseTraceText(text, "t", &error));
    EXPECT_EQ(error.rfind(said, 0), 0U) << error;
  }
  std::string error;
  EXPECT_FALSE(OpenConnection("replay:/nonexistent/t", &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace eb
