#!/usr/bin/env bash
# The cost of the hardening flags in instructions, which unlike seconds do
# not move with what else the machine is doing: the tool built with and
# without RASTERKIT_HARDEN converts the same files under callgrind.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-bench}"
[ -f "$data/small-q90.jpg" ] || { echo "run bench/run.sh first (it makes $data)"; exit 2; }
for mode in ON OFF; do
  cmake -S . -B "build-bench-harden-$mode" -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BUILD_TESTS=OFF \
    -DRASTERKIT_HARDEN="$mode" >/dev/null
  cmake --build "build-bench-harden-$mode" -j"$(nproc)" --target rasterkit_tool >/dev/null
done
work="$(mktemp -d /dev/shm/rasterkit-harden-XXXXXX)"
trap 'rm -rf "$work"' EXIT
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$work/out" "$@" >/dev/null 2>&1
  callgrind_annotate "$work/out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}'
}
printf '%-40s %16s %16s %8s\n' "conversion (1 MP)" "hardened" "plain" "ratio"
for job in "small-q90.jpg out.png" "small-q90.jpg out.bmp --transpose" "small.png out.jpg --quality 90" \
           "small.png out.bmp --flip-x --flip-y"; do
  read -r input output ops <<<"$job"
  hardened=$(instructions "build-bench-harden-ON/tools/rasterkit/rasterkit" convert "$data/$input" "$work/$output" $ops)
  plain=$(instructions "build-bench-harden-OFF/tools/rasterkit/rasterkit" convert "$data/$input" "$work/$output" $ops)
  printf '%-40s %16s %16s %8.4f\n' "$input -> $output $ops" "$hardened" "$plain" "$(awk -v a="$hardened" -v b="$plain" 'BEGIN {print a / b}')"
done
