#!/usr/bin/env bash
# Thumbnails and resizes side by side in one run, on real photographs of 4 to
# 15 megapixels, baseline and progressive: rasterkit (tool and Python
# package), vips thumbnail, Pillow (draft + thumbnail, and resize on a
# decoded image), ImageMagick and sharp (from npm, here only). Prints times,
# PSNR against a full-decode Lanczos3 reference, the batch and memory
# figures with their targets, and draws bench/scaling-chart.png.
#   bench/scaling.sh [ROUNDS]   (default 5; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench python
rounds="${1:-5}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-scaling}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_tool rasterkit_convert >/dev/null

# shellcheck source=bench/common.sh
. bench/common.sh
prepare_photos "$data/photos"
install_sharp "$data"
RASTERKIT_LIBRARY="$PWD/build-bench/librasterkit.so.0" PYTHONPATH="$PWD/bindings/python/src" \
  /usr/bin/python3 bench/scaling_bench.py "$PWD/build-bench/tools/rasterkit/rasterkit" "$data" "$rounds"
