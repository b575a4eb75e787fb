# shellcheck shell=bash
# Hostile command lines, "$" entries, links, long paths, a temporary folder
# that must not be emptied and settings values (run by tests/e2e/scenario.sh).
# Every start exits with 0.

repeat() { printf "%${2}s" '' | sed "s/ /$1/g"; } # repeat TEXT COUNT

# start CLEANS WHAT COMMAND...: with a sample in the program's places, COMMAND
# (the program, or cmd /c with it) cleans exactly when CLEANS is true.
start() {
  local gone=("$TEMP_PATH\\sample" 'C:\windows\sample.tmp') && { $1 || gone=(); }
  sample_sized "$TEMP_DIR/sample/data.bin" "${SAMPLE_SIZE:-1K}" && sample_sized "$WINDOWS_DIR/sample.tmp" 1K && snap b
  run "${@:3}" 2>"$S/stderr" # cmd would say here why it did not start the program
  [[ ! -s $S/stderr ]] || fail "$2: $(cat "$S/stderr")"
  snap a && expect_gone b a "$2" "${gone[@]}"
}
# Command lines of 2,000 characters (1,000 through cmd), as Wine hands them
# over: only a non-zero integer after the program's path and any blanks forces
# a run; runs of digits too long for an int saturate rather than wrap to 0;
# leading zeros are digits; digits inside the path force nothing. (The parse's other rules are pinned by
# the unit tests of the command line.)
hostile_command_line() {
  local n blanks deep
  # A deep install folder with blanks and digits: about half the line.
  deep="C:$(for level in {1..10}; do echo -n "\\Program Files $level $(repeat x 80)"; done)\\sweepwell.exe"
  install "$deep"
  capture before
  settings "$DATE" "$L0"
  n=$((2000 - ${#PROGRAM} - 3)) # Wine quotes the path
  start true "$((n - 1)) zeros and 1" "$PROGRAM" "$(repeat 0 $((n - 1)))1"
  start true "1 and $((n - 1)) zeros" "$PROGRAM" "1$(repeat 0 $((n - 1)))"
  # Wine's cmd refuses lines of more than about 1,020 characters.
  blanks=$((1000 - ${#PROGRAM} - 1))
  start true "$blanks blanks and 1, through cmd" cmd /c "$PROGRAM$(repeat ' ' $blanks)1"
  start false "$blanks blanks and 0, through cmd" cmd /c "$PROGRAM$(repeat ' ' $blanks)0"
  n=$((2000 - ${#deep} - 3))
  start true "a path of ${#deep} characters and 1" "$deep" "1$(repeat x $((n - 1)))"
  start false "a path of ${#deep} characters and letters" "$deep" "$(repeat x $n)"
  stored "$DATE" "$L0"
  expect_same registry before after "the long command lines"
}

# "$" entries in C:\windows that are not hotfix backups: files stay whatever
# their names; folders without a KB number, or too short a one, go and touch
# no uninstall entry, not even K or KB; an entry holding subkeys survives its
# folder, as RegDeleteKeyA leaves it.
hostile_dollar() {
  for f in '$NtUninstallKB555555$' '$dollar.txt' '$WinTemp$/a.txt' '$WinTemp$/sub/b.txt' \
    '$KB$/c.txt' '$/d.txt' '$NtUninstallKB246810$/e.txt'; do
    sample_sized "$WINDOWS_DIR/$f" 1K
  done
  import_reg "[HKEY_LOCAL_MACHINE\\$UNINSTALL\\"{KB555555,KB,K,KB246810\\Updates}"]"
  pass "a start over \$ entries" 'C:\windows\$WinTemp$' 'C:\windows\$KB$' 'C:\windows\$' \
    'C:\windows\$NtUninstallKB246810$'
}

# Names the ANSI code page best-fits to others, directly in C:\windows: the
# folder "$a＼..＼..＼users" (full-width reverse solidi), listed as
# "$a\..\..\users", goes itself and never C:\users; "$NtUninstallKB1＄"
# (a full-width dollar), listed as "$NtUninstallKB1$", goes and costs no
# uninstall entry; "ｘ.tmp", listed as "x.tmp", goes itself, and "X.TMP",
# which the case-sensitive search keeps, stays.
hostile_best_fit() {
  local up=$'\xef\xbc\xbc..' dollar=$'\xef\xbc\x84' x=$'\xef\xbd\x98'
  for f in "\$a$up$up${up%..}users/f.txt" "\$NtUninstallKB1$dollar/f.txt" "$x.tmp" X.TMP; do
    sample_sized "$WINDOWS_DIR/$f" 1K
  done
  sample_sized "$(wine_path 'C:\users\Public\kept.txt')" 1K
  import_reg "[HKEY_LOCAL_MACHINE\\$UNINSTALL\\KB1]"
  pass "a start over best-fit names" "C:\\windows\\\$a$up$up${up%..}users" \
    "C:\\windows\\\$NtUninstallKB1$dollar" "C:\\windows\\$x.tmp"
  wine_reg query "$SAMPLE_UNINSTALL\\KB1" || fail "the entry KB1 is gone"
}

# Unix symbolic links to a folder list as links under Wine (0x410), though
# Win32 cannot make one there. The estimate does not count what lies behind a
# link and the pass never enters one: it opens each as itself to remove it.
# Wine opens such a link as its target, which then is not what the listing
# said, so the pass leaves the link alone there (Windows removes the link),
# and that ends the walk of its folder: the links here come last.
hostile_link() {
  local target t=$TEMP_PATH
  target=$(wine_path 'C:\LinkTarget') # in this prefix, never the host's
  for f in important.doc:1K big.bin:30M nested/deep.txt:1K; do sample_sized "$target/${f%:*}" "${f#*:}"; done
  # link WINDOWS_PATH...: relative links there to the target.
  link() { for at in "$@"; do mkdir -p -- "$(dirname -- "$(wine_path "$at")")" && ln -sr -- "$target" "$(wine_path "$at")"; done; }
  # A first start, 1 KB of its own and 30 MB behind a link: nothing goes.
  link "$t\\zz-outside"
  sample_sized "$TEMP_DIR/small.txt" 1K
  idle_start "a first start below the threshold" "drive registry"
  expect_settings after "$DATE" "$L20"

  # Limit 0, forced, over every kind of link: what is not behind a link goes.
  link "$t\\real\\zz-inside" 'C:\windows\$NtUninstallKB777777$' "$t\\$SAMPLE_GUID"
  sample_sized "$TEMP_DIR/real/x.txt" 1K
  import_reg "[HKEY_LOCAL_MACHINE\\$UNINSTALL\\"{KB777777,Other}"]"
  settings '"ExecuteDate"="2001/1/1"' "$L0"
  capture before "$UNINSTALL\\KB777777"
  sweep 1
  capture after "$UNINSTALL\\KB777777"
  expect_gone before after "a forced start over links" "$t\\small.txt" "$t\\real\\x.txt"
  expect_same registry before after "a forced start over links"
  ! wine_reg query "$SAMPLE_UNINSTALL\\KB777777" || fail "the entry KB777777 is still there"
  expect_settings after "$DATE" "$L0"
}

# Chains of folders far deeper than 260 characters go whole: the walks reach
# every entry through its folder's handle and build no path. A "$" folder
# goes with all it holds too.
hostile_long_path() {
  # deeper PATH LENGTH: PATH with folders below it, LENGTH characters in all.
  deeper() {
    local path=$1
    while (($2 - ${#path} > 101)); do path+="\\$(repeat d 60)"; done
    echo "$path\\$(repeat d $(($2 - ${#path} - 1)))"
  }
  local t=$TEMP_PATH
  for f in "$t\\top.txt" "$t\\flat\\a.txt" "$(deeper "$t\\chain" 255)\\abc" \
    "$(deeper "$t\\chain\\s" 420)\\deepest.txt" 'C:\windows\$deep$\shallow.txt' \
    "$(deeper 'C:\windows\$deep$' 300)\\deep.txt"; do
    sample_sized "$(wine_path "$f")" 1K
  done
  pass "a start over long paths" "$t\\top.txt" "$t\\flat" "$t\\chain" 'C:\windows\$deep$'
}

# TMP and TEMP set to the Windows directory, as a careless installer might:
# the pass refuses it as the temporary folder (it would empty C:\windows and
# system32) and does the rest of its job.
hostile_temp() {
  local var
  for var in TMP TEMP; do wine_reg add 'HKCU\Environment' /v "$var" /d 'C:\windows' /f; done
  [[ $(wine_run cmd /c echo %TEMP% | tr -d '\r') == 'C:\windows' ]] || fail "TEMP is not C:\windows"
  sample_sized "$WINDOWS_DIR/sample.tmp" 1K
  sample_sized "$WINDOWS_DIR/system32/sample.dat" 1K
  pass "a start with TMP and TEMP at C:\windows" 'C:\windows\sample.tmp'
}

# odd SIZE DATE LIMIT CLEANS [STORED_DATE]: the settings key holds the value
# lines DATE and LIMIT and SIZE waits in the temporary folder; a start cleans
# or not, and afterwards the key holds STORED_DATE (default today's) and LIMIT,
# and no other key changed.
odd() {
  local what="$2 $3" && settings "$2" "$3"
  SAMPLE_SIZE=$1 start "$4" "$what" "$PROGRAM"
  stored "${5:-$DATE}" "$3" && expect_same registry before after "$what"
}
# Limit: a REG_SZ or REG_EXPAND_SZ is the decimal number its text holds,
# blanks around it allowed, and anything else counts as missing (20 MB); up to
# four bytes of any other type fill the low-order bytes of a number that starts
# at 0, and more count as missing; Limit is never rewritten. ExecuteDate:
# whatever its type, a read (at most 200 bytes) of today's text and a zero is
# today; anything else is another day, and today's REG_SZ replaces it.
hostile_registry() {
  local old='"ExecuteDate"="2001/1/1"'
  # padded BYTES: today's text, a zero and x's, BYTES bytes with the last zero.
  padded() { printf '%s\\0%s' "$(today)" "$(repeat x $(($1 - ${#E2E_DAY} - 2)))"; }
  capture before
  # 25 MB reaches the 20 MB default and 24 MB; 512 KB only 0.
  odd 25M "$old" '"Limit"="100000"' false
  odd 25M "$old" '"Limit"=" 24 "' true
  odd 25M "$old" '"Limit"="4294967296"' true
  odd 25M "$old" '"Limit"=hex(b):a0,86,01,00,00,00,00,00' true
  odd 512K "$old" '"Limit"=hex(4):' true
  odd 1K '"ExecuteDate"=dword:07e40101' "$L0" true
  odd 1K "\"ExecuteDate\"=hex(2):$(utf16_hex "$(today)")" "$L0" false "\"ExecuteDate\"=str(2):\"$(today)\""
  odd 1K "\"ExecuteDate\"=hex(1):$(utf16_hex "$(padded 200)")" "$L0" false "\"ExecuteDate\"=\"$(padded 200)\""
  odd 1K "\"ExecuteDate\"=hex(1):$(utf16_hex "$(padded 201)")" "$L0" true
}
