#!/bin/sh
# The README and the manual page state the limits a user meets and the rules they rely on: each
# phrase below must be in both (the manual page as man renders it, hyphens and spaces plain).
# Usage: check_limits.sh SOURCE-DIR
set -eu
root="$1"
manual="$(sed -e 's/\\-/-/g' -e 's/\\ / /g' "$root/packaging/torvane.1" | tr '\n' ' ')"
readme="$(tr '\n' ' ' <"$root/README.md")"
status=0
for phrase in "50 MB per file" "200 times its size" "1 000 000 addresses" "1 000 child sitemaps" \
    "2 levels deep" "at most 3 times and 10 minutes of waiting in all per engine per job" \
    "midnight at the start of that day in" "local time zone" "a date with a time and a zone" \
    ".json" ".csv" "is refused" "the profile, the catalogue or a source"; do
    for doc in README manual; do
        if [ "$doc" = README ]; then text="$readme"; else text="$manual"; fi
        text="$(printf '%s' "$text" | tr -s ' ')"
        case "$text" in
        *"$phrase"*) ;;
        *)
            echo "$doc does not say: $phrase"
            status=1
            ;;
        esac
    done
done
exit $status
