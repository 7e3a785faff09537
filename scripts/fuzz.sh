#!/usr/bin/env bash
# Builds the libFuzzer programs of tests/fuzz (clang, AddressSanitizer, UndefinedBehaviorSanitizer;
# installing what is missing) and runs each for a number of seconds, starting from its seed
# corpus in tests/fuzz/corpus/<target>/.
#   scripts/fuzz.sh                       every target for 60 seconds
#   scripts/fuzz.sh 3600 fuzz_ini_file    one target for an hour
#   scripts/fuzz.sh --no-build 600 ...    skip the build (e.g. a second run beside a first one)
# Findings go to tests/fuzz/findings/<target>/ (git-ignored): the inputs found on the way
# (corpus/), crashing inputs (crash-*, leak-*, timeout-*, oom-*) and the run's log (log.txt).
# Exits non-zero when any target crashed; replay a crash with
#   build/fuzz/tests/fuzz/<target> tests/fuzz/findings/<target>/crash-...
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build=1
if [ "${1:-}" = "--no-build" ]; then
    build=0
    shift
fi
seconds="${1:-60}"
shift || true

if [ "$build" -eq 1 ]; then
    torvane_install_packages "${TORVANE_PACKAGES[@]}" clang libclang-rt-dev llvm
    cd "$TORVANE_ROOT"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$(nproc)"
fi
cd "$TORVANE_ROOT"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

# Memory per run: ASan's quarantine and allocator caches take a long run of the INI target past
# libFuzzer's default limit of 2 GB, while replaying the same inputs levels off (no leak).
rss_limit_mb=4096

# Longest input per target: enough for every seed (Engine.dat is over 4 KB) and small enough
# for speed.
max_len_of() {
    case "$1" in
    fuzz_engine_file) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for target in "${targets[@]}"; do
    findings="tests/fuzz/findings/$target"
    mkdir -p "$findings/corpus"
    echo "== $target: ${seconds} s"
    # New inputs go to the first folder (findings); the seed corpus is only read.
    if build/fuzz/tests/fuzz/"$target" "$findings/corpus" "tests/fuzz/corpus/$target" \
        -max_total_time="$seconds" -max_len="$(max_len_of "$target")" -timeout=10 -rss_limit_mb="$rss_limit_mb" \
        -dict=tests/fuzz/fuzz.dict -artifact_prefix="$findings/" -print_final_stats=1 \
        >"$findings/log.txt" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec)|DONE' "$findings/log.txt" | sed 's/^/   /' || true
        echo "   corpus: $(find "$findings/corpus" -type f | wc -l) inputs"
    else
        echo "   FAILED: see $findings/log.txt"
        grep -E 'ERROR:|property failed|runtime error|Test unit written' "$findings/log.txt" | head -5 | sed 's/^/   /' || true
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Crashed: ${failed[*]}"
    exit 1
fi
echo "No crash."
