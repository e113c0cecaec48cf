#!/usr/bin/env bash
# Installs the Debian packages a task needs, when any is missing; does
# nothing when all are there.
#   scripts/install-deps.sh GROUP...   GROUP: build test analysis fuzz bench python
set -euo pipefail
declare -A groups=(
  [build]="cmake g++ make pkgconf libpng-dev libjpeg-dev zlib1g-dev libexif-dev liblcms2-dev libcli11-dev nlohmann-json3-dev libdeflate-dev"
  [test]="libgtest-dev valgrind python3 pkgconf binutils strace python3-pil imagemagick pngcheck"
  [analysis]="clang-tidy cppcheck gcovr"
  [fuzz]="clang libclang-rt-14-dev"
  [bench]="libstb-dev imagemagick libvips-tools gnuplot-nox time libjpeg-turbo-progs git"
  [python]="python3-venv python3-numpy python3-distributed python3-setuptools python3-wheel python3-pip"
)
wanted=()
for group in "${@:-build}"; do
  [ -n "${groups[$group]+x}" ] || { echo "install-deps: unknown group '$group'" >&2; exit 2; }
  read -r -a names <<<"${groups[$group]}"
  wanted+=("${names[@]}")
done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
