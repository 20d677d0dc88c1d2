#!/bin/sh
# Builds the Debian package from a build tree with CPack, unpacks it into a
# scratch root and runs the programs from there: tavo --version, tavo sim with
# tavo search against it, tavo-utility --version. Then lintian, which must report
# no errors. Usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
BUILD=$1
SOURCE=$2
VERSION=$3
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/tavo-package-test.XXXXXX")
SIM=""
cleanup() {
    if [ -n "$SIM" ]; then kill "$SIM" 2>/dev/null || true; wait "$SIM" 2>/dev/null || true; fi
    rm -rf "$SCRATCH"
}
trap cleanup EXIT INT TERM
fail() {
    echo "package test: $*" >&2
    exit 1
}

for p in "$BUILD/bin/tavo" "$BUILD/bin/tavo-utility"; do
    [ -x "$p" ] || fail "$p is not built; build every target first (cmake --build $BUILD)"
done
(cd "$BUILD" && cpack -G DEB -B "$SCRATCH/out" > "$SCRATCH/cpack.log" 2>&1) ||
    { cat "$SCRATCH/cpack.log" >&2; fail "cpack failed"; }
DEB="$SCRATCH/out/tavo-utility_${VERSION}_amd64.deb"
[ -f "$DEB" ] || fail "cpack made no $(basename "$DEB"): $(ls "$SCRATCH/out")"

# Depends comes from what the programs link.
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
echo "Depends: $DEPENDS"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    echo "$DEPENDS" | grep -q "$lib (>= " || fail "Depends lacks $lib"
done
echo "$DEPENDS" | grep -q "libmodbus" && fail "Depends names libmodbus, which only the tests link"

ROOT="$SCRATCH/root"
dpkg -x "$DEB" "$ROOT"
for f in usr/bin/tavo usr/bin/tavo-utility usr/share/man/man1/tavo.1.gz \
    usr/share/man/man1/tavo-utility.1.gz usr/share/applications/tavo-utility.desktop \
    usr/share/icons/hicolor/scalable/apps/tavo-utility.svg usr/share/tavo-utility/help/index.html \
    usr/share/tavo-utility/loader/README usr/share/doc/tavo-utility/copyright \
    usr/share/doc/tavo-utility/changelog.gz; do
    [ -f "$ROOT/$f" ] || fail "the package lacks /$f"
done
for p in tavo tavo-utility; do
    if readelf -S "$ROOT/usr/bin/$p" | grep -q -e '\.debug_info' -e '\.symtab'; then
        fail "/usr/bin/$p is not stripped"
    fi
done
zcat "$ROOT/usr/share/man/man1/tavo.1.gz" | grep -q '^\.SH NAME' || fail "tavo.1.gz is no manual page"

OUT=$("$ROOT/usr/bin/tavo" --version) || fail "installed tavo --version failed"
[ "$OUT" = "tavo $VERSION" ] || fail "installed tavo --version printed '$OUT'"
OUT=$(QT_QPA_PLATFORM=offscreen "$ROOT/usr/bin/tavo-utility" --version) ||
    fail "installed tavo-utility --version failed"
echo "$OUT" | grep -q "^tavo-utility " || fail "installed tavo-utility --version printed '$OUT'"

# The installed simulator and search, talking over a pseudo-terminal.
printf '01 R210D\n02 R550 checksum\n03 R560SO protocol=modbus\n' > "$SCRATCH/bus.txt"
"$ROOT/usr/bin/tavo" sim --link "$SCRATCH/bus" "$SCRATCH/bus.txt" > /dev/null &
SIM=$!
i=0 # 60 s at most, for a simulator that cannot start
while [ ! -e "$SCRATCH/bus" ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i + 1)); done
[ -e "$SCRATCH/bus" ] || fail "installed tavo sim made no device"
OUT=$("$ROOT/usr/bin/tavo" search --port "$SCRATCH/bus" --timeout 10 --turnaround 0 --start 1 \
    --end 3 --kinds | tr -d '\r') || fail "installed tavo search failed"
EXPECTED=$(printf '%s\n\t(01)R210D\t0\n\t(02)R550\t1\n\t(03)R560SO\t2' "$SCRATCH/bus")
[ "$OUT" = "$EXPECTED" ] || fail "installed tavo search printed:
$OUT"

if command -v lintian > /dev/null 2>&1; then
    lintian --fail-on error "$DEB" ||
        fail "lintian reports errors"
else
    fail "lintian is not installed (scripts/setup.sh installs it)"
fi
echo "package test: $(basename "$DEB") installs and runs"
