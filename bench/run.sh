#!/usr/bin/env bash
# Builds the benchmark (Release), makes its inputs in a tmpfs folder and
# runs it. ROUNDS (default 9) sets the interleaved rounds per figure;
# SECTION (memory, png-read, png-write, jpeg, bmp, ops) runs one part only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-9}"
section="${2:-}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-bench}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF \
  -DRASTERKIT_HARDEN="${RASTERKIT_HARDEN:-ON}" \
  >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_bench >/dev/null
mkdir -p "$data"
[ -f "$data/small.png" ] || build-bench/bench/rasterkit_bench make-inputs "$data" ../shared/corpus/photos/kodim23.png
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
build-bench/bench/rasterkit_bench run "$data" "$rounds" $section
