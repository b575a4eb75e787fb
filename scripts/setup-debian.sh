#!/usr/bin/env bash
# Installs what building and testing Sweepwell needs on Debian 12, asking apt
# only when something is missing. Run as root (or with sudo at hand).
set -euo pipefail

packages=(
  cmake ninja-build g++                           # native build
  libgtest-dev libgmock-dev libbenchmark-dev      # tests and benchmarks
  clang libclang-rt-14-dev                        # fuzzing and sanitizers
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64  # Windows cross builds (windres, objdump)
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine64 wine wine64-preloader                    # running the Windows programs (the preloaders
  wine32:i386 wine32-preloader:i386               # keep the address space free for Wine)
  python3 python3-pefile                          # packaging checks
  wixl msitools osslsigncode openssl              # fleet packages (scripts/package.sh): MSIs, signing
  libxml2-utils                                   # the template checked against the ADMX schema (xmllint)
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
# The 32-bit Wine comes from the i386 archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
echo "Installed: ${missing[*]}"
