#!/usr/bin/env bash
# Usage: [SWEEPWELL_ARCH=x64|x86] scripts/wine-prefix.sh PATH
# Makes a throwaway Wine prefix at PATH, 64-bit or 32-bit for the programs of
# that architecture (scripts/wine-env.sh), that cannot reach the host's files:
# drive Z: (the host's /) is removed and the user folders that Wine links to
# the host's home become real folders. A prefix already at PATH is stopped and
# made anew; any other non-empty PATH is refused. Prints nothing on success.
set -euo pipefail

if [[ $# -ne 1 || -z $1 ]]; then
  echo "usage: $0 PATH" >&2
  exit 2
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

prefix=$1
if [[ -e $prefix ]]; then
  if [[ -f $prefix/system.reg || -e $prefix/$SWEEPWELL_SANDBOX_MARK ]]; then
    WINEPREFIX=$prefix wine_stop
    rm -rf -- "$prefix"
  elif [[ -n $(ls -A -- "$prefix") ]]; then
    echo "$0: $prefix exists and is not a Wine prefix" >&2
    exit 1
  fi
fi
mkdir -p -- "$prefix"
prefix=$(cd -- "$prefix" && pwd -P)
export WINEPREFIX=$prefix

"$WINE" wineboot --init </dev/null >/dev/null 2>&1
# The 32-bit programs are for the older releases: the prefix plays Windows XP.
if [[ $WINEARCH == win32 ]]; then
  "$WINE" winecfg -v winxp </dev/null >/dev/null 2>&1
fi
# Let the first start finish writing the registry before the sandboxing.
wine_stop

# Every drive but C: is a door to the host (Z: is its /).
for drive in "$prefix"/dosdevices/?:; do
  [[ $drive == */c: ]] || rm -f -- "$drive"
done
# Desktop, Documents, Templates and the like link to the host's home.
while IFS= read -r -d '' link; do
  rm -f -- "$link"
  mkdir -p -- "$link"
done < <(find "$prefix/drive_c" -type l -print0)
if find "$prefix/dosdevices" -type l -lname '/*' ! -lname '/dev/*' | grep -q . ||
   find "$prefix/drive_c" -type l | grep -q .; then
  echo "$0: $prefix still links outside itself" >&2
  exit 1
fi
# A later Wine version would otherwise update the prefix and link it anew.
echo disable >"$prefix/.update-timestamp"
wine_install_id >"$prefix/$SWEEPWELL_SANDBOX_MARK"
