#!/usr/bin/env bash
# Tries the Debian package as a new user would, in a Debian root made with debootstrap (a clean
# one, or the one of scripts/check-debian13.sh): installs the package with apt-get, saves a
# profile in an ordinary user's home and opens it from the desktop (gio open, as a file manager
# does, on a virtual X display): the window must show it; runs `torvane --sumbit x` without a
# display: the suggestion and status 2; then purges the package: none of its files may be left.
# Needs root and Debian's package mirror (for the packages the .deb depends on).
#     scripts/check-new-user.sh ROOT DEB
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root="$1"
deb="$2"
[ "$(id -u)" -eq 0 ] || { echo "check-new-user.sh must run as root (chroot)"; exit 1; }
[ -x "$root/usr/bin/apt-get" ] || { echo "$root is not a Debian root"; exit 1; }

torvane_mount_root "$root"
mkdir -p "$root/tmp/new-user"
cp "$deb" "$root/tmp/new-user/"
package="/tmp/new-user/$(basename "$deb")"

inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive bash -c "$1"
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

echo "== install $(basename "$deb")"
# The desktop a user has: a display (Xvfb), gio to open files, the caches of file types and
# menu entries that tell it which program opens which file, xwininfo to find the window.
inside "apt-get update -q >/dev/null && apt-get install -y -q xvfb xauth libglib2.0-bin shared-mime-info \
    desktop-file-utils x11-utils >/dev/null && apt-get install -y -q $package >/dev/null"
inside "dpkg -L torvane" >"$root/tmp/new-user/files"

echo "== a saved profile opened from the desktop"
inside 'id tester >/dev/null 2>&1 || useradd -m tester
    mkdir -p -m 700 /tmp/new-user/run && chown tester: /tmp/new-user/run'
# A profile as File > Save writes it, under a name with a space, as a file manager passes it.
inside "cat >'/home/tester/My Site.tvp' <<'EOF'
[Contact Info]
Company=Example Ltd
Email=owner@example.org
First_Name=Ada
Last_Name=Example
[Site Info]
Site_Title=My Example Site
Site_URL=https://www.example.org/
EOF
chown tester: '/home/tester/My Site.tvp'"
type="$(inside "runuser -u tester -- env HOME=/home/tester gio info -a standard::content-type '/home/tester/My Site.tvp'" |
    sed -n 's/^ *standard::content-type: //p')"
echo "content type: $type"
title="Torvane 2001 - My Site.tvp"
# Run by the user on a virtual display: opens the file as a file manager does, and waits for the
# window; the program gio started then ends by its process id, which its window names.
cat >"$root/tmp/new-user/open.sh" <<'EOF'
gio open "/home/tester/My Site.tvp"
for i in $(seq 60); do
    if window="$(xwininfo -root -tree | grep -F "$1")"; then
        echo "$window"
        kill "$(xprop -id "$(awk '{ print $1 }' <<<"$window")" _NET_WM_PID | sed 's/.*= //')"
        exit 0
    fi
    sleep 1
done
xwininfo -root -tree | grep -i torvane
exit 1
EOF
if inside "runuser -u tester -- env HOME=/home/tester XDG_RUNTIME_DIR=/tmp/new-user/run xvfb-run -a -s '-screen 0 1280x1024x24' bash /tmp/new-user/open.sh '$title'"; then
    echo "the window shows the profile: \"$title\""
else
    fail "no window titled \"$title\" within 60 s"
fi

echo "== torvane --sumbit x without a display"
status=0
output="$(inside 'runuser -u tester -- env HOME=/home/tester torvane --sumbit x 2>&1')" || status=$?
echo "$output (status $status)"
[ "$status" -eq 2 ] || fail "status $status, not 2"
grep -qF "did you mean --submit?" <<<"$output" || fail "no suggestion of --submit"

echo "== apt-get purge torvane"
inside 'apt-get purge -y -q torvane >/dev/null'
inside 'dpkg-query -W -f="\${Status}\n" torvane 2>/dev/null | grep -q "not-installed\|^$"' ||
    inside '! dpkg-query -W torvane >/dev/null 2>&1' || fail "torvane is still known to dpkg"
left=0
while read -r path; do
    # Folders the package shares with others (/usr/share/icons/…) stay; its own go.
    if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [[ "$path" == *torvane* ]]; }; then
        echo "left: $path"
        left=$((left + 1))
    fi
done <"$root/tmp/new-user/files"
[ "$left" -eq 0 ] || fail "$left file(s) of the package left after purge"
[ "$left" -eq 0 ] && echo "nothing of the package is left"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "new-user tryout passed"
