#!/usr/bin/env bash
# Builds the libFuzzer targets of the core with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds
# (default 60) from the committed seeds. Any finding stops with a failure.
# usage: tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ID3v1Fuzz ID3v2Fuzz FrameSearchFuzz MPEGaudioFuzz)

out=build-fuzz
mkdir -p "$out"
core=(tags/TagText.cpp tags/FileAccess.cpp tags/ID3v1.cpp tags/ID3v2.cpp mpeg/MPEGaudio.cpp)
for target in "${targets[@]}"; do
    clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I. -Ifuzz "${core[@]}" "fuzz/$target.cpp" -o "$out/$target"
done
for target in "${targets[@]}"; do
    corpus="$out/corpus-$target"
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    "$out/$target" -max_total_time="$seconds" -max_len=20000 -timeout=10 \
        -artifact_prefix="$out/$target-" "$corpus" fuzz/seeds
done
