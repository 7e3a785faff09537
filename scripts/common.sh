# Shared by run.sh and test.sh: installs what the build needs (Debian packages) when it is
# missing, then configures and builds a CMake preset. Sourced, not run.
set -euo pipefail

TORVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The Debian release this runs on (12, 13, ...); empty elsewhere.
TORVANE_DEBIAN_VERSION="$( (. /etc/os-release && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}") 2>/dev/null || true)"

# Debian packages the build, the tests and the program need.
TORVANE_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev zlib1g-dev libssl-dev
    libqt6sql6-sqlite libqt6sql6-psql postgresql
    fonts-dejavu-core
    desktop-file-utils appstream shared-mime-info man-db dpkg-dev file openssl
    # A virtual X display with Mesa's OpenGL drivers, as on a desktop: the tests that run on a
    # display and the benchmarks, so that every machine measures the same.
    xvfb xauth libgl1-mesa-dri libglx-mesa0 libegl-mesa0
)
# Liberation 2 is fonts-liberation2 up to Debian 12, fonts-liberation from Debian 13 on.
if [ -n "$TORVANE_DEBIAN_VERSION" ] && [ "$TORVANE_DEBIAN_VERSION" -le 12 ]; then
    TORVANE_PACKAGES+=(fonts-liberation2)
else
    TORVANE_PACKAGES+=(fonts-liberation)
fi

torvane_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# torvane_build PRESET [CMAKE-OPTION...]: configure and build that preset, with the options given.
torvane_build() {
    local preset="$1"
    shift
    torvane_install_packages "${TORVANE_PACKAGES[@]}"
    cd "$TORVANE_ROOT"
    cmake --preset "$preset" "$@" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}

# Debian roots made with debootstrap (scripts/check-debian13.sh, scripts/check-new-user.sh):
# torvane_mount_root ROOT mounts /proc and /dev inside ROOT (those not mounted there already) and
# gives it this machine's name servers; torvane_unmount_roots unmounts what was mounted, last
# first. It runs at exit whatever happens.
torvane_mounted=()
torvane_unmount_roots() {
    local i
    for ((i = ${#torvane_mounted[@]} - 1; i >= 0; i--)); do
        umount -R "${torvane_mounted[i]}" 2>/dev/null || umount -l "${torvane_mounted[i]}" || true
    done
    torvane_mounted=()
}
torvane_mount_root() {
    local root="$1"
    trap torvane_unmount_roots EXIT
    if ! mountpoint -q "$root/proc"; then
        mount -t proc proc "$root/proc"
        torvane_mounted+=("$root/proc")
    fi
    if ! mountpoint -q "$root/dev"; then
        mount --rbind /dev "$root/dev"
        mount --make-rslave "$root/dev"
        torvane_mounted+=("$root/dev")
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf"
}
