#!/bin/sh
# ./scripts/demo.sh --gateway: the demo bus on MQTT. Starts Debian's mosquitto on a
# free loopback port (its files in a temporary folder), the simulated demo bus, and
# tavo gateway with the configuration `tavo search --gateway-config` writes of that
# bus; then shows the topics as they arrive (mosquitto_sub -v) until Ctrl-C, which
# stops all of them.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target tavo
TAVO=build/bin/tavo
for p in mosquitto mosquitto_sub; do
    command -v "$p" > /dev/null 2>&1 || [ -x "/usr/sbin/$p" ] ||
        { echo "$p is missing: ./scripts/setup.sh installs it" >&2; exit 1; }
done
MOSQUITTO=$(command -v mosquitto || echo /usr/sbin/mosquitto)

DIR=$(mktemp -d "${TMPDIR:-/tmp}/tavo-gateway-demo.XXXXXX")
SIM="" BROKER="" GATEWAY=""
stop() {
    trap - EXIT INT TERM
    # The gateway first, so that it publishes its modules offline while the broker runs.
    for pid in $GATEWAY $SIM $BROKER; do kill "$pid" 2> /dev/null || true; done
    for pid in $GATEWAY $SIM $BROKER; do wait "$pid" 2> /dev/null || true; done
    rm -rf "$DIR"
}
trap stop EXIT
trap 'exit 130' INT TERM

# Waits (at most 60 s, for a program that cannot start) until the file $1 holds $2.
wait_for() {
    i=0
    while ! grep -q "$2" "$1" 2> /dev/null && [ $i -lt 1200 ]; do sleep 0.05; i=$((i + 1)); done
    grep -q "$2" "$1" 2> /dev/null
}

"$TAVO" sim --link "$DIR/bus" docs/demo-bus.txt > "$DIR/sim.names" &
SIM=$!
wait_for "$DIR/sim.names" . || { echo "the simulator did not start" >&2; exit 1; }

# A port of the dynamic range; one that is taken makes mosquitto say so, and the
# next is tried.
PORT=$((49152 + $$ % 16000))
USER_LINE="user $(id -un)" # as root, mosquitto would otherwise become "mosquitto"
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    printf '%s\nallow_anonymous true\npersistence false\nlog_dest file %s\nlistener %s 127.0.0.1\n' \
        "$USER_LINE" "$DIR/broker.log" "$PORT" > "$DIR/mosquitto.conf"
    : > "$DIR/broker.log"
    "$MOSQUITTO" -c "$DIR/mosquitto.conf" 2> "$DIR/broker.err" &
    BROKER=$!
    i=0
    while kill -0 "$BROKER" 2> /dev/null && ! grep -q ' running' "$DIR/broker.log" && [ $i -lt 1200 ]; do
        sleep 0.05
        i=$((i + 1))
    done
    grep -q ' running' "$DIR/broker.log" && break
    wait "$BROKER" 2> /dev/null || true
    BROKER=""
    grep -q 'in use' "$DIR/broker.log" "$DIR/broker.err" ||
        { cat "$DIR/broker.log" "$DIR/broker.err" >&2; echo "mosquitto did not start" >&2; exit 1; }
    PORT=$((PORT + 1))
done
[ -n "$BROKER" ] || { echo "no free loopback port for mosquitto" >&2; exit 1; }

echo "\$ $TAVO search --port $DIR/bus --timeout 20 --end 0x60 --gateway-config $DIR/gateway.yaml"
"$TAVO" search --port "$DIR/bus" --timeout 20 --end 0x60 --gateway-config "$DIR/gateway.yaml"
# The search names a broker at 127.0.0.1:1883; this one listens elsewhere.
sed -i "s/^  port: 1883$/  port: $PORT/" "$DIR/gateway.yaml"
grep -q "^  port: $PORT\$" "$DIR/gateway.yaml" || { echo "cannot set the broker's port in $DIR/gateway.yaml" >&2; exit 1; }
echo
sed 's/^/    /' "$DIR/gateway.yaml"
echo
echo "\$ $TAVO gateway $DIR/gateway.yaml"
"$TAVO" gateway "$DIR/gateway.yaml" &
GATEWAY=$!
echo "\$ mosquitto_sub -h 127.0.0.1 -p $PORT -v -t 'tavo/#' -t 'homeassistant/#'    (Ctrl-C stops the demo)"
mosquitto_sub -h 127.0.0.1 -p "$PORT" -v -t 'tavo/#' -t 'homeassistant/#'
