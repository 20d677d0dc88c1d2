#!/bin/sh
# Sets up, builds and starts the utility on its simulated bus.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

TAVO=build/bin/tavo
BUS=docs/demo-bus.txt
LINK="${TMPDIR:-/tmp}/tavo-demo-$$"
"$TAVO" sim --link "$LINK" "$BUS" > /dev/null &
SIM=$!
trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null || true' EXIT INT TERM
# Wait for the device to appear rather than for a fixed time.
i=0
while [ ! -e "$LINK" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i + 1)); done

echo "Simulated bus on $LINK ($BUS)"
echo
echo "\$ tavo send --port $LINK '\$01M' '\$012' '\$01F' '\$05M'"
"$TAVO" send --port "$LINK" '$01M' '$012' '$01F' '$05M' || true
echo
echo "\$ tavo send --port $LINK --checksum '\$02M' '\$022'"
"$TAVO" send --port "$LINK" --checksum '$02M' '$022' || true
echo
echo "\$ tavo modbus --port $LINK --slave 10 read-holding 211 2"
"$TAVO" modbus --port "$LINK" --slave 10 read-holding 211 2 || true
