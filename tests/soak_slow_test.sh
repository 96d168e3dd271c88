#!/bin/bash
# The short soak: 10,000 lines of pipelines, redirections, background
# commands, cd and failures; the shell's memory, descriptors and unreaped
# children must stay flat (tests/soak.sh runs the long form).
set -eu
# A sanitizer build sets freed memory aside on purpose, so its resident
# size grows; there LeakSanitizer, at the shell's exit, checks memory.
if grep -qa __asan_init "$HUSK_BIN"; then
    export SOAK_RSS_KIB=off
fi
exec bash "$HUSK_SOURCE_DIR/tests/soak.sh" "$HUSK_BIN" 10000
