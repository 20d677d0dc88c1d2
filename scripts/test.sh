#!/bin/sh
# Sets up, builds and runs every test. Pass --sanitize to build and run them with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-sanitize/.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

BUILD=build
EXTRA=""
if [ "${1:-}" = "--sanitize" ]; then
    BUILD=build-sanitize
    EXTRA="-DTAVO_SANITIZE=ON -DTAVO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"
fi

# shellcheck disable=SC2086
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $EXTRA
cmake --build "$BUILD"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)"
