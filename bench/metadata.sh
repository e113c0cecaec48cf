#!/usr/bin/env bash
# Orientation and colour profiles on a 12-megapixel JPEG converted to PNG by
# the tool as a whole process: orientation 6 against 1, a carried profile
# against none, and --to-srgb against ImageMagick's convert -profile sRGB.icc.
#   bench/metadata.sh [ROUNDS]   (default 9; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-metadata}"
mkdir -p "$data"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_tool make_profiles >/dev/null
build-bench/bench/make_profiles "$data"
if [ ! -f "$data/base.jpg" ]; then
  convert ../shared/corpus/photos/kodim23.png -resize 4000x3000! -seed 1 -attenuate 0.4 +noise Gaussian \
    -quality 90 -sampling-factor 2x2 -strip "$data/base.jpg"
fi
exec python3 bench/metadata_bench.py "$PWD/build-bench/tools/rasterkit/rasterkit" "$data" "${1:-9}"
