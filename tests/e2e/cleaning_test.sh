#!/usr/bin/env bash
# The whole job, seen from outside: a first start on the sample machine (past
# the 20 MB default) deletes the *.tmp files directly in C:\windows (the
# read-only one too), empties the temporary folder except its GUID-shaped
# folders at the top and a file in use, removes the hotfix backup folders and
# the uninstall entry of KB123456, and changes nothing else on drive C: or in
# the registry. A second start the same day touches nothing, and neither does
# a forced start with a Limit above the estimate.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

find_places
empty_temp_folder
make_sample_machine "$WINDOWS_DIR" "$TEMP_DIR" || fail "could not make the sample machine"
# Names a loose reading of "*.tmp" or of the guards would take.
sample_sized "$WINDOWS_DIR/y.tmp/inside.txt" 1K   # a folder
sample_sized "$WINDOWS_DIR/update.tmpx" 1K        # Wine's own matching takes it by its short name
sample_sized "$WINDOWS_DIR/SampleApp/cache.tmp" 1M # not directly in C:\windows
sample_sized "$TEMP_DIR/$SAMPLE_GUID/logs/setup.log" 1K
sample_reg add "$SAMPLE_UNINSTALL\\KB999999" /v DisplayName /d 'Hotfix without a folder' /f ||
  fail "could not add an uninstall entry"
# A file in use ends the walk of its folder: aa.txt goes, zz.txt stays.
sample_sized "$TEMP_DIR/busy/aa.txt" 1K
sample_sized "$TEMP_DIR/busy/held.log" 1K
sample_sized "$TEMP_DIR/busy/zz.txt" 1K

# hold_file WINDOWS_PATH: a Windows process keeps the file open without
# FILE_SHARE_DELETE for about four seconds (cmd's input redirection does;
# its output redirection would allow the delete), in HOLDER. The path may
# hold no blanks.
held_by_someone() {
  [[ -n $(find /proc/[0-9]*/fd -lname "$(realpath -- "$(host_path "$1")")" 2>/dev/null) ]]
}
hold_file() {
  (cd -- "$WINEPREFIX/drive_c" &&
    exec "$WINE" cmd /c "ping -n 5 127.0.0.1 >nul <$1" </dev/null >/dev/null 2>&1) &
  HOLDER=$!
  local tries
  for ((tries = 0; tries < 100; tries++)); do
    held_by_someone "$1" && return
    sleep 0.1
  done
  fail "no Windows process took hold of $1"
}

held="$TEMP_PATH\\busy\\held.log"
reset_settings
capture before 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB123456'
hold_file "$held"
run_sweepwell
held_by_someone "$held" ||
  fail "$held was let go before the run ended: the in-use case proves nothing"
wait "$HOLDER" || true
check_same_day
capture first 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB123456'

expect_gone before first "the first start" \
  'C:\windows\setup01.tmp' 'C:\windows\msi4a2f.tmp' 'C:\windows\locked.tmp' \
  "$TEMP_PATH\\install.log" "$TEMP_PATH\\~DF3A21.tmp" "$TEMP_PATH\\cache" \
  "$TEMP_PATH\\empty folder" "$TEMP_PATH\\busy\\aa.txt" \
  'C:\windows\$NtUninstallKB123456$' 'C:\windows\$hf_mig$'
# Spelled out, though expect_gone has said it: these are what the pass spares.
for kept in 'C:\windows\X.TMP' 'C:\windows\y.tmp\inside.txt' 'C:\windows\update.tmpx' \
  'C:\windows\SampleApp\cache.tmp' 'C:\windows\notes.txt' "$TEMP_PATH\\$SAMPLE_GUID\\session.dat" \
  "$TEMP_PATH\\$SAMPLE_GUID\\logs\\setup.log" "$TEMP_PATH\\busy\\held.log" \
  "$TEMP_PATH\\busy\\zz.txt"; do
  [[ -f $(host_path "$kept") ]] || fail "$kept is gone"
done
[[ -d $TEMP_DIR ]] || fail "the temporary folder itself is gone"

wine_reg query "$SAMPLE_UNINSTALL\\KB123456" >/dev/null &&
  fail "the uninstall entry KB123456 is still there"
for key in KB999999 ExampleEditor; do
  wine_reg query "$SAMPLE_UNINSTALL\\$key" >/dev/null || fail "the uninstall entry $key is gone"
done
expect_same registry before first "the first start"
expect_captured first "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000014'
expect_query_has "^ +ExecuteDate +REG_SZ +$(today)\$"

# The same day again, with more than 20 MB waiting to be cleaned: the gate
# ends the start before anything is looked at.
sample_sized "$TEMP_DIR/after.txt" 1K
sample_sized "$TEMP_DIR/new folder/big.bin" 30M
sample_sized "$WINDOWS_DIR/late.tmp" 1M
capture_drive second_before
run_sweepwell
check_same_day
capture second 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB123456'
expect_same drive second_before second "a second start the same day"
expect_same registry first second "a second start the same day"
expect_same settings first second "a second start the same day"

# Forced, with a Limit of 100000 MB: the gate lets the run go on (ExecuteDate
# is written again, dropping the hidden bytes) and the estimate stays below.
limit='"Limit"=dword:000186a0'
plant_settings "\"ExecuteDate\"=hex(1):$(utf16_hex "$(today)\\0sentinel")" "$limit"
capture_drive forced_before
run_sweepwell 1
check_same_day
capture forced 'SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KB123456'
expect_captured forced "\"ExecuteDate\"=\"$(today)\"" "$limit"
expect_same drive forced_before forced "a forced start with Limit 100000"
expect_same registry second forced "a forced start with Limit 100000"
echo PASS
