#!/usr/bin/env bash
# Measures the window headless: start to the first shown window, a click on a
# file to the filled bands (also with a 4 MB picture in its tag), and the
# listings of folders of 20,000 and 100,000 files (the longest block of the
# event loop meanwhile, with and without the columns read from inside the
# files); writes the figures into docs/benchmarks.md ("The window").
# usage: bench/window.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh libbenchmark-dev
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillon-window-bench >/dev/null

# A fresh home, so that no settings or large home folder of the machine's weigh in.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
out="$build/window-report.md"
HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen \
    "$build/bench/quillon-window-bench" "$home" | tee "$out"
bash bench/put-section.sh window "$out"
