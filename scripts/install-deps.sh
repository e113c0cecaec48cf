#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need,
# when any is missing. Runs as root (or through sudo when available).
set -euo pipefail
packages=(cmake g++ make pkg-config libpng-dev libjpeg-dev zlib1g-dev libgtest-dev valgrind python3 clang
          libclang-rt-14-dev libbenchmark-dev libstb-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
