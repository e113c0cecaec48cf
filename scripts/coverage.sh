#!/usr/bin/env bash
# Line and branch coverage of src/ and conversion/ by the test suite, per file; fails when
# line coverage drops below RASTERKIT_COVERAGE_FLOOR percent (default 95).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test analysis
jobs="${RASTERKIT_JOBS:-$(nproc)}"
floor="${RASTERKIT_COVERAGE_FLOOR:-95}"
cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DRASTERKIT_COVERAGE=ON >/dev/null
cmake --build build-coverage -j"$jobs"
find build-coverage -name '*.gcda' -delete
# The memcheck runs repeat the same tests slowly and the huge-image test needs 8 GiB.
ctest --no-tests=error --test-dir build-coverage -j"$jobs" -LE "valgrind|large" --output-on-failure | tee build-coverage/test-results.log
echo "== coverage of src/ and conversion/ (branches)"
gcovr -r . --object-directory build-coverage --filter 'src/' --filter 'conversion/' --branches
echo "== coverage of src/ and conversion/ (lines); floor ${floor} %"
gcovr -r . --object-directory build-coverage --filter 'src/' --filter 'conversion/' --print-summary --fail-under-line "$floor"
