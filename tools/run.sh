#!/usr/bin/env bash
# Installs what is missing, builds Quillon and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target quillon quillon-probe
exec build/quillon "$@"
