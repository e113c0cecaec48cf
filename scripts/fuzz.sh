#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 60), seeded from the shared corpus and the hand-made hostile files.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Findings land in fuzz/corpus-work/artifacts/; keep each as a regression
# file in tests/data/regressions/ once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh fuzz
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(read_bmp read_png read_jpeg read_any png_memory roundtrip conversion jpeg_recoding)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRASTERKIT_FUZZ=ON \
  -DRASTERKIT_BUILD_TESTS=OFF -DRASTERKIT_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

corpus_root="../shared/corpus"
work="fuzz/corpus-work"
mkdir -p "$work/artifacts"
seed_files() {
  case "$1" in
    read_bmp) find "$corpus_root/bmpsuite" -name '*.bmp' ;;
    read_png|png_memory) find "$corpus_root/pngsuite" -name '*.png' ;;
    read_jpeg|jpeg_recoding) find "$corpus_root/jpeg" -name '*.jpg' -size -200k ;;
    read_any|conversion) find "$corpus_root/bmpsuite" "$corpus_root/pngsuite" "$corpus_root/jpeg" -type f -size -100k \
                \( -name '*.bmp' -o -name '*.png' -o -name '*.jpg' \) ;;
    roundtrip) find "$corpus_root/pngsuite" -name 'bas*.png' ;;
  esac 2>/dev/null || true
  find tests/data/malformed tests/data/regressions -type f ! -name '*.py' ! -name '*.md'
  # EXIF blocks and colour profiles for the conversion library's metadata reading.
  [ "$1" = conversion ] && find tests/data/orientation -name '*.jpg'
  return 0
}

status=0
for target in "${targets[@]}"; do
  corpus="$work/$target"
  mkdir -p "$corpus"
  seed_files "$target" | while read -r f; do cp -n "$f" "$corpus/" 2>/dev/null || true; done
  echo "== fuzz_$target for ${seconds}s"
  if ! (cd "$work" && "../../build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 \
        -rss_limit_mb=4096 -max_len=300000 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix=artifacts/"$target"- "$target" 2>"$target.log"); then
    echo "fuzz_$target FAILED; see $work/$target.log and $work/artifacts/"
    tail -40 "$work/$target.log"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb|^Done" "$work/$target.log" | sed "s/^/  /" || true
done
exit $status
