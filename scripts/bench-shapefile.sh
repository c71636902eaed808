#!/usr/bin/env bash
# Builds and runs the shapefile benchmark: open + rewrite + flush of a 1,000,000-vertex polyline
# shapefile and a 1,000,000-point shapefile against ogr2ogr and cp + sync of the same files.
# Usage: scripts/bench-shapefile.sh [build-folder] [work-folder]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
work="${2:-}"

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVALIS_BUILD_TESTS=OFF
fi
cmake --build "$build" --target bench_shapefile -j2
exec "$build/bench/bench_shapefile" ${work:+"$work"}
