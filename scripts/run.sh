#!/usr/bin/env bash
# Builds Torvane (installing what is missing) and starts it with the shipped catalogue:
# the program reads Engine.dat from its current directory, so it is started in data/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
torvane_build default
cd "$TORVANE_ROOT/data"
exec "$TORVANE_ROOT/build/default/src/torvane" "$@"
