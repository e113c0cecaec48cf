#!/usr/bin/env bash
# Builds and runs the whole test suite: a plain hardened build (with the
# valgrind runs), an AddressSanitizer + UndefinedBehaviorSanitizer build, a
# ThreadSanitizer build of the concurrency tests (the library's stress test,
# the tool's thread pool, the JPEG reads with a second thread), static
# analysis, and coverage with its floor.
# Set RASTERKIT_TEST_LARGE=1 to include the 2^29-pixel test (needs ~8 GiB).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test analysis python
jobs="${RASTERKIT_JOBS:-$(nproc)}"
exclude="large"
[ "${RASTERKIT_TEST_LARGE:-0}" = 1 ] && exclude="^$"
mkdir -p build
log=build/test-results.log
: >"$log"

echo "== plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTERKIT_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --no-tests=error --test-dir build -j"$jobs" -LE "$exclude" --output-on-failure | tee -a "$log"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DRASTERKIT_SANITIZE=ON -DRASTERKIT_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --no-tests=error --test-dir build-asan -j"$jobs" -LE "$exclude" --output-on-failure | tee -a "$log"

echo "== ThreadSanitizer build: the concurrency tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTERKIT_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target concurrency_test rasterkit_tool scaling_test
TSAN_OPTIONS=halt_on_error=1 ctest --no-tests=error --test-dir build-tsan -L concurrency --output-on-failure | tee -a "$log"

echo "== static analysis"
scripts/analyze.sh

echo "== coverage"
scripts/coverage.sh | tee build/coverage.log

# One closing line over the three runs.
awk '/tests passed, [0-9]+ tests failed out of/ {failed += $4; total += $NF}
     END {printf "suite: %d passed, %d failed\n", total - failed, failed}' "$log" | tee build/test-summary.txt
