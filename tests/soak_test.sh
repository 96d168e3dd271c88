#!/bin/bash
# The short soak: 10,000 lines of pipelines, redirections, background
# commands, cd and failures; the shell's memory, descriptors and unreaped
# children must stay flat (bench/soak.sh runs the long form).
set -eu
exec bash "$HUSK_SOURCE_DIR/bench/soak.sh" "$HUSK_BIN" 10000
