#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice,
# with AddressSanitizer and UndefinedBehaviorSanitizer and as a normal build,
# and runs each fuzz target for a short while (ASan and UBSan as well).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --tests

jobs=$(nproc 2>/dev/null || echo 2)

passed=0
failed=0
skipped=0
run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    local log="$dir/ctest-summary.log"
    local status
    set +e
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    # "100% tests passed, 0 tests failed out of 233", and the skipped ones listed after it.
    local total fails skips
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
    fails=$(sed -n 's/.*, \([0-9]*\) tests* failed out of.*/\1/p' "$log" | tail -n 1)
    skips=$(grep -c '(Skipped)' "$log" || true)
    passed=$((passed + ${total:-0} - ${fails:-0} - skips))
    failed=$((failed + ${fails:-0}))
    skipped=$((skipped + skips))
    return "$status"
}

echo "== Sanitized build (ASan + UBSan)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build-asan -DQUILLON_SANITIZE=ON -DQUILLON_BUILD_BENCH=OFF
echo "== Normal build"
run_suite build
echo "== Fuzz targets"
set +e
mkdir -p build-fuzz
bash tools/fuzz.sh "${QUILLON_FUZZ_SECONDS:-30}" | tee build-fuzz/summary.log
fuzz_status=${PIPESTATUS[0]}
set -e
fuzz_clean=$(sed -n 's/^Fuzz targets: \([0-9]*\) clean, \([0-9]*\) failed$/\1/p' build-fuzz/summary.log)
fuzz_found=$(sed -n 's/^Fuzz targets: \([0-9]*\) clean, \([0-9]*\) failed$/\2/p' build-fuzz/summary.log)
passed=$((passed + ${fuzz_clean:-0}))
failed=$((failed + ${fuzz_found:-0}))
[ "$fuzz_status" -eq 0 ] || [ "${fuzz_found:-0}" -gt 0 ] || failed=$((failed + 1))
# Everything together, on the last line.
echo "Total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
