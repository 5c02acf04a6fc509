#!/usr/bin/env bash
# Times tag writing on large files against `cp` and TagLib, and the peak memory
# of a save, and writes the figures into docs/benchmarks.md ("Writing tags").
# Needs about 1.5 GB free beside the build folder; takes a few minutes.
# usage: bench/write.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh libbenchmark-dev libtag1-dev

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target quillon-write-bench >/dev/null

work="$build/write-files"
mkdir -p "$work"
out="$build/write-report.md"
"$build/bench/quillon-write-bench" "$work" | tee "$out"
bash bench/put-section.sh writing "$out"
