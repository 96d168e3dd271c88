#!/usr/bin/env bash
# Static analysis of the shell's sources: their layout against
# .clang-format, clang-tidy with the checks of .clang-tidy over the compile
# commands of a build directory, then cppcheck.
# The first tool with a finding fails the gate, its findings shown above.
#   .ci/lint.sh <build directory>
set -u
gate=lint
. "$(dirname "$0")/lib.sh"

build=${1:?usage: .ci/lint.sh <build directory>}
db=$(realpath "$build")/compile_commands.json
[ -f "$db" ] || die "$db is missing; configure the build first (make build)"
tidy=$(command -v clang-tidy || command -v clang-tidy-14) || die "clang-tidy is not installed"
format=$(command -v clang-format || command -v clang-format-14) || die "clang-format is not installed"
command -v cppcheck > /dev/null || die "cppcheck is not installed"

# The layout: .clang-format (the tests keep theirs, tests/.clang-format).
find "$src"/src "$src"/fuzz "$src"/bench -name '*.cpp' -o -name '*.h' |
    xargs "$format" --dry-run -Werror 2>&1 || die "clang-format would change the layout above (run it with -i)"
step "clang-format: clean"

# The build may be configured for g++, whose options clang does not all know.
"$tidy" -p "$(dirname "$db")" --quiet --extra-arg=-Wno-ignored-optimization-argument \
    --extra-arg=-Wno-unknown-warning-option "$src"/src/*.cpp 2>&1 |
    grep -v '^[0-9]* warnings* generated\.$'
[ "${PIPESTATUS[0]}" -eq 0 ] || die "clang-tidy found the problems above"
step "clang-tidy: clean"

# Left out of cppcheck's style checks, and why:
#   shadowFunction: a word's field is_delim and the classifier is_delim share
#     the name the design gives them, and locals take the field's name.
#   vforkCalled: the launcher uses vfork on purpose (see .clang-tidy).
# Versions that can limit the analysis of branches (2.11 and later) do so
# unless told otherwise, and count the note that they did as a finding: the
# sources are small enough to analyse every branch.
level=()
cppcheck --help | grep -q -- --check-level && level=(--check-level=exhaustive)
cppcheck --project="$db" --file-filter="$src/src/*" --std=c++20 --library=posix \
    --enable=warning,style,performance,portability --inline-suppr --quiet "${level[@]}" \
    --suppress=shadowFunction --suppress=vforkCalled --error-exitcode=1 || die "cppcheck found the problems above"
step "cppcheck: clean"
