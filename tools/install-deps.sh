#!/usr/bin/env bash
# Installs the Debian packages that building and running Quillon need; with
# --tests also those that testing it needs, and any other packages named after
# the options (the benchmarks' tools).
# Idempotent and quiet: apt-get runs only when a package is missing.
# usage: tools/install-deps.sh [--tests] [PACKAGE...]
set -euo pipefail

# Building and running.
packages=(
    build-essential cmake ninja-build pkg-config
    nlohmann-json3-dev
    qt6-base-dev fonts-dejavu-core fonts-liberation fonts-wine
    libsimpleini-dev scdoc
    # Pictures in tags as WebP, TIFF and other formats beyond Qt's own PNG, JPEG and GIF.
    qt6-image-formats-plugins
)
if [ "${1:-}" = "--tests" ]; then
    # The test suite: GoogleTest, a headless X server for the screenshots and window checks,
    # clang for the fuzz targets, clang-format for the format check, mutagen to read written
    # tags with another reader, and the desktop's checkers of menu entries and of
    # software-centre metadata.
    packages+=(libgtest-dev libgmock-dev xvfb xauth clang libclang-rt-14-dev clang-format
        python3-mutagen desktop-file-utils appstream)
    shift
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
