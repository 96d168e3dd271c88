#!/bin/bash
set -eu
out=$(printf 'a|b\n' | "$HUSK_BIN" -s)
[ "$out" = "[a] [|] [b]" ]
