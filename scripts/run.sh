#!/usr/bin/env bash
# Sets everything up, builds, and starts the program on the simulated stack.
# Without a display the window runs under Xvfb and a screenshot is written
# to eb2250-screenshot.png instead. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default
bin=build/default/eb2250-gui
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" --demo "$@"
else
  echo "run: no display; starting the window under Xvfb and writing eb2250-screenshot.png"
  xvfb-run -a -s "-screen 0 1280x800x24" "$bin" --demo --screenshot eb2250-screenshot.png "$@"
  echo "run: screenshot written to $(pwd)/eb2250-screenshot.png"
fi
