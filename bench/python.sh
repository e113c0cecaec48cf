#!/usr/bin/env bash
# Installs the Python package into a virtual environment under build-bench/
# and runs bench/python_bench.py on the benchmark's 12 MP photo and the batch
# benchmark's 50 photos (bench/run.sh and bench/batch.sh make them).
#   bench/python.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build python
bench_data="${RASTERKIT_BENCH_DATA:-/dev/shm/rasterkit-bench}"
batch_data="${RASTERKIT_BATCH_DATA:-/dev/shm/rasterkit-batch}"
[ -f "$bench_data/photo-q90.jpg" ] || { echo "run bench/run.sh first (it makes $bench_data)"; exit 2; }
[ -d "$batch_data/jpg" ] || { echo "run bench/batch.sh first (it makes $batch_data)"; exit 2; }
venv=build-bench/python-venv
[ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/python" -m pip install --quiet --no-build-isolation --force-reinstall --no-deps ./bindings/python
out="$(mktemp -d /dev/shm/rasterkit-python-XXXXXX)"
trap 'rm -rf "$out"' EXIT
"$venv/bin/python" bench/python_bench.py "$bench_data/photo-q90.jpg" "$batch_data/jpg" "$out" "${1:-7}"
