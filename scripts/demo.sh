#!/bin/sh
# Sets up, builds and starts the utility on its simulated bus. Without a display
# it shows the same bus through the command-line tool instead.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the two programs the demo runs: the tests and benchmarks wait for
# ./scripts/test.sh, so the first window comes sooner.
cmake --build build --target tavo-utility tavo

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting tavo-utility on the demo bus: click the tavo-demo port, set the time-out to 20 ms, Search."
    exec build/bin/tavo-utility --demo
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): showing the demo bus with the tavo command instead."
TAVO=build/bin/tavo
LINK="${TMPDIR:-/tmp}/tavo-demo-$$"
# The same bus on a free loopback TCP port too: its name is the second line.
"$TAVO" sim --link "$LINK" --tcp 0 docs/demo-bus.txt > "$LINK.names" &
SIM=$!
trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null || true; rm -f "$LINK.names"' EXIT INT TERM
# Wait for the names to appear rather than for a fixed time (60 s at most, for a
# simulator that cannot start).
i=0
while [ -z "$(sed -n 2p "$LINK.names" 2>/dev/null)" ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i + 1)); done
NET=$(sed -n 2p "$LINK.names")

run() {
    echo
    echo "\$ $*"
    "$@" || true
}
run "$TAVO" search --port "$LINK" --timeout 20 --end 0x60 --kinds
run "$TAVO" send --port "$LINK" '$01M' '$012' '$01F' '#01' '@01DI' '$05M'
run "$TAVO" send --port "$LINK" --checksum '$24M' '$242'
run "$TAVO" modbus --port "$LINK" --slave 0x50 read-holding 211 2
run "$TAVO" send --port "$NET" '$01M' '$05M'
