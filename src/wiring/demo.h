// The demo: a four-board simulated stack set up the way an operator would
// first do it (duty cycle written and read back on every board, thresholds
// entered, one cell discharging, one masked, one sagging below the
// under-voltage threshold) and then read continuously. Its steps are an
// ordinary operator script run in the window, the same actions a script
// could take.
#pragma once

namespace eb {

// The simulated stack the demo runs on.
constexpr const char* kDemoConnection = "sim:boards=4";

// The demo's steps, as an operator script.
extern const char* const kDemoScript;

}  // namespace eb
