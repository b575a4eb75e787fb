# shellcheck shell=bash
# Helpers for the end-to-end tests of sweepwell.exe under Wine, sourced by
# tests/e2e/*_test.sh. Call: TEST.sh PATH/TO/sweepwell.exe, with WINEPREFIX
# naming a sandboxed prefix (scripts/wine-prefix.sh) that the tests may reset
# and SWEEPWELL_ARCH the build's architecture, x64 (the default) or x86: the
# 64-bit build runs in a 64-bit prefix, the 32-bit build in a 32-bit one.
set -euo pipefail

E2E_REPO=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
source "$E2E_REPO/scripts/wine-env.sh"

if [[ $# -ne 1 || ! -f $1 || -z ${WINEPREFIX-} ]]; then
  echo "usage: WINEPREFIX=SANDBOXED_PREFIX [SWEEPWELL_ARCH=x64|x86] $0 PATH/TO/sweepwell.exe" >&2
  exit 2
fi
E2E_EXE=$1
export WINEPREFIX

# pe_arch FILE: x64 or x86, as the machine field of FILE's PE header says.
pe_arch() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 -- "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j"$((header + 4))" -N2 -- "$1" | tr -d ' ')
  case $machine in
    8664) echo x64 ;;
    014c) echo x86 ;;
    *) echo "machine $machine" ;;
  esac
}
# A test added without the build's SWEEPWELL_ARCH would run the program in the
# wrong kind of prefix and look at the wrong registry view.
if [[ $(pe_arch "$E2E_EXE") != "$SWEEPWELL_ARCH" ]]; then
  echo "$E2E_EXE is $(pe_arch "$E2E_EXE"), but SWEEPWELL_ARCH is $SWEEPWELL_ARCH:" \
    "give the test the ENVIRONMENT of the others in tests/e2e/CMakeLists.txt" >&2
  exit 2
fi
if ! wine_prefix_current; then
  echo "$WINEPREFIX is not a sandboxed prefix made by scripts/wine-prefix.sh for" \
    "SWEEPWELL_ARCH=$SWEEPWELL_ARCH and the Wine installed now" >&2
  exit 2
fi
SETTINGS_KEY='HKLM\SOFTWARE\Brisca\Sweepwell'
# The same key as Wine's system.reg names it. Neither build sees the registry
# redirected (a 64-bit program in a 64-bit prefix, a 32-bit one in a 32-bit
# prefix), so HKLM\SOFTWARE is Software there for both.
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

# wine_reg ARGS...: Wine's reg.exe on the registry view of the program under
# test ($SWEEPWELL_REG_VIEW: /reg:64 or /reg:32), carriage returns dropped.
wine_reg() {
  local status=0
  wine_in_prefix reg "$@" "$SWEEPWELL_REG_VIEW" >"$WINEPREFIX/reg.out" 2>&1 || status=$?
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
  settings_section
  wine_start
}

# settings_section: the settings key's section of Wine's system.reg, which is
# up to date only while the server is stopped.
settings_section() {
  SECTION=$SETTINGS_SECTION awk '
    index($0, ENVIRON["SECTION"] " ") == 1 { found = 1 }
    found && $0 == "" { exit }
    found { print }' "$WINEPREFIX/system.reg"
}

# import_settings LINE...: writes value lines of a .reg file into the settings
# key (the file is UTF-16, so hex(1) data is a string's own bytes).
import_settings() {
  import_reg '[HKEY_LOCAL_MACHINE\SOFTWARE\Brisca\Sweepwell]' "$@"
}

# import_reg LINE...: imports a .reg file of these lines.
import_reg() {
  {
    printf '\xff\xfe'
    {
      printf 'Windows Registry Editor Version 5.00\r\n\r\n'
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
  STORED=$(stored_settings)
  expect_values "$STORED" "$@"
}

# expect_values SECTION LINE...: the settings key's section (as
# settings_section gives it) holds exactly these values.
expect_values() {
  local section=$1 values
  shift
  values=$(grep -v -e '^\[' -e '^#' <<<"$section" | sort)
  if [[ $values != "$(printf '%s\n' "$@" | sort)" ]]; then
    printf 'stored:\n%s\nexpected:\n' "$section"
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

# expect_query_has LINE_REGEX...: `reg query` of the settings key shows a
# line matching each.
expect_query_has() {
  local out regex
  out=$(wine_reg query "$SETTINGS_KEY") || fail "no settings key: $out"
  for regex in "$@"; do
    grep -Eq "$regex" <<<"$out" || fail "reg query shows no line matching '$regex':"$'\n'"$out"
  done
}

# ---------------------------------------------------------------------------
# For the tests that let the program clean, each in a prefix of its own: the
# machine as seen from outside, before and after.

# Where the captured states go: in the prefix, outside its drive C:.
E2E_STATE=$WINEPREFIX/e2e-state

# host_path 'C:\dir\file': where that lies on the host.
host_path() {
  local path=${1#[Cc]:}
  path=${path//\\//}
  echo "$WINEPREFIX/drive_c${path%/}"
}

# drive_rel 'C:\dir\file': the same path as drive_state lists it (./dir/file).
drive_rel() {
  local path=${1#[Cc]:}
  path=${path//\\//}
  echo ".${path%/}"
}

# find_places: WINDOWS_DIR and TEMP_DIR, the host folders of C:\windows and
# of the temporary folder, and TEMP_PATH, the temporary folder as the program
# names it (no trailing backslash).
find_places() {
  TEMP_PATH=$(wine_in_prefix cmd /c echo %TEMP% | tr -d '\r')
  TEMP_PATH=${TEMP_PATH%\\}
  [[ $TEMP_PATH == [Cc]:\\?* ]] || fail "no temporary folder: '$TEMP_PATH'"
  WINDOWS_DIR=$(host_path 'C:\windows')
  TEMP_DIR=$(host_path "$TEMP_PATH")
  [[ -d $WINDOWS_DIR && -d $TEMP_DIR ]] || fail "no $WINDOWS_DIR or $TEMP_DIR"
}

# empty_temp_folder: whatever Wine left in the temporary folder goes, so that
# a test knows all it holds.
empty_temp_folder() { find "$TEMP_DIR" -mindepth 1 -delete; }

# drive_state: every entry of drive C:, one a line (path, type, size of a file,
# mode, and a link's target), tab-separated and sorted. Folders' sizes and
# times change with their contents and say nothing.
drive_state() {
  (cd -- "$WINEPREFIX/drive_c" &&
    find . \( -type d -printf '%p\td\t-\t%m\n' \) -o \( -type l -printf '%p\tl\t%l\t%m\n' \) \
      -o -printf '%p\t%y\t%s\t%m\n') | LC_ALL=C sort
}

# hive_state KEY...: Wine's registry files (the server must be stopped) without
# last-write times, leaving out the settings key and the given keys
# ('SOFTWARE\...', in any hive), each with its subkeys. Wine itself
# drops the host's fonts from the registry when its server starts and writes
# them back when a program that draws first runs, so the font lists are left
# out too.
hive_state() {
  local skip='' key hive
  for key in 'SOFTWARE\Brisca' 'SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts' \
    'SOFTWARE\Microsoft\Windows\CurrentVersion\Fonts' 'SOFTWARE\Wine\Fonts' "$@"; do
    skip+="${key//\\/\\\\}"$'\n'
  done
  for hive in system.reg user.reg userdef.reg; do
    echo "== $hive"
    SKIP=$skip awk '
      BEGIN { n = split(tolower(ENVIRON["SKIP"]), keys, "\n") }
      /^\[/ {
        sub(/\] [0-9]+$/, "]")
        name = tolower(substr($0, 2, length($0) - 2))
        skipped = 0
        for (i = 1; i < n; i++) {
          if (name == keys[i] || index(name, keys[i] "\\\\") == 1) skipped = 1
        }
      }
      /^#time=/ { next }
      !skipped { print }' "$WINEPREFIX/$hive"
  done
}

# capture_drive NAME: drive_state into NAME.drive.
capture_drive() {
  mkdir -p -- "$E2E_STATE"
  drive_state >"$E2E_STATE/$1.drive"
}

# capture NAME KEY...: the machine into NAME.drive, NAME.registry (hive_state
# KEY...) and NAME.settings (the settings key as stored, last-write time
# included). Stops Wine's server, which writes its files then, and starts it
# again.
capture() {
  local name=$1
  shift
  capture_drive "$name"
  wine_stop
  hive_state "$@" >"$E2E_STATE/$name.registry"
  settings_section >"$E2E_STATE/$name.settings"
  wine_start
}

# expect_same PART BEFORE AFTER WHAT: the captures BEFORE and AFTER agree on
# PART (drive, registry or settings).
expect_same() {
  if ! diff -u "$E2E_STATE/$2.$1" "$E2E_STATE/$3.$1" >"$E2E_STATE/diff"; then
    head -n 60 "$E2E_STATE/diff"
    fail "$4 changed the $1 ($2 -> $3)"
  fi
}

# expect_gone BEFORE AFTER WHAT PATH...: drive C: in AFTER is drive C: in
# BEFORE without the given entries ('C:\...', each there before) and what
# they held: nothing else went, nothing came, nothing changed size or mode.
expect_gone() {
  local before=$1 after=$2 what=$3 path
  shift 3
  for path in "$@"; do drive_rel "$path"; done >"$E2E_STATE/gone"
  awk -F'\t' 'NR == FNR { gone[$0] = 1; next } { seen[$1] = 1 } END {
      for (g in gone) if (!(g in seen)) { print g; status = 1 }
      exit status }' "$E2E_STATE/gone" "$E2E_STATE/$before.drive" >"$E2E_STATE/missing" ||
    fail "the test expects entries that were not there:"$'\n'"$(cat "$E2E_STATE/missing")"
  awk -F'\t' 'NR == FNR { gone[$0] = 1; next } {
      for (p = $1; p != "."; sub(/\/[^\/]*$/, "", p)) if (p in gone) next
      print }' "$E2E_STATE/gone" "$E2E_STATE/$before.drive" >"$E2E_STATE/$before.expected.drive"
  expect_same drive "$before.expected" "$after" "$what"
}

# outside_places NAME: NAME.drive without the program's places: the temporary
# folder's contents, the files named *.tmp directly in C:\windows and the
# folders (or links) named $* there with their contents.
outside_places() {
  TEMP_REL=$(drive_rel "$TEMP_PATH") awk -F'\t' '
    index($1, ENVIRON["TEMP_REL"] "/") == 1 { next }
    $1 ~ /^\.\/windows\/[^\/]*\.tmp$/ && $2 == "f" { next }
    $1 ~ /^\.\/windows\/\$[^\/]*$/ && ($2 == "d" || $2 == "l") { next }
    $1 ~ /^\.\/windows\/\$[^\/]*\// { next }
    { print }' "$E2E_STATE/$1.drive" >"$E2E_STATE/$1.outside.drive"
}

# expect_same_outside BEFORE AFTER WHAT: drive C: outside the program's places
# and the registry outside the settings key (and the keys the captures left
# out) are as they were.
expect_same_outside() {
  outside_places "$1"
  outside_places "$2"
  expect_same drive "$1.outside" "$2.outside" "$3"
  expect_same registry "$1" "$2" "$3"
}

# expect_captured NAME LINE...: the settings key in capture NAME holds exactly
# these values.
expect_captured() {
  local name=$1
  shift
  expect_values "$(cat "$E2E_STATE/$name.settings")" "$@"
}

# plant_settings LINE...: a settings key holding exactly these .reg value
# lines, whatever it held before (one import: the old key is deleted first).
plant_settings() {
  import_reg '[-HKEY_LOCAL_MACHINE\SOFTWARE\Brisca]' '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Brisca\Sweepwell]' "$@"
}

# run_traced WINDOWS_PATH [ARGS...]: run_program under Wine's relay trace; the
# file calls the program made are left in $E2E_STATE/calls, one a line:
# the function, a tab, the path (doubled backslashes made single).
run_traced() {
  local status=0 names pattern
  names='FindFirstFileA|GetFileAttributesA|SetFileAttributesA|DeleteFileA|RemoveDirectoryA'
  # 0024:Call KERNEL32.DeleteFileA(0021f1f0 "C:\\users\\x.txt") ret=140003083
  pattern="^[0-9a-f]+:Call KERNEL32\\.($names)\\([0-9a-f]+ \"(([^\"\\\\]|\\\\.)*)\".*\$"
  mkdir -p -- "$E2E_STATE"
  WINEDEBUG=+relay wine_in_prefix "$@" >/dev/null 2>"$E2E_STATE/relay.log" || status=$?
  echo "ran: $* (exit code $status, traced)"
  [[ $status -eq 0 ]] || fail "$1 exited with $status, not 0"
  sed -nE "s/$pattern/\\1\\t\\2/p" "$E2E_STATE/relay.log" | sed -E 's/\\\\/\\/g; s/\\+/\\/g' >"$E2E_STATE/calls"
  [[ -s $E2E_STATE/calls ]] || fail "the relay trace shows no file calls"
}

# traced_calls PATH: the traced calls naming PATH itself (any letter case).
traced_calls() {
  P=$1 awk -F'\t' 'tolower($2) == tolower(ENVIRON["P"])' "$E2E_STATE/calls"
}

# traced_calls_inside PATH: the traced calls naming a path inside PATH.
traced_calls_inside() {
  P="$1\\" awk -F'\t' 'index(tolower($2), tolower(ENVIRON["P"])) == 1' "$E2E_STATE/calls"
}

wine_start
install_program "$PROGRAM"
