#!/usr/bin/env bash
# Static analysis of the shell's sources: their layout against
# .clang-format, clang-tidy with the checks of .clang-tidy over the compile
# commands of a build directory, then cppcheck.
# Any finding fails.
#   tests/lint.sh <build directory>
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: tests/lint.sh <build directory>}
db=$(realpath "$build")/compile_commands.json
if [ ! -f "$db" ]; then
    echo "lint: $db is missing; configure the build first (make build)" >&2
    exit 1
fi
tidy=$(command -v clang-tidy || command -v clang-tidy-14) ||
    { echo "lint: clang-tidy is not installed" >&2; exit 1; }
command -v cppcheck > /dev/null || { echo "lint: cppcheck is not installed" >&2; exit 1; }

failed=0
# The layout: .clang-format (the tests keep theirs, tests/.clang-format).
format=$(command -v clang-format || command -v clang-format-14) ||
    { echo "lint: clang-format is not installed" >&2; exit 1; }
if find "$root"/src "$root"/fuzz "$root"/bench -name '*.cpp' -o -name '*.h' |
    xargs "$format" --dry-run -Werror 2>&1; then
    echo "lint: clang-format: clean"
else
    echo "lint: clang-format would change the layout above (run it with -i)" >&2
    failed=1
fi

# The build may be configured for g++, whose options clang does not all know.
"$tidy" -p "$(dirname "$db")" --quiet --extra-arg=-Wno-ignored-optimization-argument \
    --extra-arg=-Wno-unknown-warning-option "$root"/src/*.cpp 2>&1 |
    grep -v '^[0-9]* warnings* generated\.$'
if [ "${PIPESTATUS[0]}" -eq 0 ]; then
    echo "lint: clang-tidy: clean"
else
    echo "lint: clang-tidy found the problems above" >&2
    failed=1
fi

# Left out of cppcheck's style checks, and why:
#   shadowFunction: a word's field is_delim and the classifier is_delim share
#     the name the design gives them, and locals take the field's name.
#   vforkCalled: the launcher uses vfork on purpose (see .clang-tidy).
# Versions that can limit the analysis of branches (2.11 and later) do so
# unless told otherwise, and count the note that they did as a finding: the
# sources are small enough to analyse every branch.
level=()
cppcheck --help | grep -q -- --check-level && level=(--check-level=exhaustive)
if cppcheck --project="$db" --file-filter="$root/src/*" --std=c++20 --library=posix \
    --enable=warning,style,performance,portability --inline-suppr --quiet "${level[@]}" \
    --suppress=shadowFunction --suppress=vforkCalled \
    --error-exitcode=1; then
    echo "lint: cppcheck: clean"
else
    echo "lint: cppcheck found the problems above" >&2
    failed=1
fi
exit $failed
