#!/usr/bin/env bash
# Static analysis of the two libraries and the tool: clang-tidy with the checks in
# .clang-tidy and cppcheck, both with zero findings allowed. Suppressions
# live in the code beside the reason for them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build analysis
jobs="${RASTERKIT_JOBS:-$(nproc)}"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
mapfile -t sources < <(ls src/*/*.cpp conversion/*.cpp conversion/*/*.cpp conversion/*/*/*.cpp tools/rasterkit/*.cpp)

echo "== clang-tidy over ${#sources[@]} files"
printf '%s\n' "${sources[@]}" | xargs -P "$jobs" -n 4 clang-tidy -p build --quiet 2>/dev/null >build/clang-tidy.log || true
if grep -E "(warning|error):" build/clang-tidy.log; then
  echo "clang-tidy: findings above"
  exit 1
fi
echo "clang-tidy: no findings"

echo "== cppcheck"
cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr --quiet \
  -I include -I src -I src/rules/include -I conversion -I tools/rasterkit src conversion tools/rasterkit
echo "cppcheck: no findings"
