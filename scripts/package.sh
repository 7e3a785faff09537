#!/usr/bin/env bash
# Builds the default preset (installing what is missing) and makes the Debian packages of it,
# named for the Debian release this runs on:
#     build/default/package/torvane_<version>-1+deb<release>_<arch>.deb
#     build/default/package/torvane-dbgsym_<version>-1+deb<release>_<arch>.ddeb (debug symbols)
# Install it with
#     apt-get install ./build/default/package/torvane_*.deb
# The packages are reproducible: every file carries the time of the change log's entry, or
# SOURCE_DATE_EPOCH when it is set.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# The time stamp of the pictures compiled into the program, as of the files in the package.
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(sed -n 's/^set(TORVANE_PACKAGE_EPOCH \([0-9]*\))$/\1/p' "$TORVANE_ROOT/packaging/CMakeLists.txt")}"
export SOURCE_DATE_EPOCH
torvane_build default
cd "$TORVANE_ROOT/build/default"
rm -f package/*.deb package/*.ddeb
cpack -G DEB >/dev/null
ls -1 "$TORVANE_ROOT"/build/default/package/torvane*.deb "$TORVANE_ROOT"/build/default/package/torvane*.ddeb
