#!/usr/bin/env bash
# Builds Quorvalis and runs every test: the unit and integration suites (with a private PostgreSQL
# cluster for the office-store tests), the fuzz corpora, the core cross-built for Windows with its
# tests run under Wine (scripts/test-windows.sh), and, when clang is present, each fuzz target for
# a short time. Installs missing Debian packages first (root or sudo).
# Usage: scripts/test.sh [--no-fuzz] [--no-windows]
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz=1
windows=1
for argument in "$@"; do
    case "$argument" in
    --no-fuzz) fuzz=0 ;;
    --no-windows) windows=0 ;;
    *)
        echo "usage: $0 [--no-fuzz] [--no-windows]" >&2
        exit 2
        ;;
    esac
done

scripts/setup-debian.sh all

jobs="$(nproc 2>/dev/null || echo 2)"
cmake --preset release
cmake --build --preset release -j "$jobs"

# The office-store tests run against a private PostgreSQL cluster on a loopback port, started
# for this run and removed afterwards.
scripts/pg-test-cluster.sh run -- ctest --preset release -j "$jobs"

if [ "$windows" -eq 1 ]; then
    scripts/test-windows.sh
fi

if [ "$fuzz" -eq 1 ] && command -v clang++ >/dev/null 2>&1; then
    fuzzers=(fuzz_read_shape fuzz_shapefile fuzz_text_definition fuzz_text_field fuzz_crd fuzz_email_pair fuzz_delimited_beacons)
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs" --target "${fuzzers[@]}"
    for name in "${fuzzers[@]}"; do
        fuzzer="build/fuzz/fuzz/$name"
        work="$(mktemp -d)"
        cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
        echo "fuzzing $name for 30 s"
        "$fuzzer" -max_total_time=30 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work" \
            2>"$work.log" || { tail -n 60 "$work.log"; exit 1; }
        grep -E '^(stat::number_of_executed_units|Done)' "$work.log" || true
        rm -rf "$work" "$work.log"
    done
fi
echo "all tests passed (pictures of every window: build/screenshots/)"
