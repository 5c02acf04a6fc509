#!/usr/bin/env bash
# Builds the libFuzzer targets of the core with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds
# (default 60) from the committed seeds and the corpus of earlier runs. A
# target that finds a crash, a leak or undefined behaviour fails; the last line
# counts the targets that ran clean and those that did not.
# usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ID3v1Fuzz ID3v2Fuzz FrameSearchFuzz MPEGaudioFuzz)

out=build-fuzz
# The fuzz preset's build: the core instrumented for libFuzzer, and the targets over it.
cmake --preset fuzz >/dev/null
cmake --build "$out" --target "${targets[@]}"
clean=0
found=0
for target in "${targets[@]}"; do
    corpus="$out/corpus-$target"
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    # Every input runs in milliseconds; the timeout, generous for a machine short of CPU
    # (a starved run once stalled 11 s inside the sanitizer's allocator), still catches a hang.
    if "$out/$target" -max_total_time="$seconds" -max_len=20000 -timeout=25 \
        -artifact_prefix="$out/$target-" "$corpus" fuzz/seeds 2>"$out/$target.log"; then
        tail -n 3 "$out/$target.log"
        clean=$((clean + 1))
    else
        tail -n 60 "$out/$target.log"
        echo "== $target FOUND A FAULT (input saved as $out/$target-*)"
        found=$((found + 1))
    fi
done
echo "Fuzz targets: $clean clean, $found failed"
[ "$found" -eq 0 ]
