#!/usr/bin/env bash
# Installs the package into a fresh virtual environment, as the README says,
# and runs its tests from a folder outside the repository.
#   run_installed.sh VENV [CORPUS]
set -euo pipefail
package="$(cd "$(dirname "$0")/.." && pwd)"
venv="$1"
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/python" -m pip install --quiet --no-build-isolation "$package"
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
env -u RASTERKIT_LIBRARY RASTERKIT_CORPUS="${2:-}" PYTHONDONTWRITEBYTECODE=1 \
  "$venv/bin/python" -m unittest discover -s "$package/tests" -v
