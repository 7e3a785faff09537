#!/bin/sh
# Installs the built program into a fresh temporary prefix (cmake --install) and checks what
# the desktop needs from it: every file in its place, the menu entry, the AppStream data, the
# profile file type, the icons at their sizes and the manual page, each through the tool that
# reads it on a desktop.
#     check_install.sh BUILD_DIR
set -eu
build="$1"
id=example.torvane.Torvane
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for tool in desktop-file-validate appstreamcli update-mime-database man strings readelf; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (apt-get install desktop-file-utils appstream shared-mime-info man-db binutils)"; exit 1; }
done

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

share="$prefix/share"
for file in bin/torvane share/torvane/Engine.dat share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/mime/packages/$id.xml share/man/man1/torvane.1.gz share/icons/hicolor/scalable/apps/$id.svg; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/torvane" ] || fail "bin/torvane is not executable"
# The web browser module, in a private folder below lib/.
find "$prefix/lib" -path "*/torvane/libtorvane_web.so" 2>/dev/null | grep -q . || fail "the web browser module is not installed"
# The libraries the program loads at start: libcrypto is opened only when a Google key is read.
if readelf -d "$prefix/bin/torvane" | grep -F NEEDED | grep -q -F libcrypto; then
    fail "bin/torvane loads libcrypto at start"
fi
# No path of the build tree inside the program or the module: they find each other only
# relative to the program's own folder, so a copied program never loads a module it was built
# beside.
# Only release builds are made reproducible (debug and sanitizer builds keep their paths in the
# debug information and the sanitizers' source locations, for the debugger and the reports).
builddir="$(cd "$build" && pwd -P)"
case "${2:-Release}" in Release | RelWithDebInfo | MinSizeRel) release=1 ;; *) release=0 ;; esac
if [ "$release" -eq 1 ]; then
    for file in "$prefix/bin/torvane" $(find "$prefix/lib" -name libtorvane_web.so 2>/dev/null); do
        # Text compiled in as 8-bit characters or as UTF-16 (QStringLiteral).
        if { strings -a "$file" && strings -a -e l "$file"; } | grep -q -F "$builddir"; then
            fail "$(basename "$file") holds the build folder $builddir"
        fi
    done
fi
cmp -s "$share/torvane/Engine.dat" "$(dirname "$0")/../../data/Engine.dat" || fail "share/torvane/Engine.dat differs from data/Engine.dat"

# Each PNG icon has the size of its folder (the width and height in its IHDR header).
for size in 16 22 24 32 48 64 128 256; do
    icon="$share/icons/hicolor/${size}x${size}/apps/$id.png"
    if [ -f "$icon" ]; then
        dimensions="$(od -An -tu1 -j16 -N8 "$icon" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')"
        [ "$dimensions" = "${size}x${size}" ] || fail "$icon is $dimensions"
    else
        fail "icon ${size}x${size} is not installed"
    fi
done

desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$share/applications/$id.desktop" || fail "the menu entry names another icon"
grep -qx "MimeType=application/x-torvane-profile;" "$share/applications/$id.desktop" || fail "the menu entry lacks the profile type"

appstreamcli validate --no-net --pedantic "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

# The type database built from the installed entry maps *.tvp to the profile type.
update-mime-database "$share/mime" || fail "update-mime-database"
grep -q "application/x-torvane-profile:\*\.tvp" "$share/mime/globs" 2>/dev/null || fail "*.tvp is not application/x-torvane-profile"

# The manual page renders without a warning and names the program.
warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/torvane.1.gz" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "man page warnings: $warnings"
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$share/man/man1/torvane.1.gz" 2>/dev/null | grep -q "torvane - announce" || fail "man page"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "installed files checked"
