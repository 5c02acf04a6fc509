#!/usr/bin/env bash
# Installs the Debian packages that building Quillon needs; with --tests also
# those that testing it needs (clang and its fuzzing runtime, and mutagen to
# check written tags with another reader), and any other
# packages named after the options (the benchmarks' tools).
# Idempotent and quiet: apt-get runs only when a package is missing.
# usage: tools/install-deps.sh [--tests] [PACKAGE...]
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev
    qt6-base-dev fonts-dejavu-core fonts-liberation fonts-wine xvfb xauth
    libsimpleini-dev
)
if [ "${1:-}" = "--tests" ]; then
    packages+=(clang libclang-rt-14-dev python3-mutagen)
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
