#!/usr/bin/env bash
# The conversion library's own decoders: 12-megapixel and real photographs
# (baseline and progressive JPEG, PNG) read through it against the codecs
# decoding alone, in process; then whole processes against the tool built
# from BASELINE (default: the last commit that read through the core's
# readers): convert JPEG to JPEG on a 4-megapixel photo, and info over the
# corpus.
#   bench/decode.sh [ROUNDS] [BASELINE]   (default 9 rounds; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-9}"
baseline="${2:-8fc271c}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-decode}"
large=../shared/corpus/large
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target rasterkit_tool rasterkit_decode_bench >/dev/null

# shellcheck source=bench/common.sh
. bench/common.sh
old="$data/baseline"
build_baseline "$old" "$baseline"

mkdir -p "$data"
if [ ! -f "$data/shell-progressive.jpg" ]; then
  convert ../shared/corpus/photos/kodim23.png -resize 4000x3000! -seed 1 -attenuate 0.4 +noise Gaussian \
    "$data/photo12.png"
  convert "$data/photo12.png" -quality 90 -sampling-factor 2x2 "$data/photo12.jpg"
  cp "$large/shell-5120x2880.jpg" "$large/summer-1am-2560x1600.jpg" "$data/"
  jpegtran -progressive -copy all -outfile "$data/shell-progressive.jpg" "$large/shell-5120x2880.jpg"
  convert "$large/shell-5120x2880.jpg" "$data/shell.png"
fi
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
build-bench/bench/rasterkit_decode_bench "$rounds" "$data/photo12.jpg" "$data/photo12.png" \
  "$data/shell-5120x2880.jpg" "$data/shell-progressive.jpg" "$data/summer-1am-2560x1600.jpg" "$data/shell.png"
exec python3 bench/decode_processes.py "$old/build/tools/rasterkit/rasterkit" "$PWD/build-bench/tools/rasterkit/rasterkit" \
  "$large/bythewater-2560x1600.jpg" ../shared/corpus "$data" "$rounds"
