#!/usr/bin/env bash
# Shows that Torvane works on Debian 13 (trixie) as the README says: makes a Debian 13 root with
# debootstrap, copies this checkout into it and, inside it (chroot), installs what the build
# needs, builds and runs the whole suite (scripts/test.sh), makes the packages and checks them
# (scripts/check-package.sh), installs the .deb with apt-get and purges it again. Each phase's
# time is printed. Needs root and Debian's package mirror.
#     scripts/check-debian13.sh [ROOT]    ROOT: the folder of the Debian 13 system
#                                          (default /var/tmp/torvane-debian13)
# A ROOT left by an earlier run is used again (its packages are kept; the checkout and its build
# are made afresh). Builds run with nice: the machine stays usable meanwhile.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root="${1:-/var/tmp/torvane-debian13}"
mirror="${TORVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
[ "$(id -u)" -eq 0 ] || { echo "check-debian13.sh must run as root (debootstrap, chroot)"; exit 1; }

summary=()
phase() {
    local name="$1"
    shift
    local start=$SECONDS
    echo "== $name"
    "$@"
    summary+=("$(printf '%-34s %5d s' "$name" $((SECONDS - start)))")
    echo "== $name: $((SECONDS - start)) s"
}

make_root() {
    if grep -qs '^VERSION_CODENAME=trixie$' "$root/etc/os-release" && [ -x "$root/usr/bin/apt-get" ]; then
        echo "using the Debian 13 root already in $root"
        return
    fi
    torvane_install_packages debootstrap
    mkdir -p "$root"
    debootstrap --variant=minbase trixie "$root" "$mirror"
}

copy_checkout() {
    rm -rf "$root/src/torvane"
    mkdir -p "$root/src/torvane"
    # The files of this checkout as they are now (changes not yet committed included), without
    # builds or other ignored files.
    git -C "$TORVANE_ROOT" ls-files -z --cached --others --exclude-standard |
        (cd "$TORVANE_ROOT" && tar --null -T - -cf -) | tar -xf - -C "$root/src/torvane"
}

# Runs a command in the root, in the checkout, with a clean environment.
inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive bash -c "cd /src/torvane && $1"
}

install_packages() { inside 'source scripts/common.sh && torvane_install_packages "${TORVANE_PACKAGES[@]}"'; }
build_and_test() { inside 'nice bash scripts/test.sh'; }
package_and_check() { inside 'nice bash scripts/check-package.sh'; }
install_and_purge() {
    inside 'set -e
        deb="$(ls build/default/package/torvane_*+deb13_*.deb)"
        echo "installing $deb"
        apt-get install -y -q "./$deb" >/dev/null
        torvane --help | head -1
        test -x /usr/lib/x86_64-linux-gnu/torvane/libtorvane_web.so -o -f /usr/lib/x86_64-linux-gnu/torvane/libtorvane_web.so
        apt-get purge -y -q torvane >/dev/null
        if dpkg-query -W -f="\${Status}\n" torvane 2>/dev/null | grep -q installed; then echo "torvane is still installed"; exit 1; fi
        for left in /usr/bin/torvane /usr/lib/x86_64-linux-gnu/torvane /usr/share/torvane /usr/share/doc/torvane; do
            if [ -e "$left" ]; then echo "left behind: $left"; exit 1; fi
        done
        echo "installed and purged: nothing left"'
}

phase "make the Debian 13 root" make_root
torvane_mount_root "$root"
phase "copy the checkout" copy_checkout
phase "install the build's packages" install_packages
phase "build and run the suite" build_and_test
phase "make and check the packages" package_and_check
phase "install and purge the .deb" install_and_purge
torvane_unmount_roots
echo "Debian 13: every phase passed"
printf '  %s\n' "${summary[@]}"
