#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a normal build, and one with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

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
# Both runs together, on the last line.
echo "Total: $passed passed, $failed failed, $skipped skipped"
