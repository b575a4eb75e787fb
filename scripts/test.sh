#!/usr/bin/env bash
# Builds both presets and runs every test: the native build (unit tests
# against the in-memory fake), then the Windows build under Wine (the same
# tests, the contract tests against the real Win32 calls, the packaging
# checks of sweepwell.exe and its end-to-end runs). Installs what is missing
# first. Exits non-zero when a build or any test fails.
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
start=$SECONDS
stage() { printf '\n== %s (%ds so far)\n' "$1" "$((SECONDS - start))"; }

stage "Packages"
scripts/setup-debian.sh

failed=()
stage "native: configure and build"
cmake --preset native
cmake --build --preset native
stage "native: tests"
ctest --preset native || failed+=(native)

stage "native-sanitize: AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset native-sanitize
cmake --build --preset native-sanitize
ctest --preset native-sanitize || failed+=(native-sanitize)

stage "fuzz: the pattern lists, the command line and the hotfix key names"
FUZZ_SECONDS=${FUZZ_SECONDS:-10} scripts/fuzz.sh || failed+=(fuzz)

stage "windows-x64: configure and build"
# GoogleTest's discovery runs the test programs under Wine while building:
# the build and the tests share this sandboxed prefix (made on first use by
# cmake/wine-run.sh), and its server is stopped when the script ends.
source scripts/wine-env.sh
export WINEPREFIX=$PWD/build/windows-x64/wine-prefix
trap 'wine_stop' EXIT
cmake --preset windows-x64
cmake --build --preset windows-x64
stage "windows-x64: tests under Wine"
ctest --preset windows-x64 || failed+=(windows-x64)

stage "Done"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "FAILED: tests of ${failed[*]}"
  exit 1
fi
echo "All tests of both presets passed in $((SECONDS - start))s."
