#!/usr/bin/env bash
# Sets everything up, builds with warnings as errors, checks that every
# source file is as clang-format writes it and that clang-tidy finds nothing
# in the whole tree (./scripts/lint.sh), runs the whole test suite, then
# builds and runs it again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default
./scripts/lint.sh
ctest --preset default -j2
./scripts/setup.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j2
echo "test: all suites passed"
