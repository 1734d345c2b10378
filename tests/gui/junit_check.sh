#!/bin/sh
# junit_check.sh PROGRAM DATA_DIR XSD: a script's JUnit report (three
# checks that hold, one that fails, and a malformed line that ends a second
# run) is valid against the JUnit schema and holds each case.
set -eu
program=$1 data=$2 xsd=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
status=0
"$program" --bridge sim:boards=1 --script "$data/junit.script" --junit "$dir/a.xml" \
  >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || { echo "status $status, expected 1"; exit 1; }
printf 'expect OnOff value 0\nexpect OnOff\n' >"$dir/b.script"
"$program" --bridge sim:boards=1 --script "$dir/b.script" --junit "$dir/b.xml" \
  >/dev/null 2>&1 || status=$?
/usr/bin/python3 - "$xsd" "$dir/a.xml" "$dir/b.xml" <<'PY'
import sys, xmlschema
schema = xmlschema.XMLSchema(sys.argv[1])
for report in sys.argv[2:]:
    schema.validate(report)
a = xmlschema.XMLSchema(sys.argv[1]).to_dict(sys.argv[2])
suite = a["testsuite"][0]
assert (suite["@tests"], suite["@failures"], suite["@errors"]) == (4, 1, 0), suite
cases = suite["testcase"]
assert cases[0]["@name"] == 'line 2: expect Label21 caption "1"', cases[0]
assert cases[1]["@name"].startswith("line 4: wait-for MEASUREflag"), cases[1]
failure = cases[3]["failure"]["@message"]
assert failure.endswith("junit.script:6: OnOff is 1, expected 0"), failure
b = schema.to_dict(sys.argv[3])["testsuite"][0]
assert (b["@tests"], b["@failures"], b["@errors"]) == (2, 0, 1), b
assert "b.script:2: expect: use expect" in b["testcase"][1]["error"]["@message"], b
PY
