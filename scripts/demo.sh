#!/usr/bin/env bash
# The library's main job on the shipped fixtures: the self-tests (their
# output files land in testimg/), then a conversion with a transform and
# a look at the result.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target rasterkit_tool >/dev/null
tool="$PWD/build/tools/rasterkit/rasterkit"
(cd build && "$tool" selftest all)
"$tool" convert testimg/testpfp0.jpg testimg/testpfp0_turned.png --transpose --flip-x
"$tool" info testimg/testpfp0.bmp testimg/testpfp0_turned.png testimg/testpfp1_3.jpg
