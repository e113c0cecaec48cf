#!/usr/bin/env bash
# Batch conversion of 50 photographs of about 3 megapixels: rasterkit's batch
# form on one thread and on every core, a shell loop of single rasterkit
# processes, ImageMagick's mogrify and a loop of vips copy, interleaved, with
# the output sizes. Writes the figures to build-bench/batch-results.tsv and a
# chart of the ratios to bench/batch-chart.png.
#   bench/batch.sh [ROUNDS]    (default 1; with more, each figure is the median)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-1}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-batch}"
cores="$(nproc)"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BENCH=ON -DRASTERKIT_BUILD_TESTS=OFF \
  -DRASTERKIT_HARDEN="${RASTERKIT_HARDEN:-ON}" >/dev/null
cmake --build build-bench -j"$cores" --target rasterkit_tool >/dev/null
tool="$PWD/build-bench/tools/rasterkit/rasterkit"

# 50 distinct photographs, 2048x1536 or 1536x2048: the corpus photos scaled
# up, cropped, turned, with film grain so they compress like real ones.
photos=(../shared/corpus/photos/kodim*.png)
if [ ! -f "$data/png/photo49.png" ]; then
  mkdir -p "$data/jpg" "$data/png"
  for i in $(seq 0 49); do
    src="${photos[$((i % ${#photos[@]}))]}"
    turn=$(( (i / ${#photos[@]}) % 4 * 90 ))
    crop=$(( i * 7 % 60 ))
    convert "$src" -gravity center -crop "$((100 - crop / 3))%x$((100 - crop / 3))%+0+0" +repage -rotate "$turn" \
      -resize '2048x2048' -extent "$( [ $((turn % 180)) -eq 0 ] && echo 2048x1536 || echo 1536x2048)" \
      -seed "$i" -attenuate 0.4 +noise Gaussian "$data/png/photo$i.png"
    convert "$data/png/photo$i.png" -quality 90 -sampling-factor 2x2 "$data/jpg/photo$i.jpg"
  done
fi

out="$data/out"
# contender CASE: runs one contender on one case into $out.
run_case() {
  local contender="$1" from="$2" to="$3" ext="$4"
  local quality=() vips_options="" mogrify_quality=()
  [ "$to" = jpeg ] && { quality=(--quality 90); vips_options="[Q=90]"; mogrify_quality=(-quality 90); }
  case "$contender" in
    rasterkit-j1) "$tool" convert "$data/$from"/*.* -o "$out" --format "$to" "${quality[@]}" -j 1 --quiet 2>/dev/null ;;
    rasterkit-j$cores) "$tool" convert "$data/$from"/*.* -o "$out" --format "$to" "${quality[@]}" -j "$cores" --quiet 2>/dev/null ;;
    rasterkit-loop) for f in "$data/$from"/*.*; do n="${f##*/}"; "$tool" convert "$f" "$out/${n%.*}.$ext" "${quality[@]}"; done ;;
    mogrify) mogrify -path "$out" -format "$ext" "${mogrify_quality[@]}" "$data/$from"/*.* ;;
    vips-loop) for f in "$data/$from"/*.*; do n="${f##*/}"; vips copy "$f" "$out/${n%.*}.$ext$vips_options"; done ;;
  esac
}

contenders=(rasterkit-j1 "rasterkit-j$cores" rasterkit-loop mogrify vips-loop)
cases=("jpeg-to-png jpg png png" "jpeg-to-bmp jpg bmp bmp" "png-to-jpeg png jpeg jpg")
results="build-bench/batch-results.tsv"
raw="build-bench/batch-raw.tsv"
: >"$raw"
for round in $(seq 1 "$rounds"); do
  for c in "${cases[@]}"; do
    read -r name from to ext <<<"$c"
    # Each round starts with another contender, so none always runs first.
    for k in "${!contenders[@]}"; do
      contender="${contenders[$(( (k + round) % ${#contenders[@]} ))]}"
      rm -rf "$out"; mkdir -p "$out"
      start=$(date +%s.%N)
      run_case "$contender" "$from" "$to" "$ext" >/dev/null
      end=$(date +%s.%N)
      files=$(find "$out" -type f | wc -l)
      bytes=$(du -sb "$out" | cut -f1)
      printf '%s\t%s\t%.3f\t%s\t%s\n' "$name" "$contender" "$(awk -v a="$start" -v b="$end" 'BEGIN {print b - a}')" "$bytes" "$files" >>"$raw"
    done
  done
done
rm -rf "$out"

# Median seconds per case and contender.
printf 'case\tcontender\tseconds\tbytes\tfiles\n' >"$results"
for c in "${cases[@]}"; do
  read -r name _ <<<"$c"
  for contender in "${contenders[@]}"; do
    awk -F'\t' -v n="$name" -v c="$contender" '$1 == n && $2 == c {print $3 "\t" $4 "\t" $5}' "$raw" | sort -n |
      awk -v n="$name" -v c="$contender" '{s[NR] = $1; b = $2; f = $3}
        END {printf "%s\t%s\t%.3f\t%s\t%s\n", n, c, s[int((NR + 1) / 2)], b, f}' >>"$results"
  done
done

echo "machine: $cores cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $rounds round(s); 50 photos of 3.1 MP"
awk -F'\t' -v cores="$cores" '
  NR == 1 {next}
  {t[$1, $2] = $3; b[$1, $2] = $4; f[$1, $2] = $5; if (!($1 in seen)) {seen[$1] = 1; order[++n] = $1}}
  END {
    split("rasterkit-j1 rasterkit-j" cores " rasterkit-loop mogrify vips-loop", names, " ")
    for (i = 1; i <= n; i++) {
      c = order[i]; printf "%s\n", c
      for (j = 1; j <= 5; j++) printf "  %-16s %8.2f s  %6.1f MB  %2d files\n", names[j], t[c, names[j]], b[c, names[j]] / 1e6, f[c, names[j]]
      all = t[c, "rasterkit-j" cores]
      printf "  -j %d / -j 1: %.2fx (target <= 0.60: %s)\n", cores, all / t[c, "rasterkit-j1"], all / t[c, "rasterkit-j1"] <= 0.6 ? "met" : "missed"
      printf "  -j %d / mogrify: %.2fx (target < 1: %s)\n", cores, all / t[c, "mogrify"], all < t[c, "mogrify"] ? "met" : "missed"
      if (c == "jpeg-to-png") printf "  -j %d / vips loop: %.2fx (other PNG settings: sizes, not judged)\n", cores, all / t[c, "vips-loop"]
      else printf "  -j %d / vips loop: %.2fx (target < 1: %s)\n", cores, all / t[c, "vips-loop"], all < t[c, "vips-loop"] ? "met" : "missed"
    }
  }' "$results"

# Each contender's time over rasterkit -j 1's, per case.
awk -F'\t' 'NR > 1 {t[$1, $2] = $3; if ($2 == "rasterkit-j1") base[$1] = $3}
  END {for (k in t) {split(k, p, SUBSEP); printf "%s\t%s\t%.3f\n", p[1], p[2], t[k] / base[p[1]]}}' "$results" |
  sort >build-bench/batch-ratios.tsv
gnuplot <<GNUPLOT
set terminal pngcairo size 900,480 font ",11"
set output "bench/batch-chart.png"
set title "Batch conversion of 50 photos (3.1 MP), time relative to rasterkit -j 1 (log scale, lower is faster)"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set key top left
set ylabel "time / rasterkit -j 1"
set logscale y 2
set yrange [0.125:32]
set grid ytics
\$ratios << EOD
$(awk -F'\t' -v cores="$cores" '{r[$1, $2] = $3}
  END {split("rasterkit-j1 rasterkit-j" cores " rasterkit-loop mogrify vips-loop", names, " ")
       printf "case"; for (j = 1; j <= 5; j++) printf " %s", names[j]; printf "\n"
       split("jpeg-to-png jpeg-to-bmp png-to-jpeg", cs, " ")
       for (i = 1; i <= 3; i++) {printf "%s", cs[i]; for (j = 1; j <= 5; j++) printf " %s", r[cs[i], names[j]]; printf "\n"}}' \
  build-bench/batch-ratios.tsv)
EOD
plot for [col=2:6] \$ratios using col:xtic(1) title columnheader(col)
GNUPLOT
echo "chart: bench/batch-chart.png; figures: $results"
