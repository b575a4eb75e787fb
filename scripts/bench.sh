#!/usr/bin/env bash
# Usage: scripts/bench.sh [--native-only | --wine-only] [--rounds N] [--tool-rounds N]
#                         [--starts N] [--sizes "20000 100000"] [--keep-prefix]
# Measures how fast Sweepwell is and how much memory it takes, and prints the
# figures as Markdown (also kept in build/bench/results.md):
#  - natively, Google Benchmarks of the estimate, the purge and the finder over
#    trees of 100,000 and 1,000,000 entries, and of the pattern matcher;
#  - under Wine, in a sandboxed prefix made for the run (scripts/wine-prefix.sh):
#    forced runs of sweepwell.exe (Limit 0, argument 1: estimate and purge) on
#    generated temporary folders of each size in --sizes, timed against
#    bench/floor.exe (the least the job needs of Win32), floor.exe with
#    sweepwell.exe's extra calls, and Windows' own `dir /s /a` plus `rd /s /q`;
#    each round runs each of them once on a fresh copy of the tree, in an
#    order that rotates, and ratios are taken within a round (default 5
#    rounds, Windows' tools in the first one only, as they are slow); then
#    --starts (default 40) rounds of a same-day start without arguments,
#    bench/noop.exe and bench/registry_noop.exe, in rotating order;
#    the peak resident memory of every run (GNU time's maximum RSS of the
#    Wine process, which is the Windows program itself); and the system calls
#    of one run of each (strace -c), on the first size.
# The machine has to be otherwise idle for figures worth keeping. Builds in
# build/bench/ (Release); the prefix is $SWEEPWELL_BENCH_PREFIX, default
# /tmp/sweepwell-bench-prefix, removed at the end unless --keep-prefix.
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
export LC_ALL=C

native=1 wine=1 rounds=5 tool_rounds=1 starts=40 sizes="20000 100000" keep_prefix=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --native-only) wine=0 ;;
    --wine-only) native=0 ;;
    --rounds) rounds=$2; shift ;;
    --tool-rounds) tool_rounds=$2; shift ;;
    --starts) starts=$2; shift ;;
    --sizes) sizes=$2; shift ;;
    --keep-prefix) keep_prefix=1 ;;
    *) sed -n '2,3p' "$0" >&2; exit 2 ;;
  esac
  shift
done

out=${SWEEPWELL_BENCH_DIR:-build/bench}
mkdir -p -- "$out"
out=$(cd -- "$out" && pwd)
python=/usr/bin/python3
results=$out/results.md
note() { printf '== %s\n' "$*" >&2; }

scripts/setup-debian.sh
# GNU time for the peak memory of each run, strace to count system calls.
if [[ $wine == 1 && (! -x /usr/bin/time || ! -x /usr/bin/strace) ]]; then
  env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time strace >/dev/null
fi
repo=$PWD

machine() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
  echo "Machine: $(nproc) cores ($cpu), $(free -g | awk '/^Mem:/ {print $2}') GiB," \
    "$(sed -n 's/^PRETTY_NAME="\(.*\)"/\1/p' /etc/os-release), $(/usr/lib/wine/wine64 --version 2>/dev/null || wine --version)," \
    "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)."
}
{
  echo "# Sweepwell benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  machine
} >"$results"

if [[ $native == 1 ]]; then
  note "native: build (Release)"
  cmake -S . -B "$out/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSWEEPWELL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$out/native" --target folder_walk_bench pattern_list_bench >/dev/null
  # Nine repetitions in random order, medians reported: a shared machine's
  # drift then blurs every benchmark alike rather than whichever ran during it.
  note "native: folder walks (about two minutes)"
  "$out/native/bench/folder_walk_bench" --benchmark_repetitions=9 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/folder_walk.json" --benchmark_out_format=json >&2
  note "native: matcher"
  "$out/native/bench/pattern_list_bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/pattern_list.json" --benchmark_out_format=json >&2
  {
    echo
    echo "## Native, Google Benchmark"
    echo
    "$python" bench/report.py native "$out/folder_walk.json" "$out/pattern_list.json"
  } >>"$results"
fi

if [[ $wine == 1 ]]; then
  note "windows-x64: build sweepwell.exe and the yardsticks (Release)"
  cmake -S . -B "$out/windows-x64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DSWEEPWELL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$out/windows-x64" --target sweepwell bench_floor bench_noop bench_registry_noop \
    >/dev/null

  export SWEEPWELL_ARCH=x64
  source scripts/wine-env.sh
  export WINEPREFIX=${SWEEPWELL_BENCH_PREFIX:-/tmp/sweepwell-bench-prefix}
  note "Wine: sandboxed prefix $WINEPREFIX"
  scripts/wine-prefix.sh "$WINEPREFIX"
  cleanup() {
    wine_stop
    [[ $keep_prefix == 1 ]] || rm -rf -- "$WINEPREFIX"
  }
  trap cleanup EXIT
  wine_start 600
  cd -- "$WINEPREFIX/drive_c"
  mkdir -p bench
  cp "$out/windows-x64/app/sweepwell.exe" "$out/windows-x64/bench/"{floor,noop,registry_noop}.exe \
    bench/

  # The temporary folder as sweepwell.exe sees it, and where it is on the host.
  temp_windows=$("$WINE" cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')
  [[ $temp_windows == [Cc]:\\* ]] || { echo "$0: no temporary folder ($temp_windows)" >&2; exit 1; }
  temp_host=$WINEPREFIX/drive_c/$(printf '%s' "${temp_windows:3}" | tr '\\' '/')
  reg_view=${SWEEPWELL_REG_VIEW:-/reg:64}
  "$WINE" reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /t REG_DWORD /d 0 /f "$reg_view" \
    </dev/null >/dev/null 2>&1

  # The prefix's wineserver does much of each program's work: its CPU time is
  # counted with the program's, a figure the other load on the machine blurs
  # less than wall time.
  server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  server_pid=
  for pid in $(pgrep wineserver); do
    [[ $(readlink "/proc/$pid/cwd") == */"$server_dir" ]] && server_pid=$pid
  done
  [[ -n $server_pid ]] || { echo "$0: no wineserver for $WINEPREFIX" >&2; exit 1; }
  server_ticks() { awk '{ print $14 + $15 }' "/proc/$server_pid/stat"; }
  ticks_per_second=$(getconf CLK_TCK)

  runs=$out/wine-runs.csv
  echo "kind,program,entries,round,seconds,cpu_seconds,max_rss_kb,left" >"$runs"
  make_tree() { "$python" "$repo/bench/make_tree.py" "$temp_host" "$1" >/dev/null && sync; }
  left() { if [[ -d $temp_host ]]; then find "$temp_host" -mindepth 1 | wc -l; else echo 0; fi; }
  # timed KIND PROGRAM ENTRIES ROUND COMMAND...: one run, its wall time and peak memory.
  timed() {
    local kind=$1 program=$2 entries=$3 round=$4 start end server_before server_after
    local rss user system
    shift 4
    server_before=$(server_ticks)
    start=$EPOCHREALTIME
    /usr/bin/time -f '%M %U %S' -o "$out/usage" "$WINE" "$@" </dev/null >/dev/null 2>&1 || true
    end=$EPOCHREALTIME
    server_after=$(server_ticks)
    read -r rss user system < <(tail -n1 "$out/usage")
    printf '%s,%s,%s,%s,%s,%s,%s,%s\n' "$kind" "$program" "$entries" "$round" \
      "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')" \
      "$(awk -v u="$user" -v s="$system" -v t="$((server_after - server_before))" \
        -v hz="$ticks_per_second" 'BEGIN { printf "%.2f", u + s + t / hz }')" \
      "$rss" "$(left)" >>"$runs"
  }
  run_program() {  # PROGRAM ENTRIES ROUND
    case $1 in
      sweepwell) timed forced "$@" 'C:\bench\sweepwell.exe' 1 ;;
      floor) timed forced "$@" 'C:\bench\floor.exe' ;;
      floor+extras) timed forced "$@" 'C:\bench\floor.exe' attrs rmfirst ;;
      tools) timed forced "$@" cmd /c "dir /s /a $temp_windows >NUL & rd /s /q $temp_windows" ;;
    esac
  }

  note "Wine: warming up"
  programs=(sweepwell floor floor+extras tools)
  for program in "${programs[@]}"; do
    make_tree 2000
    run_program "$program" warmup 0
  done
  sed -i '/,warmup,/d' "$runs"

  for entries in $sizes; do
    for ((round = 1; round <= rounds; round++)); do
      note "Wine: $entries files, round $round of $rounds"
      # Windows' tools take ten times as long: a few rounds of them will do.
      in_round=("${programs[@]}")
      ((round <= tool_rounds)) || in_round=("${programs[@]:0:3}")
      for ((k = 0; k < ${#in_round[@]}; k++)); do
        program=${in_round[(k + round) % ${#in_round[@]}]}
        make_tree "$entries"
        run_program "$program" "$entries" "$entries-$round"
      done
    done
  done

  note "Wine: $starts same-day starts against noop.exe and registry_noop.exe"
  make_tree 100
  "$WINE" 'C:\bench\sweepwell.exe' 1 </dev/null >/dev/null 2>&1  # today's date is stored
  starters=(sweepwell noop registry_noop)
  for ((pair = 1; pair <= starts; pair++)); do
    for ((k = 0; k < ${#starters[@]}; k++)); do
      program=${starters[(k + pair) % ${#starters[@]}]}
      timed gated "$program" 0 "$pair" "C:\\bench\\$program.exe"
    done
  done
  # Wall and CPU time move with whatever else the machine does; the number of
  # system calls a run makes (the program's own and its requests to the
  # wineserver) does not.
  note "Wine: system calls of one run each, counted by strace"
  calls=$out/wine-syscalls.csv
  echo "kind,program,entries,syscalls" >"$calls"
  census() {  # KIND PROGRAM ENTRIES COMMAND...
    local kind=$1 program=$2 entries=$3
    shift 3
    [[ $kind == gated ]] || make_tree "$entries"
    strace -f -c -o "$out/strace" "$WINE" "$@" </dev/null >/dev/null 2>&1 || true
    echo "$kind,$program,$entries,$(awk '$NF == "total" { print $4 }' "$out/strace")" >>"$calls"
  }
  census_size=${sizes%% *}
  census forced sweepwell "$census_size" 'C:\bench\sweepwell.exe' 1
  census forced floor "$census_size" 'C:\bench\floor.exe'
  census forced floor+extras "$census_size" 'C:\bench\floor.exe' attrs rmfirst
  for program in "${starters[@]}"; do
    census gated "$program" 0 "C:\\bench\\$program.exe"
  done
  cd -- "$repo"

  {
    echo
    echo "## Under Wine"
    echo
    "$python" bench/report.py wine "$runs" "$calls"
  } >>"$results"
fi

echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)." >>"$results"
cat "$results"
