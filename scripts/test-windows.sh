#!/usr/bin/env bash
# Cross-builds geometry/ and transformation/ with their tests for 64-bit Windows (MinGW-w64, the
# mingw preset) and runs the tests as Windows programs under Wine, in a Wine prefix made for this
# run and removed afterwards. Installs the compiler and Wine first (root or sudo).
# Usage: scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

scripts/setup-debian.sh windows

jobs="$(nproc 2>/dev/null || echo 2)"
# The preset points WINEPREFIX here; a fresh one each run, so that nothing of an earlier run (or
# of the machine's own Wine set-up) takes part.
prefix="$PWD/build/mingw/wineprefix"
rm -rf "$prefix"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix" "$prefix.log"' EXIT
# No messages of Wine's own; no offer to install its .NET and HTML engines, which no test uses;
# no display (the tests are console programs).
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# The server stays up for the whole run instead of starting again for each test program. Wine's
# own background programs start with the prefix, here, rather than with the first test program,
# whose output pipe they would otherwise hold open (and its reader would wait for them).
mkdir -p "$prefix"
wineserver --persistent
wineboot --init >"$prefix.log" 2>&1 </dev/null || { cat "$prefix.log"; exit 1; }

cmake --preset mingw
cmake --build --preset mingw -j "$jobs"
built=$SECONDS
ctest --preset mingw -j "$jobs"
echo "Windows build and tests under Wine: $((SECONDS - started)) s" \
    "(setup and build $((built - started)) s, tests $((SECONDS - built)) s)"
