#!/bin/sh
# Runs a test program as the user nobody, for the checks that permission bits cannot make for
# root. Run as any other user it adds nothing to the program's own run: it exits 77 (skipped).
set -eu
[ "$(id -u)" -eq 0 ] || exit 77
exec setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups "$@"
