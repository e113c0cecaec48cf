#!/usr/bin/env bash
# PNG writing side by side in one run, on the corpus's real photographs of 4
# to 9 megapixels, baseline and progressive. In process: the conversion
# library's encoder (libdeflate) at every level against the zlib writer it
# replaced (kept in bench/zlib_png_writer.cpp, at its default level 3 and at
# 9). JPEG to PNG: the rasterkit tool at its default as a whole process
# against vips copy and ImageMagick's convert, and sharp in process. Then
# the peak memory of a conversion with each writer. Prints the figures with
# their targets and draws time against size to bench/png-chart.png. Writers
# that take over a second are timed once.
#   bench/png.sh [ROUNDS]   (default 5; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-5}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-scaling}"
out=/dev/shm/rasterkit-png
mkdir -p "$out"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target png_levels rasterkit_tool >/dev/null
# shellcheck source=bench/common.sh
. bench/common.sh
prepare_photos "$data/photos"
install_sharp "$data"
photos=()
for name in bythewater-2560x1600 darkesthour-2560x1600 grey-2560x1600 kite-2560x1600 kite-progressive \
            summer-1am-2560x1600 shell-9mp; do photos+=("$data/photos/$name.jpg"); done
tool="$PWD/build-bench/tools/rasterkit/rasterkit"
levels=build-bench/png-levels.tsv
whole=build-bench/png-whole.tsv

build-bench/bench/png_levels "$out" "$rounds" "${photos[@]}" >"$levels"
# whole NAME TARGET COMMAND...: median milliseconds of ROUNDS runs, then the output's bytes.
whole() {
  local name="$1" target="$2"; shift 2
  local times=()
  "$@" >/dev/null 2>&1
  for _ in $(seq 1 "$rounds"); do
    local start end
    start=$(date +%s%N); "$@" >/dev/null 2>&1; end=$(date +%s%N)
    times+=("$(( (end - start) / 1000 ))")
  done
  printf '%s\t%s\t%s\n' "$name" "$(printf '%s\n' "${times[@]}" | sort -n | awk '{t[NR] = $1} END {print t[int((NR + 1) / 2)] / 1000}')" \
    "$(stat -c %s "$target")"
}
: >"$whole"
for photo in "${photos[@]}"; do
  name=$(basename "$photo")
  {
    whole "$name rasterkit" "$out/tool.png" "$tool" convert "$photo" "$out/tool.png"
    whole "$name vips" "$out/vips.png" vips copy "$photo" "$out/vips.png"
    whole "$name magick" "$out/im.png" convert "$photo" "$out/im.png"
  } >>"$whole"
done
SHARP_HOME="$data/node" node bench/sharp_convert.js png "$rounds" "$out" "${photos[@]}" >build-bench/png-sharp.json
peaks=()
for writer in zlib deflate; do
  peaks+=("$(/usr/bin/time -f %M build-bench/bench/png_levels peak "$writer" "$data/photos/shell-9mp.jpg" "$out/peak.png" 2>&1 >/dev/null)")
done

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); medians of $rounds"
/usr/bin/python3 - "$levels" "$whole" build-bench/png-sharp.json "${peaks[@]}" <<'PY'
import csv, json, sys
levels, whole, sharp_json, zlib_peak, deflate_peak = sys.argv[1:]
table = {}
for row in csv.DictReader(open(levels), delimiter="\t"):
    table.setdefault(row["photo"], {})[row["writer"]] = (float(row["seconds"]) * 1e3, int(row["bytes"]))
runs = {}
for name, ms, size in csv.reader(open(whole), delimiter="\t"):
    photo, who = name.rsplit(" ", 1)
    runs.setdefault(photo, {})[who] = (float(ms), int(size))
sharp = json.load(open(sharp_json))
met = missed = 0
def verdict(ok):
    global met, missed
    met, missed = met + ok, missed + (not ok)
    return "met" if ok else "MISSED"
print("In process, encode and write (ms, bytes); 'today' is the zlib writer at its default, level 3")
for photo, writers in table.items():
    today_ms, today_bytes = writers["zlib writer level 3"]
    print("  %s" % photo)
    for writer, (ms, size) in writers.items():
        print("    %-22s %8.1f ms %10d bytes  %5.2fx today's time, %5.3fx its bytes" % (
            writer, ms, size, ms / today_ms, size / today_bytes))
    strongest = writers["encoder level 9"][1] / today_bytes
    print("    level 9: %.3fx today's bytes, target <= 0.90  %s" % (strongest, verdict(strongest <= 0.9)))
print("JPEG to PNG (ms, bytes): rasterkit tool at its default and vips copy and ImageMagick as whole processes, sharp in process")
for photo, who in runs.items():
    ours_ms, ours_bytes = who["rasterkit"]
    vips_ms = who["vips"][0]
    today_bytes = table[photo]["zlib writer level 3"][1]
    print("  %s" % photo)
    print("    rasterkit %7.1f ms %9d | vips copy %7.1f ms %9d | ImageMagick %7.1f ms %9d | sharp %7.1f ms %9d" % (
        ours_ms, ours_bytes, vips_ms, who["vips"][1], who["magick"][0], who["magick"][1],
        sharp[photo]["ms"], sharp[photo]["bytes"]))
    ratio = ours_ms / vips_ms
    print("    time %.3fx vips copy, target <= 0.40  %s; bytes %.3fx today's default, target <= 1  %s" % (
        ratio, verdict(ratio <= 0.4), ours_bytes / today_bytes, verdict(ours_bytes <= today_bytes)))
peak = int(deflate_peak) / int(zlib_peak)
print("Peak memory, shell-9mp.jpg read and written as PNG: libdeflate encoder %s KiB, zlib writer %s KiB: %.2fx, "
      "target <= 2  %s" % (deflate_peak, zlib_peak, peak, verdict(peak <= 2)))
print("targets: %d met, %d missed" % (met, missed))
PY

first=$(head -2 "$levels" | tail -1 | cut -f1)
grep -P "^$first\t" "$levels" | cut -f2- >build-bench/png-chart.tsv
gnuplot <<GNUPLOT
set terminal pngcairo size 900,520 font ",11" noenhanced
set output "bench/png-chart.png"
set title "PNG of $first (4.1 MP), encode and write in process: time against size"
set xlabel "file size (MB)"
set ylabel "milliseconds (log scale)"
set logscale y
set grid
set key off
set datafile separator "\t"
plot "build-bench/png-chart.tsv" every ::2 using (\$3/1e6):(\$2*1e3) with linespoints pt 7 lc rgb "#1f77b4", \
     "build-bench/png-chart.tsv" every ::2 using (\$3/1e6):(\$2*1e3):(sprintf("level %s", substr(stringcolumn(1), 15, 15))) with labels offset -0.8,0 right font ",9", \
     "build-bench/png-chart.tsv" every ::0::1 using (\$3/1e6):(\$2*1e3) with points pt 5 ps 1.4 lc rgb "#d62728", \
     "build-bench/png-chart.tsv" every ::0::1 using (\$3/1e6):(\$2*1e3):1 with labels offset 1.2,0 left font ",9"
GNUPLOT
echo "chart: bench/png-chart.png; figures: $levels, $whole"
