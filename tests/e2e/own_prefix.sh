#!/usr/bin/env bash
# Usage: tests/e2e/own_prefix.sh TEMPLATE PREFIX COMMAND...
# Runs COMMAND with WINEPREFIX=PREFIX, a copy of the sandboxed prefix TEMPLATE
# made for it, and removes the copy afterwards; exits with COMMAND's exit
# code. Copying takes a few seconds, making a prefix anew about ten. A
# sandboxed prefix left at PREFIX is replaced; anything else there is refused.
set -euo pipefail
source "$(dirname -- "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

if [[ $# -lt 3 ]]; then
  echo "usage: $0 TEMPLATE PREFIX COMMAND..." >&2
  exit 2
fi
template=$1 prefix=$2
shift 2
if [[ ! -e $template/$SWEEPWELL_SANDBOX_MARK ]]; then
  echo "$0: $template is not a sandboxed prefix" >&2
  exit 2
fi
if [[ -e $prefix ]]; then
  if [[ ! -e $prefix/$SWEEPWELL_SANDBOX_MARK ]]; then
    echo "$0: $prefix exists and is not a sandboxed prefix" >&2
    exit 2
  fi
  WINEPREFIX=$prefix wine_stop
  rm -rf -- "$prefix"
fi
# Nothing runs in the template, so its registry files are whole.
cp -a -- "$template" "$prefix"

status=0
WINEPREFIX=$prefix "$@" || status=$?
WINEPREFIX=$prefix wine_stop
rm -rf -- "$prefix"
exit "$status"
