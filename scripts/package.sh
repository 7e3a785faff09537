#!/usr/bin/env bash
# Builds the default preset (installing what is missing) and makes the Debian package of it:
# build/default/package/torvane_<version>_<arch>.deb. Install it with
#     apt-get install ./build/default/package/torvane_*.deb
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
torvane_build default
cd "$TORVANE_ROOT/build/default"
cpack -G DEB
ls -1 "$TORVANE_ROOT"/build/default/package/torvane_*.deb
