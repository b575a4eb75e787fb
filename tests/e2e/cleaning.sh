# shellcheck shell=bash
# The whole job on the sample machine (run by tests/e2e/scenario.sh).

# held WINDOWS_PATH: a process has the file open.
held() { [[ -n $(find /proc/[0-9]*/fd -lname "$(realpath -- "$(wine_path "$1")")" 2>/dev/null) ]]; }

# A first start past the 20 MB default deletes the *.tmp files directly in
# C:\windows (the read-only one too), empties the temporary folder but for its
# GUID-shaped folders at the top and a file in use (which ends the walk of its
# folder), removes the hotfix backup folders and the uninstall entry of
# KB123456 (not KB987654's: a folder without its closing "$" names no entry),
# and changes nothing else. A second start the same day touches nothing, and
# neither does a forced start with a Limit above the estimate.
cleaning() {
  local t=$TEMP_PATH busy="$TEMP_PATH\\busy\\held.log"
  make_sample_machine "$WINDOWS_DIR" "$TEMP_DIR" || fail "could not make the sample machine"
  # Names a loose reading of "*.tmp" or of the guards would take: a folder, a
  # name Wine's own matching takes by its short name, one deeper down.
  for f in "$WINDOWS_DIR"/{y.tmp/inside.txt,update.tmpx,SampleApp/cache.tmp} \
    "$TEMP_DIR/$SAMPLE_GUID/logs/setup.log" "$TEMP_DIR"/busy/{aa.txt,held.log,zz.txt} \
    "$WINDOWS_DIR/\$NtUninstallKB9876543/update.exe"; do sample_sized "$f" 1K; done
  import_reg "[HKEY_LOCAL_MACHINE\\$UNINSTALL\\KB999999]" '"DisplayName"="Hotfix without a folder"' \
    "[HKEY_LOCAL_MACHINE\\$UNINSTALL\\KB987654]" '"DisplayName"="Another hotfix"'
  capture before "$UNINSTALL\\KB123456"
  # A Windows process holds the file without FILE_SHARE_DELETE (as cmd's input
  # redirection does) until the capture after the run stops Wine.
  wine_run cmd /c "ping -n 60 127.0.0.1 >nul <$busy" &>/dev/null &
  for _ in {1..600}; do held "$busy" && break || sleep 0.1; done
  held "$busy" || fail "no Windows process took hold of $busy"
  sweep
  held "$busy" || fail "$busy was let go before the run ended: the case proves nothing"
  capture after "$UNINSTALL\\KB123456"
  wait
  expect_gone before after "the first start" 'C:\windows\setup01.tmp' 'C:\windows\msi4a2f.tmp' \
    'C:\windows\locked.tmp' "$t\\install.log" "$t\\~DF3A21.tmp" "$t\\cache" "$t\\empty folder" \
    "$t\\busy\\aa.txt" 'C:\windows\$NtUninstallKB123456$' 'C:\windows\$hf_mig$' \
    'C:\windows\$NtUninstallKB9876543'
  ! wine_reg query "$SAMPLE_UNINSTALL\\KB123456" || fail "the entry KB123456 is still there"
  expect_same registry before after "the first start"
  expect_settings after "$DATE" "$L20"

  # The same day with more than 20 MB waiting: the gate ends the start first.
  sample_sized "$TEMP_DIR/new folder/big.bin" 30M
  sample_sized "$WINDOWS_DIR/late.tmp" 1M
  idle_start "a second start" "drive registry settings"

  # Forced, with Limit 100000 MB: ExecuteDate is written again (dropping the
  # hidden bytes) and the estimate stays below it.
  settings "\"ExecuteDate\"=hex(1):$(utf16_hex "$(today)\\0sentinel")" '"Limit"=dword:000186a0'
  idle_start "a forced start" "drive registry" 1
  expect_settings after "$DATE" '"Limit"=dword:000186a0'
}

# An administrator's controls: KeepDays 7 keeps what was touched in the last
# week (Wine reports the earlier of a file's change and modification times as
# its creation time, so a modification time set 30 days back makes a file
# old); SkipUndeletable 1 goes on past a file in use; the record tells what
# the run did, read back as an inventory tool would.
administered() {
  local t=$TEMP_PATH busy="$TEMP_PATH\\busy\\a-held.log" f
  for f in old.txt:2K new.txt:64K busy/a-held.log:1K busy/z-after.txt:4K; do
    sample_sized "$TEMP_DIR/${f%:*}" "${f#*:}"
  done
  sample_sized "$WINDOWS_DIR/old.tmp" 8K && sample_sized "$WINDOWS_DIR/new.tmp" 16K
  touch -d '30 days ago' "$TEMP_DIR"/{old.txt,busy/a-held.log,busy/z-after.txt} "$WINDOWS_DIR/old.tmp"
  settings '"ExecuteDate"="2001/1/1"' "$L0" '"KeepDays"=dword:00000007' '"SkipUndeletable"=dword:00000001'
  capture before
  wine_run cmd /c "ping -n 60 127.0.0.1 >nul <$busy" &>/dev/null &
  for _ in {1..600}; do held "$busy" && break || sleep 0.1; done
  held "$busy" || fail "no Windows process took hold of $busy"
  sweep
  held "$busy" || fail "$busy was let go before the run ended: the case proves nothing"
  capture after
  wait
  expect_gone before after "a start with KeepDays 7 and SkipUndeletable 1" "$t\\old.txt" \
    "$t\\busy\\z-after.txt" 'C:\windows\old.tmp'
  # 2 + 1 + 4 + 8 KB were old enough; the 1 KB in use stayed.
  local record
  record=$(wine_run reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW" | tr -d '\r')
  grep -qE "LastEstimateKB +REG_DWORD +0xf$" <<<"$record" &&
    grep -qE "LastFreedKB +REG_DWORD +0xe$" <<<"$record" &&
    grep -qE "LastCleaned +REG_SZ +$(date +%Y-%m-%d)T[0-9]{2}:[0-9]{2}:[0-9]{2}$" <<<"$record" ||
    fail "the record is not that of this run:"$'\n'"$record"
}
