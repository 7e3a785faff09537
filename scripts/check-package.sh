#!/usr/bin/env bash
# Makes the Debian packages (scripts/package.sh) and checks them as Debian's own would be:
# - lintian --pedantic reports no error and no warning, and every other tag it reports is one
#   that docs/PACKAGING.md explains;
# - hardening-check finds the program and the web browser module hardened;
# - the package is named for the Debian release it was built on, holds the copyright file and
#   the change log, recommends xdg-utils, and holds no path of the build machine;
# - the debug symbols of both ELF files are in torvane-dbgsym, found by build id.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
torvane_install_packages lintian devscripts binutils
bash "$TORVANE_ROOT/scripts/package.sh"
cd "$TORVANE_ROOT/build/default/package"
deb="$(ls torvane_*.deb)"
ddeb="$(ls torvane-dbgsym_*.ddeb)"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if [ -n "$TORVANE_DEBIAN_VERSION" ]; then
    [[ "$deb" == *"+deb${TORVANE_DEBIAN_VERSION}_"* ]] || fail "$deb is not named for Debian $TORVANE_DEBIAN_VERSION"
fi

echo "== lintian --pedantic $deb $ddeb"
tags="$(lintian --pedantic -I --tag-display-limit 0 "$deb" "$ddeb" 2>&1 | grep -v 'running with root privileges' || true)"
[ -z "$tags" ] || echo "$tags"
if grep -qE '^[EW]: ' <<<"$tags"; then
    fail "lintian reports errors or warnings"
fi
for tag in $(grep -E '^[IPX]: ' <<<"$tags" | awk '{ print $3 }' | sort -u); do
    grep -qF "\`$tag\`" "$TORVANE_ROOT/docs/PACKAGING.md" || fail "lintian's $tag is not explained in docs/PACKAGING.md"
done

files="$(mktemp -d)"
trap 'rm -rf "$files"' EXIT
dpkg-deb -x "$deb" "$files/deb"
dpkg-deb -x "$ddeb" "$files/ddeb"
program="$files/deb/usr/bin/torvane"
module="$(find "$files/deb/usr/lib" -name libtorvane_web.so)"

echo "== hardening-check"
# Control-flow protection: Debian's C library start files carry no CET mark, so no program
# linked on Debian 12 or 13 carries one (docs/PACKAGING.md); the code itself is checked for it.
skip=(--nocfprotection)
# Newer versions also ask every file for arm64's branch protection, whatever its architecture.
if [ "$(dpkg --print-architecture)" != arm64 ] && grep -q nobranchprotection "$(command -v hardening-check)"; then
    skip+=(--nobranchprotection)
fi
hardening-check "${skip[@]}" "$program" || fail "hardening-check $program"
# The module's only calls that _FORTIFY_SOURCE could check are copies of sizes known only at
# run time (docs/PACKAGING.md).
hardening-check "${skip[@]}" --nofortify "$module" || fail "hardening-check $module"
for file in "$program" "$module"; do
    [ "$(objdump -d --no-show-raw-insn "$file" | grep -c endbr64)" -gt 0 ] || fail "$(basename "$file") has no control-flow protection"
done

echo "== contents"
doc="$files/deb/usr/share/doc/torvane"
head -1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"
version="$(dpkg-deb -f "$deb" Version)"
changelog_version="$(zcat "$doc/changelog.Debian.gz" | head -1 | sed -n 's/^torvane (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$version" ] || fail "changelog.Debian.gz is for '$changelog_version', the package is $version"
[ "$(dpkg-deb -f "$deb" Recommends)" = "xdg-utils" ] || fail "the package does not recommend xdg-utils"
for file in "$program" "$module"; do
    if [ "$({ strings -a "$file" && strings -a -e l "$file"; } | grep -cF "$TORVANE_ROOT")" -gt 0 ]; then
        fail "$(basename "$file") holds the path $TORVANE_ROOT"
    fi
    id="$(readelf -n "$file" | sed -n 's/^ *Build ID: //p')"
    [ -f "$files/ddeb/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" ] || fail "no debug symbols for $(basename "$file") in $ddeb"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "packages checked: $deb $ddeb"
