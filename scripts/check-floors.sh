#!/usr/bin/env bash
# Checks the layering of the sources and the Qt calls that break on newer Qt; prints every
# finding as file:line: what, and exits with status 1 when there is one.
#   scripts/check-floors.sh [QT-HEADER-FOLDER]
# QT-HEADER-FOLDER holds Qt's module folders (QtWidgets/, ...); found from qtpaths6 when not given.
#
# Floors, lowest first: a file includes headers of its own floor or of lower ones only.
#   platform < common < catalogue < profile < net < indexnow < submit < history < google
#   < announce < cli < app
# src/platform, every src/*/core and src/cli include no widget header: no header of Qt's widget
# modules, and no project header that includes one; core code includes no src/*/ui header.
# Qt calls: no QDateTime(..., Qt::UTC) or setTimeSpec (deprecated: QTimeZone::utc()), and no
# .arg(...).arg(...) chain (a %1 inside the first argument's text would be replaced by the
# second: one .arg(a, b) call instead).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

qt_headers="${1:-}"
if [ -z "$qt_headers" ]; then
    qt_headers="$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null || qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || true)"
fi
if [ ! -d "$qt_headers/QtWidgets" ]; then
    echo "check-floors: Qt's header folder (with QtWidgets/) not found; give it as the argument" >&2
    exit 2
fi

floors=(platform common catalogue profile net indexnow submit history google announce cli app)
rank() {
    local i
    for i in "${!floors[@]}"; do
        [ "${floors[$i]}" = "$1" ] && { echo "$i"; return; }
    done
    echo -1
}

# A Qt header of a widget module.
qt_widget_header() {
    local module
    for module in QtWidgets QtWebEngineWidgets QtOpenGLWidgets QtPrintSupport; do
        [ -f "$qt_headers/$module/$1" ] && return 0
    done
    return 1
}

# A project header that includes a Qt widget header itself.
project_widget_header() {
    local header="src/$1" name
    [ -f "$header" ] || return 1
    while read -r name; do
        qt_widget_header "$name" && return 0
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\([^>]*\)>.*/\1/p' "$header")
    return 1
}

findings=0
report() {
    echo "$1"
    findings=$((findings + 1))
}

while IFS= read -r file; do
    relative="${file#src/}"
    floor="${relative%%/*}"
    own_rank="$(rank "$floor")"
    widget_free=0
    core=0
    case "$relative" in
    platform/* | */core/*) widget_free=1 core=1 ;;
    cli/*) widget_free=1 ;;
    esac
    while IFS=: read -r line text; do
        if [[ "$text" =~ \#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
            included="${BASH_REMATCH[1]}"
            included_floor="${included%%/*}"
            included_rank="$(rank "$included_floor")"
            if [ "$included_rank" -gt "$own_rank" ]; then
                report "$file:$line: $floor includes $included, a higher floor"
            elif [ "$core" = 1 ] && [[ "$included" == */ui/* ]]; then
                report "$file:$line: core code includes the user-interface header $included"
            elif [ "$widget_free" = 1 ] && project_widget_header "$included"; then
                report "$file:$line: includes $included, which includes a widget header"
            fi
        elif [[ "$text" =~ \#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
            included="${BASH_REMATCH[1]}"
            if [ "$widget_free" = 1 ] && qt_widget_header "$included"; then
                report "$file:$line: includes the widget header <$included>"
            fi
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find src -name '*.cpp' -o -name '*.h' | sort)

# Qt calls, in the program, its tests and its benchmarks.
while IFS= read -r finding; do
    report "$finding: deprecated time zone call (use QTimeZone::utc())"
done < <(grep -rnE --include='*.cpp' --include='*.h' 'Qt::UTC|setTimeSpec[[:space:]]*\(' src tests bench | cut -d: -f1,2 || true)
while IFS= read -r finding; do
    report "$finding: chained .arg() calls (use one .arg(a, b, ...))"
done < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort | xargs perl -0777 -ne '
    while (/\.arg\((?:[^()]|\((?:[^()]|\([^()]*\))*\))*\)\s*\.arg\(/g) {
        my $line = 1 + (substr($_, 0, $-[0]) =~ tr/\n//);
        print "$ARGV:$line\n";
    }')

if [ "$findings" -gt 0 ]; then
    echo "check-floors: $findings finding(s)" >&2
    exit 1
fi
echo "check-floors: no finding"
