#!/bin/sh
# The CPU share of tavo-utility while one panel polls, measured on the whole
# program: the demo bus is served by `tavo sim` in its own process, the program
# searches it and opens NODE (its --screenshot run, on the offscreen platform
# unless QT_QPA_PLATFORM says otherwise), and the program's utime + stime from
# /proc/PID/stat are read when the panel is open and SECONDS later.
#
#   bench/panel_cpu.sh BUILD_DIR NODE [SECONDS]
#   bench/panel_cpu.sh build "(24)R550" 30
#
# Prints the node, the CPU seconds used in the window and the percentage of one
# core.
set -eu
BUILD=${1:?build directory}
NODE=${2:?node text, such as (24)R550}
SECONDS_=${3:-30}
cd "$(dirname "$0")/.."
TMP=$(mktemp -d)
LINK="$TMP/bus"
"$BUILD/bin/tavo" sim --link "$LINK" docs/demo-bus.txt > /dev/null &
SIM=$!
APP=
cleanup() {
    [ -n "$APP" ] && kill "$APP" 2> /dev/null || true
    kill "$SIM" 2> /dev/null || true
    wait 2> /dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
i=0
while [ ! -e "$LINK" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done

QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$BUILD/bin/tavo-utility" --port "$LINK" \
    --screenshot "$TMP/shot.png" --select "$NODE" --settle $(((SECONDS_ + 10) * 1000)) \
    2> "$TMP/err" &
APP=$!
i=0
while ! grep -q "is open" "$TMP/err" 2> /dev/null; do
    if ! kill -0 "$APP" 2> /dev/null || [ $i -gt 1200 ]; then
        echo "panel $NODE did not open" >&2
        cat "$TMP/err" >&2
        exit 1
    fi
    sleep 0.1
    i=$((i + 1))
done

ticks() { awk '{ print $14 + $15 }' "/proc/$APP/stat"; }
HZ=$(getconf CLK_TCK)
sleep 1 # the panel's first reads
START=$(ticks)
sleep "$SECONDS_"
END=$(ticks)
awk -v n="$NODE" -v t=$((END - START)) -v hz="$HZ" -v s="$SECONDS_" \
    'BEGIN { printf "%s: %.2f s CPU in %d s = %.2f %% of one core\n", n, t / hz, s, 100 * t / hz / s }'
