#!/bin/sh
# Installs every Debian package the build, the tests, the demo, the Debian package
# (dpkg-dev for its Depends, lintian to check it), the benchmarks (socat), the
# network port tests (ser2net), the gateway (yaml-cpp, libmosquitto, nlohmann-json)
# and its tests (mosquitto and its clients, mbpoll, openssl), the window tests on a
# real X server (Xvfb), the window tests under a comma-decimal language (locales,
# whose sources localedef compiles) and the sanitizer and fuzzer builds (clang, lld,
# the clang runtimes) need.
# Safe to run again: does nothing when all of them are present. Works as root or
# through sudo.
set -eu

PACKAGES="
cmake
ninja-build
g++
clang
lld
libclang-rt-14-dev
pkg-config
qt6-base-dev
qt6-base-dev-tools
qt6-charts-dev
libqt6opengl6-dev
libgl-dev
libgtest-dev
libgmock-dev
libbenchmark-dev
libmodbus-dev
fonts-dejavu-core
xdg-utils
dpkg-dev
lintian
socat
ser2net
libyaml-cpp-dev
libmosquitto-dev
nlohmann-json3-dev
mosquitto
mosquitto-clients
mbpoll
openssl
xvfb
xauth
locales
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: all packages present"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "setup: missing packages:$missing" >&2
    echo "setup: run this script as root or install sudo" >&2
    exit 1
fi

echo "setup: installing$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
