#!/usr/bin/env bash
# Shows that the Debian packages are reproducible: builds this checkout (as it is now) twice, in
# two temporary folders of different names and depths, with scripts/package.sh (the program
# only: no tests, no benchmarks), and compares the packages byte for byte. Slow: two release
# builds from nothing. Not part of the test suite.
#     scripts/check-reproducible.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
torvane_install_packages "${TORVANE_PACKAGES[@]}"
work="$(mktemp -d /tmp/torvane-reproducible.XXXXXX)"
trap 'rm -rf "$work"' EXIT

for checkout in "$work/a/torvane" "$work/second build/of the same/torvane"; do
    echo "== building in $checkout"
    mkdir -p "$checkout"
    git -C "$TORVANE_ROOT" ls-files -z --cached --others --exclude-standard |
        (cd "$TORVANE_ROOT" && tar --null -T - -cf -) | tar -xf - -C "$checkout"
    (
        cd "$checkout"
        cmake --preset default -DTORVANE_BUILD_TESTS=OFF -DTORVANE_BUILD_BENCH=OFF >/dev/null
        nice bash scripts/package.sh
    )
done

first="$work/a/torvane/build/default/package"
second="$work/second build/of the same/torvane/build/default/package"
failures=0
for package in "$first"/*.deb "$first"/*.ddeb; do
    name="$(basename "$package")"
    if cmp -s "$package" "$second/$name"; then
        echo "identical: $name"
        continue
    fi
    failures=$((failures + 1))
    echo "DIFFERENT: $name"
    # Which files differ, by their checksums in the two packages.
    diff <(dpkg-deb --ctrl-tarfile "$package" | tar -xOf - ./md5sums) \
        <(dpkg-deb --ctrl-tarfile "$second/$name" | tar -xOf - ./md5sums) || true
    diff <(dpkg-deb -c "$package") <(dpkg-deb -c "$second/$name") || true
done
[ "$failures" -eq 0 ] || exit 1
echo "The packages of both builds are byte-identical."
