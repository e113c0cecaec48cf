#!/usr/bin/env bash
# Headers, the pixel limit and streams through the tool as whole processes:
# info against ImageMagick's identify -ping and vipsheader on 12-megapixel
# files and a folder of 200, a PNG that declares 20000x20000, and standard
# input to standard output against file to file.
#   bench/probe.sh [ROUNDS]   (default 15; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-probe}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_tool >/dev/null

# 4000x3000 photos with film grain, as PNG and JPEG q90; 200 files of 3 MP.
mkdir -p "$data/folder"
if [ ! -f "$data/photo12.jpg" ]; then
  convert ../shared/corpus/photos/kodim23.png -resize 4000x3000! -seed 1 -attenuate 0.4 +noise Gaussian \
    "$data/photo12.png"
  convert "$data/photo12.png" -quality 90 -sampling-factor 2x2 "$data/photo12.jpg"
fi
if [ ! -f "$data/folder/f199.jpg" ]; then
  photos=(../shared/corpus/photos/kodim*.png)
  for i in $(seq 0 199); do
    ext=$([ $((i % 2)) -eq 0 ] && echo png || echo jpg)
    convert "${photos[$((i % ${#photos[@]}))]}" -resize 2048x1536! -seed "$i" -attenuate 0.3 +noise Gaussian \
      -quality 90 "$data/folder/f$i.$ext"
  done
fi
exec python3 bench/probe_bench.py "$PWD/build-bench/tools/rasterkit/rasterkit" "$data" "${1:-15}"
