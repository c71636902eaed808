#!/usr/bin/env bash
# Demonstration of quorvalis-cli on the sample data. Builds the program (installing missing
# Debian packages first), then works in a scratch folder with its own settings and QUORVALIS
# store, so that the user's own stay untouched:
#   1. imports the sample trig beacons (samples/beacons-lo29.csv, Lo 29) into the scratch
#      control file;
#   2. copies the sample polyline shapefile (samples/job-lines.*, Cape datum, Lo 29);
#   3. shows the dry run of its transformation Cape -> Hartebeesthoek94 by control coordinates:
#      the parameters, the control beacons with their misclosures, scale, swing and RMS;
#   4. transforms it with a report and shows the result and the first lines of the report.
#
# Usage: scripts/demo.sh [SCRATCH_FOLDER]      (default: a new folder from mktemp -d)
# With QUORVALIS_CLI set to a built quorvalis-cli, the package and build steps are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -gt 1 ] || [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
    echo "usage: $0 [SCRATCH_FOLDER]" >&2
    exit 2
fi

step() { printf '\n==> %s\n' "$*"; }

if [ -n "${QUORVALIS_CLI:-}" ]; then
    cli="$QUORVALIS_CLI"
else
    step "Installing missing packages and building quorvalis-cli (build/release)"
    scripts/setup-debian.sh build
    cmake --preset release >/dev/null
    cmake --build --preset release --target quorvalis-cli
    cli="$PWD/build/release/app/quorvalis-cli"
fi

if [ $# -eq 1 ]; then
    mkdir -p "$1"
    scratch="$(cd "$1" && pwd)"
else
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/quorvalis-demo.XXXXXX")"
fi
# Settings and store of the demonstration only.
export QUORVALIS_HOME="$scratch/home"
echo "Scratch folder: $scratch (settings and store in $QUORVALIS_HOME)"

step "1. Importing the sample trig beacons (Lo 29) into the scratch control file"
"$cli" import --class TRIG --csv samples/beacons-lo29.csv --lo 29 --yes | tail -n 2

step "2. Copying the sample polyline shapefile"
cp samples/job-lines.shp samples/job-lines.shx samples/job-lines.dbf "$scratch/"
ls -l "$scratch"/job-lines.*

transform=(transform --to hart94 --shapefile "$scratch/job-lines.shp" --method control
    --coordinate-system geodetic --lo 29 --transformation-lo 29 --strategy count --count 10
    --weighting)

step "3. Dry run: Cape -> Hartebeesthoek94 by control coordinates (nothing is written)"
echo "\$ quorvalis-cli ${transform[*]}"
"$cli" "${transform[@]}"

step "4. Transforming, with a report"
report="$scratch/Output.txt"
echo "\$ quorvalis-cli ${transform[*]} --report $report --yes"
"$cli" "${transform[@]}" --report "$report" --yes | sed -n '/shapes consisting of/,$p'

step "The report: $report (first 25 lines)"
head -n 25 "$report" | tr -d '\r'
echo
echo "The transformed shapefile is $scratch/job-lines.shp; the samples are unchanged."
