#!/bin/sh
# Sets up, builds and runs every test in every configuration CI runs:
#   1. the normal build (build/) and all its tests;
#   2. one clang build with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-sanitize/): all tests, and the libFuzzer harnesses of fuzz/, each
#      run for a short fixed time after its seed corpus;
#   3. a ThreadSanitizer build (build-tsan/) of the tests of the threads (the
#      download workers, a gateway bus worker).
# A developer can pick one:
#   --quick           the normal build and its tests only
#   --sanitize        the ASan/UBSan build and its tests only
#   --tsan            the ThreadSanitizer build and its tests only
#   --fuzz [SECONDS]  the ASan/UBSan build's fuzzers only, SECONDS each (default 12)
set -eu
cd "$(dirname "$0")/.."

usage() {
    sed -n '2,14s/^# \{0,1\}//p' "$0"
}

MODE=all
FUZZ_SECONDS=12
case "${1:-}" in
"") ;;
--quick) MODE=quick ;;
--sanitize) MODE=sanitize ;;
--tsan) MODE=tsan ;;
--fuzz)
    MODE=fuzz
    if [ -n "${2:-}" ]; then FUZZ_SECONDS=$2; fi
    ;;
-h | --help)
    usage
    exit 0
    ;;
*)
    usage >&2
    exit 2
    ;;
esac

./scripts/setup.sh
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen
START=$(date +%s)

# Prints how long the step since `mark` took.
mark() { STEP_START=$(date +%s); }
took() { echo "test.sh: $1 took $(($(date +%s) - STEP_START)) s (load average $(cut -d' ' -f1-3 /proc/loadavg))"; }

# The sanitizer builds: clang at -O1 with line tables and lld, no benchmarks.
clang_configure() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_C_FLAGS_DEBUG=-O1 -gline-tables-only" \
        "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -gline-tables-only" -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
        -DTAVO_BENCH=OFF -DTAVO_PCH=ON "$@"
}

normal() {
    mark
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVO_PCH=ON
    cmake --build build -j"$JOBS"
    took "normal build"
    mark
    ctest --test-dir build --output-on-failure -j"$JOBS"
    took "normal tests"
}

# Set for the builds too: test discovery runs the test programs. The sanitizers
# split their options at spaces and colons, so a path is quoted inside them (the
# clone's folder may hold a space).
sanitize_env() {
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions='$(pwd)/tests/lsan.supp'"
}
tsan_env() {
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions='$(pwd)/tests/tsan/qt.supp'"
}

sanitize_build() {
    clang_configure build-sanitize -DTAVO_SANITIZE=ON -DTAVO_FUZZ=ON
    # shellcheck disable=SC2086
    cmake --build build-sanitize -j"$JOBS" --target $1
}

sanitize() {
    sanitize_env
    mark
    sanitize_build "tavo_tests tavo_gui_tests tavo_fuzzers"
    took "ASan/UBSan build (tests and fuzzers)"
    mark
    ctest --test-dir build-sanitize --output-on-failure -j"$JOBS"
    took "ASan/UBSan tests"
}

fuzz() {
    sanitize_env
    mark
    sanitize_build tavo_fuzzers
    took "fuzz build"
    mark
    ./scripts/fuzz.sh build-sanitize "$FUZZ_SECONDS"
    took "fuzz runs"
}

tsan() {
    tsan_env
    mark
    clang_configure build-tsan -DTAVO_TSAN=ON
    cmake --build build-tsan -j"$JOBS" --target tavo_tests tavo_gui_tests
    took "TSan build"
    mark
    ctest --test-dir build-tsan --output-on-failure -j"$JOBS"
    took "TSan tests"
}

case $MODE in
quick) normal ;;
sanitize) sanitize ;;
tsan) tsan ;;
fuzz) fuzz ;;
all)
    normal
    (sanitize)
    (tsan)
    mark
    ./scripts/fuzz.sh build-sanitize "$FUZZ_SECONDS"
    took "fuzz runs"
    ;;
esac
echo "test.sh: all done in $(($(date +%s) - START)) s"
