#!/usr/bin/env bash
# Builds every preset and runs every test: the native build (unit tests
# against the in-memory fake), then the 64-bit and the 32-bit Windows builds
# under Wine (the same tests, the contract tests against the real Win32 calls,
# the packaging checks of sweepwell.exe and its end-to-end runs), and last the
# deployment packages made from those two builds. Installs what is missing
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

stage "fuzz: the pattern lists and the command line"
FUZZ_SECONDS=${FUZZ_SECONDS:-10} scripts/fuzz.sh || failed+=(fuzz)

# The Windows presets under Wine: the 64-bit build in a 64-bit prefix, the
# 32-bit build in a 32-bit one (SWEEPWELL_ARCH, scripts/wine-env.sh).
# GoogleTest's discovery runs the test programs under Wine while building: the
# build and the tests share the preset's sandboxed prefix (made on first use by
# cmake/wine-run.sh), whose server is stopped when the stage or the script ends.
windows_stage() {
  local preset=$1
  stage "$preset: configure and build"
  export SWEEPWELL_ARCH=$2 WINEPREFIX=$PWD/build/$preset/wine-prefix
  source scripts/wine-env.sh
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  stage "$preset: tests under Wine"
  ctest --preset "$preset" || failed+=("$preset")
  wine_stop
}
trap 'if declare -F wine_stop >/dev/null; then wine_stop; fi' EXIT
windows_stage windows-x64 x64
windows_stage windows-x86 x86

# scripts/package.sh over the two Release builds above: signed, checked, and
# installed, upgraded and removed under Wine in prefixes of their own.
stage "packages: build, sign, install under Wine"
bash tests/packaging/package_test.sh || failed+=(packages)

stage "Done"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "FAILED: tests of ${failed[*]}"
  exit 1
fi
echo "All tests of every preset passed in $((SECONDS - start))s."
