#!/usr/bin/env bash
# Builds the default preset (installing what is missing) and runs every benchmark program in
# turn. Exits non-zero when a benchmark misses its target or fails.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
# The benchmarks run where OpenGL is what a desktop has, so that every machine measures the same:
# without a display of its own, this script runs again on a virtual X display (Xvfb, with Mesa's
# drivers). The windows themselves stay on Qt's offscreen platform.
if [ -z "${DISPLAY:-}" ]; then
    torvane_install_packages "${TORVANE_PACKAGES[@]}"
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
        bash "${BASH_SOURCE[0]}" "$@"
fi
torvane_build default
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
status=0
for program in "$TORVANE_ROOT"/build/default/bench/bench_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" || status=1
    echo
done
exit "$status"
