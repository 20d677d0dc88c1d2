#!/bin/sh
# Runs the libFuzzer harnesses of a fuzz build, each for SECONDS after its seed
# corpus (fuzz/corpus/NAME/), as many at once as there are cores.
#   scripts/fuzz.sh BUILD [SECONDS [NAME...]]
# BUILD is a build tree configured with -DTAVO_FUZZ=ON whose tavo_fuzzers target
# is built (./scripts/test.sh --fuzz does both). What a run finds is kept in
# BUILD/fuzz-corpus/NAME/ for the next run; a crash leaves its input in
# BUILD/fuzz-artifacts/ and fails the run.
set -eu
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: $0 BUILD [SECONDS [NAME...]]" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
SECONDS_EACH=${2:-20}
[ $# -ge 2 ] && shift 2 || shift $#
SEEDS=$(pwd)/fuzz/corpus

if [ $# -eq 0 ]; then
    set --
    for f in "$BUILD"/bin/fuzz/*_fuzz; do
        [ -x "$f" ] && set -- "$@" "$(basename "$f" _fuzz)"
    done
fi
[ $# -gt 0 ] || { echo "fuzz: no harnesses in $BUILD/bin/fuzz" >&2; exit 1; }

mkdir -p "$BUILD/fuzz-artifacts" "$BUILD/fuzz-logs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Quoted: the sanitizers split their options at spaces, and the path may hold one.
export LSAN_OPTIONS="suppressions='$(pwd)/tests/lsan.supp'"
export QT_QPA_PLATFORM=offscreen

# One harness: its own corpus first (written to), the seeds after (only read).
run_one() {
    name=$1
    mkdir -p "$BUILD/fuzz-corpus/$name"
    # The folders as the last arguments, each one word whatever its path holds.
    set -- "$BUILD/fuzz-corpus/$name"
    [ -d "$SEEDS/$name" ] && set -- "$@" "$SEEDS/$name"
    if "$BUILD/bin/fuzz/${name}_fuzz" -max_total_time="$SECONDS_EACH" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$BUILD/fuzz-artifacts/$name-" \
        "$@" >"$BUILD/fuzz-logs/$name.log" 2>&1; then
        echo "fuzz: $name ok ($(grep -o 'stat::number_of_executed_units: *[0-9]*' \
            "$BUILD/fuzz-logs/$name.log" | grep -o '[0-9]*$') runs)"
    else
        echo "fuzz: $name FAILED, see $BUILD/fuzz-logs/$name.log" >&2
        tail -40 "$BUILD/fuzz-logs/$name.log" >&2
        return 1
    fi
}

JOBS=$(nproc)
failed=0
running=0
pids=""
for name in "$@"; do
    run_one "$name" &
    pids="$pids $!"
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        for p in $pids; do wait "$p" || failed=1; done
        pids=""
        running=0
    fi
done
for p in $pids; do wait "$p" || failed=1; done
[ "$failed" -eq 0 ] || { echo "fuzz: a harness failed" >&2; exit 1; }
echo "fuzz: $# harnesses ran ${SECONDS_EACH} s each without a fault"
