#!/usr/bin/env bash
# Installs the Debian packages Quorvalis needs to build, test and run, when they are missing.
# build: compilers, libraries, Qt and what the windowed program needs to run (fonts, the
# launcher of the help browser); test: PROJ, PostgreSQL, clang for fuzzing, and an X server
# without a screen (Xvfb) for the real-window tests; windows: the MinGW-w64 cross compiler and
# Wine, for the Windows build of the core and its tests (scripts/test-windows.sh).
# Usage: scripts/setup-debian.sh [build|test|all|windows]   (default: all)
set -euo pipefail

build_packages=(
    g++ cmake ninja-build pkg-config
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libgdal-dev gdal-bin libpq-dev libsqlite3-dev
    qt6-base-dev
    fonts-dejavu-core xdg-utils
)
test_packages=(
    proj-bin libproj-dev
    postgresql postgresql-15-postgis-3
    clang libclang-rt-14-dev
    xvfb xauth x11-utils
)
windows_packages=(
    cmake ninja-build googletest
    g++-mingw-w64-x86-64-posix wine wine64
)

case "${1:-all}" in
build) wanted=("${build_packages[@]}") ;;
test | all) wanted=("${build_packages[@]}" "${test_packages[@]}") ;;
windows) wanted=("${windows_packages[@]}") ;;
*)
    echo "usage: $0 [build|test|all|windows]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
