#!/usr/bin/env bash
# The Node.js package as its users get it: built in bindings/node by npm
# install (cmake-js), its node:test suite, then installed into fresh projects
# from the folder and from the tarball npm pack makes, each used once.
#   tests/node_package.sh WORK_DIR
set -euo pipefail
package="$(cd "$(dirname "$0")/../bindings/node" && pwd)"
work="$1"
rm -rf "$work"
mkdir -p "$work"
quiet=(--no-audit --no-fund --loglevel=error)

(cd "$package" && npm install "${quiet[@]}" && npm test)

fixture="$package/../../testimg/testpfp0.jpg"
use='const rk = require("rasterkit");
rk.convert(process.argv[1], { format: "png", resize: { width: 64 } })
  .then((png) => rk.probe(png))
  .then((facts) => { if (facts.width !== 64) throw new Error(JSON.stringify(facts)); console.log("used:", facts); });'
for source in folder tarball; do
  project="$work/$source"
  mkdir -p "$project"
  (cd "$project" && npm init -y >/dev/null)
  if [ "$source" = folder ]; then
    target="$package"
  else
    target="$(cd "$work" && npm pack "$package" --silent)"
    target="$work/$target"
  fi
  (cd "$project" && npm install "${quiet[@]}" "$target" && node -e "$use" "$fixture")
done
