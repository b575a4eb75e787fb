#!/usr/bin/env bash
# Usage: wine-run.sh [--arch=x64|x86] [--default-prefix=PATH] PROGRAM.exe [ARGS...]
# Runs a Windows program under Wine for CTest and GoogleTest's test discovery.
# The architecture (default $SWEEPWELL_ARCH, else x64) picks the loader and the
# kind of prefix. The prefix is $WINEPREFIX, or else PATH; it is made
# (sandboxed) on first use, and made anew when it was made for the other
# architecture or before the Wine installed now.
# Wine's server and services are started apart from this script's streams, so
# that only the program itself writes to the caller's pipe and the runner never
# waits for Wine's helpers; the server lingers a few minutes after the last
# program and then ends by itself (or at once with `wineserver -k`).
set -euo pipefail

default_prefix=
while [[ ${1-} == --* ]]; do
  case $1 in
    --arch=*) export SWEEPWELL_ARCH=${1#--arch=} ;;
    --default-prefix=*) default_prefix=${1#--default-prefix=} ;;
    *) break ;;
  esac
  shift
done
if [[ $# -lt 1 ]]; then
  echo "usage: $0 [--arch=x64|x86] [--default-prefix=PATH] PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
scripts=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/../scripts" && pwd)
# The program itself keeps Wine's error messages (or the caller's choice):
# when it fails before printing anything, they are all there is to go on.
program_debug=${WINEDEBUG:-fixme-all}
source "$scripts/wine-env.sh"

export WINEPREFIX=${WINEPREFIX:-$default_prefix}
if [[ -z $WINEPREFIX ]]; then
  echo "$0: set WINEPREFIX or pass --default-prefix" >&2
  exit 2
fi

if ! wine_prefix_current; then
  # Parallel tests may get here together: one makes the prefix.
  mkdir -p -- "$(dirname -- "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if ! wine_prefix_current; then
    "$scripts/wine-prefix.sh" "$WINEPREFIX" 9>&-
  fi
  exec 9>&-
fi
if ! wine_start; then
  echo "$0: Wine did not start in $WINEPREFIX" >&2
fi

# The host's folders are out of the sandbox's reach; start in C:\ rather than
# have Wine complain about the working folder.
program=$1
shift
if [[ $program != /* && -e $program ]]; then
  program=$PWD/$program
fi
cd -- "$WINEPREFIX/drive_c"
export WINEDEBUG=$program_debug
exec "$WINE" "$program" "$@" </dev/null
