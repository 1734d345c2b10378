#!/usr/bin/env bash
# The gates beside the compiler's warnings, both run by ./scripts/test.sh
# (no argument) after the default build:
#  - clang-format: every C++ file of src/, tests/, bench/ and fuzz/ is as
#    .clang-format writes it;
#  - clang-tidy: the checks of .clang-tidy (likely bugs, function size and
#    cognitive complexity) on the translation units of the default build
#    (build/default/compile_commands.json) and the fuzz target.
#
#   ./scripts/lint.sh              clang-format, then clang-tidy on every file
#                                  (some 10 CPU-minutes)
#   ./scripts/lint.sh --base REV   clang-tidy on the files changed since REV
#                                  (a changed header brings its .cpp along)
#   ./scripts/lint.sh --format     the clang-format check alone
set -euo pipefail
cd "$(dirname "$0")/.."

base=""
tidy=1
case "${1:-}" in
  --base) base="${2:?--base needs a revision}" ;;
  --format) tidy=0 ;;
  "") ;;
  *) echo "lint: unknown option $1 (--base REV, --format)" >&2; exit 2 ;;
esac

mapfile -t sources < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
  'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
clang-format --dry-run --Werror "${sources[@]}"
echo "lint: clang-format: ${#sources[@]} files as formatted"
[ "$tidy" -eq 1 ] || exit 0

db=build/default/compile_commands.json
if [ ! -f "$db" ]; then
  echo "lint: no $db (build the default preset first)" >&2
  exit 2
fi

# The translation units to check: those of the compilation database that are
# checked-in files (not moc output), or those changed since the base.
mapfile -t units < <(grep -o '"file": "[^"]*"' "$db" | sed 's/^"file": "//; s/"$//' |
  sed "s|^$PWD/||" | grep -E '^(src|tests|bench)/' | sort -u)
if [ -n "$base" ]; then
  mapfile -t changed < <(git diff --name-only "$base" -- src tests bench fuzz |
    sed -E 's/\.h$/.cpp/' | sort -u)
  mapfile -t units < <(comm -12 <(printf '%s\n' "${units[@]}") <(printf '%s\n' "${changed[@]}"))
fi

# clang-tidy counts on stderr the warnings it did not show (those of the
# system headers); only its findings are kept.
status=0
if [ "${#units[@]}" -gt 0 ]; then
  printf '%s\n' "${units[@]}" | xargs -P 2 -n 4 clang-tidy -p build/default --quiet \
    2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2) || status=1
fi
# The fuzz target is built by its own command, outside the database.
if [ -z "$base" ] || git diff --name-only "$base" -- fuzz src/sheet | grep -q .; then
  clang-tidy --quiet fuzz/journal_fuzz.cpp -- -std=c++20 -Isrc \
    2> >(grep -v '^[0-9]* warnings\? generated\.$' >&2) || status=1
fi
if [ "$status" -ne 0 ]; then
  echo "lint: clang-tidy found the faults above" >&2
  exit 1
fi
echo "lint: clang-tidy: ${#units[@]} translation units clean"
