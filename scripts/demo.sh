#!/usr/bin/env bash
# Usage: scripts/demo.sh [--keep] [ARGS...]
# Builds sweepwell.exe and runs it once, as a first start, in a throwaway
# sandboxed Wine prefix holding sample data: temporary files in C:\windows, a
# temporary folder with files and folders, hotfix backup folders and their
# uninstall entries. Prints the settings key and the sample places before and
# after the run, and the program's exit code. ARGS go to sweepwell.exe (a
# trailing 1 forces a run). The prefix (build/demo-prefix) is removed at the
# end unless --keep is given. Installs what is missing first.
set -euo pipefail
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.."
repo=$PWD

keep=false
if [[ ${1-} == --keep ]]; then
  keep=true
  shift
fi

scripts/setup-debian.sh
echo "== Building sweepwell.exe (preset windows-x64)"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target sweepwell
exe=$(find build/windows-x64/app -maxdepth 1 -name sweepwell.exe -print -quit)
[[ -n $exe ]] || { echo "$0: sweepwell.exe was not built" >&2; exit 1; }

source scripts/wine-env.sh
# The sample data, shared with the end-to-end test of the cleaning.
source scripts/sample-machine.sh
export WINEPREFIX=$repo/build/demo-prefix
cleanup() {
  wine_stop
  if $keep; then
    echo "The prefix stays at $WINEPREFIX (WINEPREFIX=$WINEPREFIX $WINE ...)."
  else
    rm -rf -- "$WINEPREFIX"
  fi
}
trap cleanup EXIT
echo "== Making a sandboxed Wine prefix: $WINEPREFIX"
scripts/wine-prefix.sh "$WINEPREFIX"
wine_start 60
drive_c=$WINEPREFIX/drive_c

win() { wine_run "$@" 2>/dev/null | tr -d '\r'; }
windows_dir=$(wine_path 'C:\windows')
temp_dir=$(wine_path "$(win cmd /c echo %TEMP%)")
UNINSTALL=$SAMPLE_UNINSTALL
SETTINGS='HKLM\SOFTWARE\Brisca\Sweepwell'

echo "== Sample data"
make_sample_machine "$windows_dir" "$temp_dir"

# The sample places as Windows sees them: size, read-only mark, path.
listing() {
  {
    find "$windows_dir" -maxdepth 1 -type f -iname '*.tmp'
    find "$windows_dir" -maxdepth 1 -name '$*' -type d -exec find {} \;
    find "$temp_dir"
  } | sort | while IFS= read -r path; do
    local name="C:${path#"$drive_c"}" size='' mark=''
    name=${name//\//\\}
    if [[ -d $path ]]; then
      name="$name\\"
    else
      size=$(stat -c %s -- "$path")
      size="$((size / 1024)) KB"
      [[ $(stat -c %A -- "$path") == ??w* ]] || mark=read-only
    fi
    printf '  %10s  %-9s  %s\n' "$size" "$mark" "$name"
  done
  echo "  Installed-software entries under $UNINSTALL:"
  win reg query "$UNINSTALL" /reg:64 | sed -n 's/^HKEY.*\\Uninstall\\/    /p'
}

settings() {
  local out
  if out=$(win reg query "$SETTINGS" /reg:64); then
    sed -n 's/^ \+/  /p' <<<"$out"
  else
    echo "  (no key $SETTINGS)"
  fi
}

before=$(listing)
echo "== Settings key before"
settings
echo "== Sample places before"
echo "$before"

program='C:\Program Files\Sweepwell\sweepwell.exe'
mkdir -p -- "$drive_c/Program Files/Sweepwell"
cp -- "$exe" "$drive_c/Program Files/Sweepwell/sweepwell.exe"
echo "== Running: $program${*:+ $*}"
status=0
wine_run "$program" "$@" || status=$?
echo "Exit code: $status"

after=$(listing)
echo "== Settings key after"
settings
echo "== Sample places after"
echo "$after"
echo "== Gone after the run"
gone=$(grep -vxF -f <(echo "$after") <<<"$before" || true)
if [[ -n $gone ]]; then echo "$gone"; else echo "  (nothing)"; fi
