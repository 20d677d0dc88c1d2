#!/bin/sh
# Builds the Debian package tavo-utility_<version>_amd64.deb with CPack, from a
# release build with Debian's hardening flags in build-package/ (or the folder
# given), and checks it with lintian. The package lands in that folder.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD=${1:-build-package}

# Debian's own compiler and linker flags (fortify, stack protector, relro, now).
CFLAGS=$(dpkg-buildflags --get CFLAGS)
CXXFLAGS=$(dpkg-buildflags --get CXXFLAGS)
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
CPPFLAGS=$(dpkg-buildflags --get CPPFLAGS)
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
LAUNCHER=""
if command -v ccache > /dev/null 2>&1; then
    LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DTAVO_BENCH=OFF $LAUNCHER
cmake --build "$BUILD" --target tavo tavo-utility

rm -f "$BUILD"/tavo-utility_*.deb
if ! (cd "$BUILD" && cpack -G DEB); then
    echo "package: CPack failed (above). When it says 'file INSTALL cannot find', a file the" >&2
    echo "package: install rules name is missing: restore it, or take it out of the rules." >&2
    exit 1
fi
DEB=$(ls "$BUILD"/tavo-utility_*_amd64.deb)
echo "package: $DEB"
dpkg-deb -f "$DEB" Package Version Depends
echo "package: lintian (errors fail the build; warnings and notes are listed):"
lintian --fail-on error --display-info "$DEB"
