#!/usr/bin/env bash
# Builds the journal reader's fuzz target (clang, libFuzzer, ASan and UBSan)
# in the default build and runs it; the arguments go to libFuzzer, e.g.
#   ./scripts/fuzz.sh -runs=1000000
#   ./scripts/fuzz.sh -max_total_time=3600 -jobs=2
# New inputs collect in build/default/fuzz/corpus; a finding is written to
# crash-<hash> in the current folder and ends the run with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default >/dev/null
cmake --build build/default --target eb_fuzz
exec build/default/fuzz/journal_fuzz -dict=fuzz/journal.dict -print_final_stats=1 "$@" \
  build/default/fuzz/corpus fuzz/corpus
