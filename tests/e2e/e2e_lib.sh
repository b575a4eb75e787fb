# shellcheck shell=bash
# Helpers for the end-to-end tests of sweepwell.exe under Wine, sourced by
# tests/e2e/*_test.sh. Call: TEST.sh PATH/TO/sweepwell.exe, with WINEPREFIX
# naming a sandboxed prefix (scripts/wine-prefix.sh) that the tests may reset.
set -euo pipefail

E2E_REPO=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$E2E_REPO/scripts/wine-env.sh"

if [[ $# -ne 1 || ! -f $1 || -z ${WINEPREFIX-} || ! -e $WINEPREFIX/$SWEEPWELL_SANDBOX_MARK ]]; then
  echo "usage: WINEPREFIX=SANDBOXED_PREFIX $0 PATH/TO/sweepwell.exe" >&2
  exit 2
fi
E2E_EXE=$1
export WINEPREFIX
SETTINGS_KEY='HKLM\SOFTWARE\Brisca\Sweepwell'
# The same key as Wine's system.reg names it.
SETTINGS_SECTION='[Software\\Brisca\\Sweepwell]'
# Where the tests put the program; Wine hands it the path quoted.
PROGRAM='C:\Sweepwell\sweepwell.exe'

fail() {
  echo "FAIL: $*"
  exit 1
}

# Wine reads the host's clock and time zone, so this is the program's today.
today() { date +%Y/%-m/%-d; }

# A run that straddles midnight cannot tell a rewrite from a new day: skip it.
E2E_DAY=$(today)
check_same_day() {
  if [[ $(today) != "$E2E_DAY" ]]; then
    echo "SKIP: the date changed during the test"
    exit 77
  fi
}

wine_in_prefix() {
  (cd -- "$WINEPREFIX/drive_c" && "$WINE" "$@" </dev/null)
}

# wine_reg ARGS...: Wine's reg.exe on the 64-bit view, carriage returns dropped.
wine_reg() {
  local status=0
  wine_in_prefix reg "$@" /reg:64 >"$WINEPREFIX/reg.out" 2>&1 || status=$?
  tr -d '\r' <"$WINEPREFIX/reg.out"
  return "$status"
}

# install_program WINDOWS_PATH: copies sweepwell.exe to that place in C:.
install_program() {
  local unix_path=${1#C:\\}
  unix_path=$WINEPREFIX/drive_c/${unix_path//\\//}
  mkdir -p -- "$(dirname -- "$unix_path")"
  cp -- "$E2E_EXE" "$unix_path"
}

# run_program WINDOWS_PATH [ARGS...]: runs it and checks that it exits with 0.
run_program() {
  local status=0
  wine_in_prefix "$@" || status=$?
  echo "ran: $* (exit code $status)"
  [[ $status -eq 0 ]] || fail "$1 exited with $status, not 0"
}

# run_sweepwell [ARGS...]: runs the program at $PROGRAM.
run_sweepwell() { run_program "$PROGRAM" "$@"; }

# reset_settings: a machine on which the program never ran.
reset_settings() {
  wine_reg delete 'HKLM\SOFTWARE\Brisca' /f >/dev/null || true
  if wine_reg query "$SETTINGS_KEY" >/dev/null; then
    fail "could not delete $SETTINGS_KEY"
  fi
}

# stored_settings: the settings key exactly as the registry holds it, with its
# last-write time and every byte of its values (Wine's system.reg shows a
# string's hidden bytes after a zero as \0). Wine writes the file when its
# server stops.
stored_settings() {
  wine_stop
  SECTION=$SETTINGS_SECTION awk '
    index($0, ENVIRON["SECTION"] " ") == 1 { found = 1 }
    found && $0 == "" { exit }
    found { print }' "$WINEPREFIX/system.reg"
  wine_start
}

# import_settings LINE...: writes value lines of a .reg file into the settings
# key (the file is UTF-16, so hex(1) data is a string's own bytes).
import_settings() {
  {
    printf '\xff\xfe'
    {
      printf 'Windows Registry Editor Version 5.00\r\n\r\n'
      printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brisca\\Sweepwell]\r\n'
      printf '%s\r\n' "$@"
    } | iconv -f UTF-8 -t UTF-16LE
  } >"$WINEPREFIX/drive_c/settings.reg"
  wine_reg import 'C:\settings.reg' >/dev/null || fail "reg import failed"
}

# utf16_hex TEXT: TEXT and a terminating zero as a .reg file's hex(1) data;
# TEXT may hold \0 for hidden bytes after the string's end.
utf16_hex() {
  printf '%b\0' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' |
    sed 's/^,//; s/,$//'
}

# plant_same_day_sentinel [LIMIT]: stores today's date followed by hidden
# bytes, and the key as stored in PLANTED. The program reads the same text as
# its own today (so a start without a forcing argument must end at the gate),
# but any rewrite of ExecuteDate drops the hidden bytes. Wine skips a write
# that stores identical data, so an honest same-text rewrite would leave no
# other trace.
plant_same_day_sentinel() {
  local limit
  limit="\"Limit\"=dword:$(printf %08x "${1:-20}")"
  reset_settings
  import_settings "\"ExecuteDate\"=hex(1):$(utf16_hex "$(today)\\0sentinel")" "$limit"
  expect_stored "\"ExecuteDate\"=\"$(today)\\0sentinel\"" "$limit"
  # shellcheck disable=SC2034 # read by the tests
  PLANTED=$STORED
}

# expect_stored LINE...: the settings key holds exactly these values; the key
# as stored is left in STORED.
expect_stored() {
  local values
  STORED=$(stored_settings)
  values=$(grep -v -e '^\[' -e '^#' <<<"$STORED" | sort)
  if [[ $values != "$(printf '%s\n' "$@" | sort)" ]]; then
    printf 'stored:\n%s\nexpected:\n' "$STORED"
    printf '%s\n' "$@"
    fail "the settings key does not hold what it should"
  fi
}

# expect_unchanged BEFORE WHAT: the key as stored is still BEFORE, down to its
# last-write time.
expect_unchanged() {
  local after
  after=$(stored_settings)
  if [[ $after != "$1" ]]; then
    printf 'before:\n%s\nafter:\n%s\n' "$1" "$after"
    fail "$2 changed the settings key"
  fi
}

# expect_query_has LINE_REGEX: `reg query` of the settings key shows such a line.
expect_query_has() {
  local out
  out=$(wine_reg query "$SETTINGS_KEY") || fail "no settings key: $out"
  grep -Eq "$1" <<<"$out" || fail "reg query shows no line matching '$1':"$'\n'"$out"
}

wine_start
install_program "$PROGRAM"
