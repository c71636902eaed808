#!/usr/bin/env bash
# Builds the windowed program (installing missing Debian packages first) and starts it on the
# embedded store: the control file and degree-sheet table in the user's data folder
# (~/.local/share/Quorvalis, or $QUORVALIS_HOME when set).
# Without a display it says so and runs the command-line demonstration (scripts/demo.sh).
# Usage: scripts/start.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 0 ]; then
    echo "usage: $0" >&2
    exit 2
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the windowed program cannot"
    echo "open its window here. Running the command-line demonstration instead."
    echo
    exec scripts/demo.sh
fi

scripts/setup-debian.sh build
cmake --preset release >/dev/null
cmake --build --preset release --target quorvalis
exec build/release/app/quorvalis
