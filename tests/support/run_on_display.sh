#!/bin/sh
# Runs a test program on a virtual X display of its own (Xvfb, 24-bit colour, Mesa's OpenGL), on
# Qt's X11 platform: what a desktop gives the program. Without Xvfb it exits 77 (skipped).
set -eu
command -v xvfb-run >/dev/null 2>&1 || exit 77
QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORM
exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" "$@"
