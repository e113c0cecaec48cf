# Sourced by the benchmarks.
# prepare_photos DIR: the corpus's large photographs in DIR, with a
# 9-megapixel baseline and two progressive versions made from them.
# install_sharp DIR: sharp (npm, for the benchmarks only) under DIR/node.
# build_baseline DIR COMMIT: the tool as it was at COMMIT, built in DIR
# (a git worktree) unless it is there already.
prepare_photos() {
  local dir="$1" large=../shared/corpus/large
  mkdir -p "$dir"
  [ -f "$dir/shell-progressive.jpg" ] && return 0
  cp "$large"/*.jpg "$dir/"
  jpegtran -progressive -copy all -outfile "$dir/shell-progressive.jpg" "$large/shell-5120x2880.jpg"
  jpegtran -progressive -copy all -outfile "$dir/kite-progressive.jpg" "$large/kite-2560x1600.jpg"
  convert "$large/shell-5120x2880.jpg" -resize 4000x2250 -quality 90 "$dir/shell-9mp.jpg"
}

install_sharp() {
  local dir="$1"
  [ -d "$dir/node/node_modules/sharp" ] && return 0
  mkdir -p "$dir/node"
  (cd "$dir/node" && npm init -y >/dev/null && npm install --no-audit --no-fund sharp@0.33 >/dev/null)
}

build_baseline() {
  local dir="$1" commit="$2"
  [ -x "$dir/build/tools/rasterkit/rasterkit" ] && return 0
  rm -rf "$dir"
  git worktree add --detach "$dir" "$commit" >/dev/null 2>&1 || git worktree add -f --detach "$dir" "$commit"
  cmake -S "$dir" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DRASTERKIT_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir/build" -j"$(nproc)" --target rasterkit_tool >/dev/null
}
