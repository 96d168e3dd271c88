#!/usr/bin/env bash
# Checks the statically linked shell of `make static`: it asks for no
# program interpreter and no shared library, so it starts where there is no
# C library, and it passes the end-to-end and script tests of an ordinary
# build, run against it instead of that build's own shell.
#
#   .ci/static-check.sh STATIC_HUSK TEST_BUILD   # e.g. build-static/husk build
set -euo pipefail
gate=static-check
. "$(dirname "$0")/lib.sh"

husk=$(realpath "${1:?usage: .ci/static-check.sh STATIC_HUSK TEST_BUILD}")
build=$(realpath "${2:?usage: .ci/static-check.sh STATIC_HUSK TEST_BUILD}")

[ -x "$husk" ] || die "$husk: not an executable"
headers=$(readelf -lW "$husk") || die "readelf cannot read $husk"
! grep -q 'program interpreter' <<< "$headers" || die "$husk asks for a program interpreter"
needed=$(readelf -dW "$husk" | grep '(NEEDED)' || true)
[ -z "$needed" ] || die "$husk needs shared libraries: $needed"

export HUSK_BIN=$husk HUSK_SOURCE_DIR=$src
failed=0
for t in "$build"/tests/husk_e2e_tests "$build"/tests/husk_tty_tests; do
    [ -x "$t" ] || die "$t is missing: build the tests in $build first (make test)"
    "$t" --gtest_brief=1 || failed=$((failed + 1))
done
for t in "$src"/tests/*_test.sh; do
    bash "$t" > /dev/null || { echo "$gate: $(basename "$t") failed" >&2; failed=$((failed + 1)); }
done
[ "$failed" -eq 0 ] || die "$failed test programs failed against $husk"
step "$husk is static and passes the end-to-end tests"
