#!/usr/bin/env bash
# Installs what building and testing Sweepwell needs on Debian 12, asking apt
# only when something is missing. Run as root (or with sudo at hand).
set -euo pipefail

packages=(
  cmake ninja-build g++                           # native build
  libgtest-dev libgmock-dev libbenchmark-dev      # tests and benchmarks
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64  # Windows cross build (windres, objdump)
  wine64 wine wine64-preloader                    # running the Windows programs (the preloader
                                                  # keeps the address space free for Wine)
  python3 python3-pefile                          # packaging checks
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q ' installed$'; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "$0: run as root to install ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
echo "Installed: ${missing[*]}"
