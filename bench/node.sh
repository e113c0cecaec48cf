#!/usr/bin/env bash
# rasterkit's Node.js package against sharp (npm, here only), side by side in
# one run on the corpus's photographs: one thread each, then the default
# pool of four. Prints each case with its ratio and target (at least as fast
# as sharp; PNG no larger at each one's defaults), the sizes and the PSNR of
# the thumbnails.
#   bench/node.sh [ROUNDS]   (default 5; figures are medians)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build bench
rounds="${1:-5}"
data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-scaling}"
# shellcheck source=bench/common.sh
. bench/common.sh
prepare_photos "$data/photos"
install_sharp "$data"
(cd bindings/node && npm install --no-audit --no-fund --loglevel=error >/dev/null)
photos=()
for name in bythewater-2560x1600 kite-progressive summer-1am-2560x1600 shell-9mp shell-5120x2880; do
  photos+=("$data/photos/$name.jpg")
done
for threads in 1 4; do
  UV_THREADPOOL_SIZE=$threads SHARP_HOME="$data/node" RASTERKIT_NODE="$PWD/bindings/node" \
    node bench/node_bench.js "$rounds" /dev/shm/rasterkit-node "${photos[@]}"
done | node -e '
let met = 0, missed = 0;
const verdict = (ok) => { ok ? met++ : missed++; return ok ? "met" : "MISSED"; };
for (const line of require("fs").readFileSync(0, "utf8").trim().split("\n")) {
  const run = JSON.parse(line);
  console.log(`${run.threads === 1 ? "One thread each" : "The default pool (" + run.threads + " threads)"}; ms, rasterkit | sharp` +
    ` (first touch of 12 MB after the run: ${run.firstTouch.toFixed(1)} ms)`);
  for (const { name, ours, theirs, extra, png } of run.lines) {
    const ratio = ours / theirs;
    console.log(`  ${name.padEnd(44)} ${ours.toFixed(1).padStart(8)} | ${theirs.toFixed(1).padStart(8)}  ratio ${ratio.toFixed(3)}  target <= 1  ${verdict(ratio <= 1)}  ${extra}`);
    if (png) console.log(`  ${"".padEnd(44)} bytes ${png[0]} | ${png[1]}  ratio ${(png[0] / png[1]).toFixed(3)}  target <= 1  ${verdict(png[0] <= png[1])}`);
  }
}
console.log(`targets: ${met} met, ${missed} missed`);
'
