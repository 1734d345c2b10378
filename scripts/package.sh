#!/usr/bin/env bash
# Builds the Debian package of the program into build/package/:
#   eb2250-gui_<version>_<arch>.deb
# Install it with: sudo apt install ./build/package/eb2250-gui_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default
rm -rf build/package
cpack --config build/default/CPackConfig.cmake -G DEB -B build/package
ls build/package/*.deb
