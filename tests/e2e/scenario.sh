#!/usr/bin/env bash
# Usage: E2E_TEMPLATE=PREFIX [SWEEPWELL_ARCH=x64|x86] scenario.sh GROUP SCENARIO PROGRAM.exe
# Runs one end-to-end scenario under Wine: the function SCENARIO of
# tests/e2e/GROUP.sh, in a copy of the sandboxed prefix PREFIX
# (scripts/wine-prefix.sh) made for it and removed after it, so each may
# damage its machine; PROGRAM.exe is copied to $PROGRAM. SWEEPWELL_ARCH, the
# build's, picks the loader and the registry view the program sees
# (scripts/wine-env.sh). Holds the helpers the scenarios share. Exits with 0
# when the scenario passes, 77 when the date changed during it.
# shellcheck disable=SC2034,SC2119,SC2120 # what the scenario files use
set -euo pipefail
E2E_DIR=$(dirname -- "${BASH_SOURCE[0]}")
source "$E2E_DIR/../../scripts/wine-env.sh"
source "$E2E_DIR/../../scripts/sample-machine.sh"
[[ $# -eq 3 && $1$2 =~ ^[a-z_]+$ && -f $E2E_DIR/$1.sh && -f $3 ]] && WINEPREFIX=${E2E_TEMPLATE:-/none} wine_prefix_current ||
  { echo "usage: E2E_TEMPLATE=PREFIX $0 GROUP SCENARIO PROGRAM.exe (see the top)" >&2 && exit 2; }
E2E_GROUP=$1 SCENARIO=$2 E2E_EXE=$3
export WINEPREFIX=$E2E_TEMPLATE-$SCENARIO
# A copy left behind by a run that was stopped goes; nothing runs in the
# template, so its files are whole.
wine_stop && rm -rf -- "$WINEPREFIX" && cp -a -- "$E2E_TEMPLATE" "$WINEPREFIX"
trap 'wine_stop; rm -rf -- "$WINEPREFIX"' EXIT
wine_start
S=$WINEPREFIX/e2e-state && mkdir -p -- "$S" # the captured states, outside drive C:

PROGRAM='C:\Sweepwell\sweepwell.exe' # Wine hands the program its path quoted
UNINSTALL=${SAMPLE_UNINSTALL#HKLM\\}
L0='"Limit"=dword:00000000' L7='"Limit"=dword:00000007' L20='"Limit"=dword:00000014'
fail() { echo "FAIL: $*" && exit 1; }
# Wine reads the host's clock and time zone, so this is the program's today.
today() { date +%Y/%-m/%-d; }
E2E_DAY=$(today) DATE="\"ExecuteDate\"=\"$(today)\""
# wine_reg ARGS...: reg ARGS in the program's view of the registry, silent.
wine_reg() { wine_run reg "$@" "$SWEEPWELL_REG_VIEW" &>/dev/null; }
# install WINDOWS_PATH...: copies the program there.
install() { for at; do mkdir -p -- "$(dirname -- "$(wine_path "$at")")" && cp -- "$E2E_EXE" "$(wine_path "$at")"; done; }

# run WINDOWS_PATH [ARGS...]: runs it, which must exit with 0. A run that
# straddles midnight cannot tell a rewrite from a new day: it is skipped.
run() {
  echo "run: $(cut -c -200 <<<"$*")" && { wine_run "$@" || fail "exit code $?, not 0"; }
  [[ $(today) == "$E2E_DAY" ]] || { echo "SKIP: the date changed during the test" && exit 77; }
}
sweep() { run "$PROGRAM" "$@"; }

# import_reg LINE...: imports a .reg file of these lines (UTF-16, so hex(1)
# data is a string's own bytes).
import_reg() {
  { printf 'Windows Registry Editor Version 5.00\n\n'; printf '%s\n' "$@"; } | sed 's/$/\r/' |
    iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe' && cat; } >"$WINEPREFIX/drive_c/in.reg"
  wine_reg import 'C:\in.reg' || fail "reg import failed: $*"
}
# settings LINE...: the settings key holds exactly these value lines (none:
# the key is missing).
settings() {
  import_reg '[-HKEY_LOCAL_MACHINE\SOFTWARE\Brisca]' ${1+'' '[HKEY_LOCAL_MACHINE\SOFTWARE\Brisca\Sweepwell]'} "$@"
}
# utf16_hex TEXT: TEXT and a zero as hex(1) data; \0 in TEXT hides bytes.
utf16_hex() { printf '%b\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | xargs | tr ' ' ,; }
# sentinel LIMIT: a settings key of today's date followed by hidden bytes and
# LIMIT, stored as the values PLANTED. The program reads its own today, but any
# rewrite drops the hidden bytes (Wine skips a write of identical data, which
# would leave no trace).
sentinel() {
  PLANTED=("\"ExecuteDate\"=\"$(today)\\0sentinel\"" "\"Limit\"=dword:$(printf %08x "$1")")
  settings "\"ExecuteDate\"=hex(1):$(utf16_hex "$(today)\\0sentinel")" "${PLANTED[1]}"
  stored "${PLANTED[@]}"
}

# TEMP_PATH is the temporary folder as the program names it, TEMP_DIR and
# WINDOWS_DIR the host folders of it and of C:\windows. Whatever Wine left in
# the temporary folder goes, so that a test knows all it holds.
TEMP_PATH=$(wine_run cmd /c echo %TEMP% | tr -d '\r') && TEMP_PATH=${TEMP_PATH%\\}
TEMP_DIR=$(wine_path "$TEMP_PATH") WINDOWS_DIR=$(wine_path 'C:\windows')
[[ $TEMP_PATH == [Cc]:\\?* && -d $TEMP_DIR ]] || fail "no temporary folder: '$TEMP_PATH'"
find "$TEMP_DIR" -mindepth 1 -delete

# snap NAME: every entry of drive C: into NAME.drive, one a line: path, type,
# and a file's size, mode and time, or a link's target (folders' sizes and
# times follow their contents and say nothing).
snap() {
  (cd -- "$WINEPREFIX/drive_c" && find . \( -type d -printf '%p\td\t%m\n' \) -o \
    \( -type l -printf '%p\tl\t%l\n' \) -o -printf '%p\t%y\t%s\t%m\t%T@\n') |
    LC_ALL=C sort >"$S/$1.drive"
}
# capture NAME [KEY...]: snap NAME; Wine's registry files (which the server
# writes when it stops) into NAME.registry without last-write times, the
# settings key, the given keys ('SOFTWARE\...'), and what Wine itself rewrites
# as it starts or when one of its own services fails (the font lists, the
# session's environment, its device classes, its debugger's settings: a crash
# of the program itself shows in its exit code); the settings key
# as stored, with its last-write time and hidden bytes (shown as \0...), into
# NAME.settings.
capture() {
  snap "$1"
  wine_stop
  printf '%s\n' 'SOFTWARE\Brisca' 'SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts' \
    'SOFTWARE\Microsoft\Windows\CurrentVersion\Fonts' 'SOFTWARE\Wine\Fonts' 'Volatile Environment' \
    'System\CurrentControlSet\Control\Class' 'Software\Wine\WineDbg' \
    "${@:2}" | sed 's/\\/\\\\/g' >"$S/skip"
  awk 'FILENAME ~ /skip$/ { skip[tolower($0) "\\\\"] = 1; next }
    /^\[/ {
      sub(/\] [0-9]+$/, "]")
      skipped = 0
      for (key in skip) if (index(tolower(substr($0, 2, length($0) - 2)) "\\\\", key) == 1) skipped = 1
    }
    !skipped && !/^#time=/' "$S/skip" "$WINEPREFIX"/{system,user,userdef}.reg >"$S/$1.registry"
  sed -n '/^\[Software\\\\Brisca\\\\Sweepwell\] /,/^$/p' "$WINEPREFIX/system.reg" >"$S/$1.settings"
  wine_start
}

# expect_same PART BEFORE AFTER WHAT: the captures agree on PART (drive,
# registry or settings).
expect_same() {
  diff -u "$S/$2.$1" "$S/$3.$1" >"$S/diff" || { head -n 60 "$S/diff" && fail "$4 changed the $1"; }
}
# expect_gone BEFORE AFTER WHAT [PATH...]: drive C: in AFTER is that of BEFORE
# without the given entries ('C:\...', each there before) and what they held.
expect_gone() {
  local path
  for path in "${@:4}"; do path=$(wine_path "$path") && echo ".${path#"$WINEPREFIX/drive_c"}"; done |
    awk -F'\t' 'FILENAME !~ /drive$/ { gone[$0] = 1; next } { seen[$1] = 1 }
      { for (p = $1; p != "."; sub(/\/[^\/]*$/, "", p)) if (p in gone) next; print }
      END { for (g in gone) if (!(g in seen)) { print "not there before: " g; exit 1 } }' \
      - "$S/$1.drive" >"$S/$1.expected.drive" || fail "$(tail -n 1 "$S/$1.expected.drive")"
  expect_same drive "$1.expected" "$2" "$3"
}
# expect_settings NAME LINE...: the settings key in capture NAME holds exactly
# these values (and, unless they name one, any of the last run's record).
expect_settings() {
  local got record='^"Last(EstimateKB|Cleaned|FreedKB)"='
  got=$(grep -v -e '^\[' -e '^#' -e '^$' "$S/$1.settings" | sort || true)
  # The record of the last run counts only where the expected lines name it.
  printf '%s\n' "${@:2}" | grep -qE "$record" || got=$(grep -vE "$record" <<<"$got" || true)
  [[ $got == "$(printf '%s\n' "${@:2}" | sort)" ]] ||
    fail "the settings key holds"$'\n'"$got"$'\n'"not"$'\n'"$(printf '%s\n' "${@:2}")"
}
# unchanged WHAT PART...: capture after; it agrees with capture before on each
# PART.
unchanged() { capture after && for part in "${@:2}"; do expect_same "$part" before after "$1"; done; }
# idle_start WHAT 'PART...' [ARGS...]: a start with ARGS, between captures
# before and after, leaves each PART as it was.
# shellcheck disable=SC2086 # each word of PARTS is one
idle_start() { capture before && sweep "${@:3}" && unchanged "$1" $2; }
# stored LINE...: the settings key as stored now holds exactly these values.
stored() { capture after; expect_settings after "$@"; }
# pass WHAT [PATH...]: a start on a new day with Limit 0 removes exactly the
# given entries from drive C:, changes no registry key but the settings key,
# and leaves today's date and Limit 0 in it.
pass() {
  settings '"ExecuteDate"="2001/1/1"' "$L0" && capture before && sweep && stored "$DATE" "$L0"
  expect_gone before after "$@"
  expect_same registry before after "$1"
}
install "$PROGRAM"
# shellcheck source=/dev/null
source "$E2E_DIR/$E2E_GROUP.sh"
"$SCENARIO"
echo PASS
