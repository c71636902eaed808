#!/usr/bin/env bash
# Builds and runs the shapefile benchmark: open + rewrite + flush of a 1,000,000-vertex polyline
# shapefile and a 1,000,000-point shapefile against ogr2ogr and cp + sync of the same files; then
# whole control runs of quorvalis-cli on both files, on one thread and on all cores, against
# ogr2ogr reprojecting them (EPSG:22291 to EPSG:2054), with least and median of several rounds.
# Usage: scripts/bench-shapefile.sh [build-folder] [work-folder]
# Environment: QUORVALIS_CLI_BASELINE=path/to/another/quorvalis-cli times that build's one-thread
# run in the same rounds (main's, to see that one thread got no slower); QUORVALIS_ROUNDS=N.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
work="${2:-}"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVALIS_BUILD_TESTS=OFF
fi
cmake --build "$build" --target bench_shapefile quorvalis-cli -j2
export QUORVALIS_CLI="$build/app/quorvalis-cli"
export QUORVALIS_BEACONS="$root/samples/beacons-lo29.csv"
exec "$build/bench/bench_shapefile" ${work:+"$work"}
