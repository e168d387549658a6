#!/usr/bin/env bash
# Installs what building, testing and benchmarking need, from Debian's packages.
# Does nothing when everything is already present; needs no terminal and no stdin.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libyaml-dev librust-blake3-dev libboost-json1.81-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)
if [[ "${MOBREL_WITH_FUZZ:-0}" == 1 ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo -n)
fi
export DEBIAN_FRONTEND=noninteractive
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq </dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
