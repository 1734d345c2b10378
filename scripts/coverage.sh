#!/usr/bin/env bash
# Line and branch coverage of the tests over the program's own code in the
# layers below the window toolkit (protocol, link, sim, sheet, record, trend,
# window, wiring): a separate build tree with --coverage, the test suite of
# that tree, then gcovr's summary on stdout and an HTML report in
# build/coverage/html/index.html. Not part of ./scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j2
mkdir -p build/coverage/html
gcovr --root . --object-directory build/coverage --filter 'src/' \
  --exclude-throw-branches --print-summary \
  --html-details build/coverage/html/index.html >build/coverage/summary.txt
cat build/coverage/summary.txt
