#!/usr/bin/env bash
# JPEG to JPEG at quality 80 on the corpus's real photographs (baseline and
# progressive sources), side by side in one run: the tool now (Huffman
# tables built for each image), the tool built from BASELINE (standard
# tables, the default before), cjpeg -optimize on djpeg's pixels, vips copy
# and sharp (npm, here only); then --progressive, and the peak memory of the
# largest photo. Prints the figures with their targets.
#   bench/jpeg.sh [ROUNDS] [BASELINE]   (default 5 rounds; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-5}"
baseline="${2:-ee91374}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-scaling}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_tool >/dev/null
# shellcheck source=bench/common.sh
. bench/common.sh
old="$data/jpeg-baseline"
build_baseline "$old" "$baseline"
prepare_photos "$data/photos"
install_sharp "$data"
photos=()
for name in bythewater-2560x1600 kite-2560x1600 shell-9mp shell-5120x2880 kite-progressive summer-1am-2560x1600 \
            shell-progressive; do photos+=("$data/photos/$name.jpg"); done
out=/dev/shm/rasterkit-jpeg
mkdir -p "$out"
SHARP_HOME="$data/node" node bench/sharp_convert.js jpeg "$rounds" "$out" "${photos[@]}" >"$out/sharp.json"
python3 bench/jpeg_bench.py "$PWD/build-bench/tools/rasterkit/rasterkit" "$old/build/tools/rasterkit/rasterkit" \
  "$out" "$rounds" "${photos[@]}"
