#!/usr/bin/env bash
# PNG writing of one 3-megapixel photograph (the batch benchmark's first,
# from its JPEG): rasterkit's writer against the conversion library's encoder
# at every zlib level, in process; then JPEG to PNG as whole processes for
# the rasterkit tool at its default, vips copy and ImageMagick's convert.
# Prints a table and draws time against size to bench/png-chart.png.
#   bench/png.sh [ROUNDS]   (default 5; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-5}"
photo="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-batch}/jpg/photo0.jpg"
[ -f "$photo" ] || { echo "run bench/batch.sh once first: it makes $photo"; exit 1; }
out=/dev/shm/rasterkit-png
mkdir -p "$out"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target png_levels rasterkit_tool >/dev/null
tool="$PWD/build-bench/tools/rasterkit/rasterkit"
table=build-bench/png-levels.tsv

build-bench/bench/png_levels "$photo" "$out" "$rounds" >"$table"
# whole COMMAND...: median seconds of ROUNDS runs, then the output's bytes.
whole() {
  local target="$1"; shift
  local times=()
  for _ in $(seq 1 "$rounds"); do
    local start end
    start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')")
  done
  printf '%s\t%s\n' "$(printf '%s\n' "${times[@]}" | sort -n | awk '{t[NR] = $1} END {print t[int((NR + 1) / 2)]}')" \
    "$(stat -c %s "$target")"
}
printf 'rasterkit convert (whole, default)\t%s\n' "$(whole "$out/tool.png" "$tool" convert "$photo" "$out/tool.png")" >>"$table"
printf 'vips copy (whole)\t%s\n' "$(whole "$out/vips.png" vips copy "$photo" "$out/vips.png")" >>"$table"
printf 'ImageMagick convert (whole)\t%s\n' "$(whole "$out/im.png" convert "$photo" "$out/im.png")" >>"$table"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(basename "$photo") (3.1 MP), medians of $rounds"
awk -F'\t' 'NR == 1 {next} {printf "  %-36s %7.3f s  %10d bytes\n", $1, $2, $3; t[$1] = $2; b[$1] = $3}
  END {
    d = "encoder level 3"; r = "rasterkit_writeimage_png"
    printf "default (level 3) against rasterkit_writeimage_png: %.2fx faster (target >= 3: %s), %.3fx the bytes (target <= 1: %s)\n",
      t[r] / t[d], (t[r] / t[d] >= 3) ? "met" : "missed", b[d] / b[r], (b[d] <= b[r]) ? "met" : "missed"
  }' "$table"

gnuplot <<GNUPLOT
set terminal pngcairo size 900,520 font ",11" noenhanced
set output "bench/png-chart.png"
set title "PNG of one 3.1 MP photo: time against size (encode only; the three marked 'whole' include the JPEG decode)"
set xlabel "file size (MB)"
set ylabel "seconds (log scale)"
set logscale y
set grid
set key off
set datafile separator "\t"
set yrange [0.05:3]
set xrange [4.6:10]
plot "$table" every ::2::11 using (\$3/1e6):2 with linespoints pt 7 lc rgb "#1f77b4", \
     "$table" every ::2::11 using (\$3/1e6):2:(sprintf("level %s", substr(stringcolumn(1), 15, 15))) with labels offset -0.8,0 right font ",9", \
     "$table" every ::1::1 using (\$3/1e6):2 with points pt 9 ps 1.8 lc rgb "#2ca02c", \
     "$table" every ::1::1 using (\$3/1e6):2:(stringcolumn(1)) with labels offset 1.2,0 left font ",9", \
     "$table" every ::12 using (\$3/1e6):2 with points pt 5 ps 1.4 lc rgb "#d62728", \
     "$table" every ::12 using (\$3/1e6):2:1 with labels offset 1.2,0 left font ",9"
GNUPLOT
echo "chart: bench/png-chart.png; figures: $table"
