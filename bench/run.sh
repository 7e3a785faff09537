#!/usr/bin/env bash
# Builds the default preset (installing what is missing) and runs every benchmark program in
# turn. Exits non-zero when a benchmark misses its target or fails.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
torvane_build default
status=0
for program in "$TORVANE_ROOT"/build/default/bench/bench_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" || status=1
    echo
done
exit "$status"
