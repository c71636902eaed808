#!/usr/bin/env bash
# Starts the windowed program in the X display of the test (Xvfb) with its own settings and
# store, waits until its main window is mapped and the splash window is gone, and checks that
# the first start stored the installation folder (INSTALL when given, from any current folder).
# Usage: StartProgram.sh PROGRAM [INSTALL]
set -euo pipefail
program="$1"
expected="${2:-}"
home="$(mktemp -d)"
export QUORVALIS_HOME="$home"
"$program" >"$home/output.log" 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT

for _ in $(seq 1 150); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "the program ended on its own:" >&2
        cat "$home/output.log" >&2
        exit 1
    fi
    tree="$(xwininfo -root -tree 2>/dev/null || true)"
    if grep -q "\"Clarke 1880 to WGS'84 Transformation\"" <<<"$tree" &&
        ! grep -q '"Quorvalis Opening"' <<<"$tree"; then
        main="$(xwininfo -root -tree | grep "\"Clarke 1880 to WGS'84 Transformation\"" | head -n 1)"
        id="$(awk '{print $1}' <<<"$main")"
        if xwininfo -id "$id" | grep -q "Map State: IsViewable"; then
            stored="$(grep '^Install=' "$home/Tarnex/Quorvalis.conf" || true)"
            if [ -z "$stored" ] || { [ -n "$expected" ] && [ "$stored" != "Install=$expected" ]; }; then
                echo "Install stored as '${stored}', expected '${expected:-any folder}'" >&2
                exit 1
            fi
            echo "main window up after the splash: $main"
            exit 0
        fi
    fi
    sleep 0.1
done
echo "no main window within 15 s" >&2
xwininfo -root -tree >&2 || true
exit 1
