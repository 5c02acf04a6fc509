#!/usr/bin/env bash
# Installs what is missing, checks the format of every C++ file, then builds and runs the whole
# test suite twice, warnings as errors, with AddressSanitizer and UndefinedBehaviorSanitizer and
# as a normal build (which also checks that no two parts define one name differently), and runs
# each fuzz target for a short while (ASan and UBSan as well).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --tests

jobs=$(nproc 2>/dev/null || echo 2)

passed=0
failed=0
skipped=0
# Builds and runs one suite. The counts come from CTest's JUnit file, its list of failed tests
# and its exit status (tools/ctest-results.py), never from its printed summary; a build that
# fails counts as one failure.
run_suite() {
    local dir=$1
    shift
    if ! cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON \
        "$@" >/dev/null ||
        ! cmake --build "$dir" -j "$jobs"; then
        echo "$dir: the build failed"
        failed=$((failed + 1))
        return 0
    fi
    local junit="$PWD/$dir/ctest-results.xml"
    local failed_log="$dir/Testing/Temporary/LastTestsFailed.log"
    rm -f "$junit" "$failed_log"
    local status=0
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs" \
        --output-junit "$junit" || status=$?
    count_suite "$dir" "$junit" "$failed_log" "$status"
}

# Adds one run's counts to the totals and shows its failed and skipped tests.
count_suite() {
    local name=$1
    local results counts
    results=$(python3 tools/ctest-results.py "$2" "$3" "$4")
    counts=$(tail -n 1 <<<"$results")
    local p f s
    read -r p f s <<<"$counts"
    echo "$name: $((p + f + s)) tests: $p passed, $f failed, $s skipped"
    sed '$d' <<<"$results"
    passed=$((passed + p))
    failed=$((failed + f))
    skipped=$((skipped + s))
}

echo "== Format"
# Every C++ file of ours as clang-format (Debian's 14) lays it out; any that differs fails the
# check, which counts as one failure.
if ! command -v clang-format >/dev/null; then
    echo "clang-format is missing: the format is not checked"
    failed=$((failed + 1))
else
    unformatted=$(find app bench display fuzz mpeg shell tags tests tools ui \
        \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run 2>&1 |
        sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u || true)
    if [ -n "$unformatted" ]; then
        echo "Not formatted (clang-format -i them):"
        echo "$unformatted"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
fi
echo "== Sanitized build (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-asan -DQUILLON_SANITIZE=ON -DQUILLON_BUILD_BENCH=OFF
echo "== Normal build"
# With the one-definition check: two parts defining one name differently fail the build.
run_suite build -DQUILLON_ODR_CHECK=ON
echo "== Fuzz targets"
# One run of fuzz.sh per target: its exit status is the target's result.
for source in fuzz/*Fuzz.cpp; do
    target=$(basename "$source" .cpp)
    if bash tools/fuzz.sh "${QUILLON_FUZZ_SECONDS:-30}" "$target"; then
        passed=$((passed + 1))
    else
        echo "fuzz target $target: failed"
        failed=$((failed + 1))
    fi
done
# Everything together, on the last line.
echo "Total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
