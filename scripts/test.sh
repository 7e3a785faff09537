#!/usr/bin/env bash
# Builds Torvane (installing what is missing) and runs the whole test suite. No display is
# needed: widgets and the web view run on Qt's offscreen platform.
#   scripts/test.sh          the normal build
#   scripts/test.sh asan     the AddressSanitizer + UndefinedBehaviorSanitizer build
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# Under continuous integration (CI set, as .ci/run is run) a compiler warning fails the build.
preset="${1:-default}"
werror=OFF
[ -n "${CI:-}" ] && werror=ON
torvane_build "$preset" -DTORVANE_WERROR="$werror"
cd "$TORVANE_ROOT"
ctest --preset "$preset" -j "$(nproc)"
