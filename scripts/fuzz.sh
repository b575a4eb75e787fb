#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang in build/fuzz and runs each for a
# bounded time on a copy of its seed corpus in fuzz/corpus/<target>/ (the
# repository is left as it is). Prints the executions per target and exits
# non-zero when a target crashes, a sanitizer reports or a model disagrees;
# the input that did it is kept in build/fuzz/run/<target>/findings/.
# FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."

seconds=${FUZZ_SECONDS:-20}
build=build/fuzz
targets=(pattern_list command_line)

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is missing (Debian: clang and libclang-rt-14-dev)" >&2
  exit 2
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSWEEPWELL_FUZZ=ON -DSWEEPWELL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

failed=()
summary=()
for target in "${targets[@]}"; do
  work=$build/run/$target
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  options=(-max_total_time="$seconds" -rss_limit_mb=1024 -timeout=10 -print_final_stats=1
    -artifact_prefix="$work/findings/")
  [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")

  echo "== fuzz_$target for ${seconds}s"
  status=0
  "$build/fuzz/fuzz_$target" "${options[@]}" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log" | tail -n 1)
  findings=$(find "$work/findings" -type f | wc -l)
  if [[ $status -ne 0 || $findings -ne 0 || -z $executions ]]; then
    failed+=("$target")
    summary+=("fuzz_$target: ${executions:-?} executions, FAILED (exit $status)")
    tail -n 40 "$work/fuzz.log"
    find "$work/findings" -type f -printf '  finding: %p\n'
  else
    summary+=("fuzz_$target: $executions executions, no finding")
  fi
done

printf '%s\n' "${summary[@]}"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "FAILED: fuzz targets ${failed[*]}"
  exit 1
fi
