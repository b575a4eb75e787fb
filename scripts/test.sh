#!/usr/bin/env bash
# Builds every preset and runs every test: the native build (unit tests
# against the in-memory fake), then the 64-bit and the 32-bit Windows builds
# under Wine (the same tests, the contract tests against the real Win32 calls,
# the packaging checks of sweepwell.exe and its end-to-end runs). Installs what
# is missing first. Exits non-zero when a build or any test fails.
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

# The Windows presets under Wine: the 64-bit build in a 64-bit prefix, the
# 32-bit build in a 32-bit one (SWEEPWELL_ARCH, scripts/wine-env.sh). Each
# step runs in a subshell that picks its architecture and prefix, and stops
# that prefix's server when it ends. GoogleTest's discovery runs the test
# programs under Wine while building: the build and the tests of a preset share
# its sandboxed prefix (made on first use by cmake/wine-run.sh).
use_preset() {
  export SWEEPWELL_ARCH=$2 WINEPREFIX=$PWD/build/$1/wine-prefix
  source scripts/wine-env.sh
  trap 'wine_stop' EXIT
}
windows_build() { use_preset "$@" && cmake --preset "$1" && cmake --build --preset "$1"; }
windows_test() { use_preset "$@" && ctest --preset "$1"; }

stage "windows-x64: configure and build"
(windows_build windows-x64 x64)
# The 32-bit build compiles while the 64-bit tests mostly wait on Wine.
x86_log=build/windows-x86-build.log
stage "windows-x64: tests under Wine, while windows-x86 builds (output in $x86_log)"
mkdir -p build
(windows_build windows-x86 x86) >"$x86_log" 2>&1 &
x86_build=$!
(windows_test windows-x64 x64) || failed+=(windows-x64)
stage "windows-x86: configure and build"
x86_status=0
wait "$x86_build" || x86_status=$?
cat -- "$x86_log"
if [[ $x86_status -ne 0 ]]; then
  echo "FAILED: the windows-x86 build (exit code $x86_status)"
  exit 1
fi
stage "windows-x86: tests under Wine"
(windows_test windows-x86 x86) || failed+=(windows-x86)

stage "Done"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "FAILED: tests of ${failed[*]}"
  exit 1
fi
echo "All tests of every preset passed in $((SECONDS - start))s."
