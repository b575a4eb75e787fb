#!/usr/bin/env bash
# sweepwell-preview.exe changes nothing: over sample data in the Windows
# directory, the temporary folder and the installed-software list, drive C:
# and the registry are the same before and after it runs, with the settings
# key missing and with it present. It prints the key, the gate, the estimate
# and what a cleaning would delete, as text and as CSV, and refuses unknown
# options with exit code 2.
# Call: WINEPREFIX=SANDBOXED_PREFIX preview_test.sh PATH/TO/sweepwell-preview.exe
source "$(dirname -- "$0")/e2e_lib.sh"

PREVIEW='C:\Sweepwell\sweepwell-preview.exe'
install_program "$PREVIEW"
UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
UNINSTALL_FULL=${UNINSTALL/HKLM/HKEY_LOCAL_MACHINE}
GUID='{6F9619FF-8B86-D011-B42D-00C04FC964FF}'
drive_c=$WINEPREFIX/drive_c

# unix_path 'C:\dir\file': where that lies on the host.
unix_path() {
  local path=${1#[Cc]:}
  path=${path//\\//}
  echo "$drive_c${path%/}"
}
TEMP_DIR=$(wine_in_prefix cmd /c echo %TEMP% | tr -d '\r')
[[ $TEMP_DIR == [Cc]:\\* ]] || fail "no temporary folder: '$TEMP_DIR'"
windows_unix=$(unix_path 'C:\windows')
temp_unix=$(unix_path "$TEMP_DIR")

# The prefix is shared with the other tests: take the sample data away again.
remove_sample() {
  rm -rf -- "$windows_unix"/{setup01.tmp,locked.tmp,X.TMP} \
    "$windows_unix"/'$NtUninstallKB123456$' "$windows_unix"/'$NtUninstallKB654321$' \
    "$windows_unix"/'$hf_mig$' \
    "$temp_unix"/{install.log,cache,"$GUID","report, final.txt","empty folder"}
  wine_reg delete "$UNINSTALL\\KB123456" /f >/dev/null 2>&1 || true
}
trap remove_sample EXIT

# Sparse files: the estimate counts their sizes, the disk holds nothing.
sized() { mkdir -p -- "$(dirname -- "$1")" && truncate -s "$2" -- "$1"; }

remove_sample
sized "$windows_unix/setup01.tmp" 3M
sized "$windows_unix/locked.tmp" 700K
chmod a-w -- "$windows_unix/locked.tmp"  # FILE_ATTRIBUTE_READONLY under Wine
sized "$windows_unix/X.TMP" 2M           # not matched by "*.tmp"
sized "$temp_unix/install.log" 120K
sized "$temp_unix/cache/page1.bin" 2M
sized "$temp_unix/$GUID/session.dat" 3M
sized "$temp_unix/report, final.txt" 10K
mkdir -p -- "$temp_unix/empty folder"
sized "$windows_unix/\$NtUninstallKB123456\$/spuninst/spuninst.exe" 4M
sized "$windows_unix/\$NtUninstallKB654321\$/update.exe" 1M
sized "$windows_unix/\$hf_mig\$/readme.txt" 2K
wine_reg add "$UNINSTALL\\KB123456" /v DisplayName /d 'Hotfix KB123456' /f >/dev/null ||
  fail "could not add the uninstall entry"

# machine_state: every entry of drive C: (type, size, mode, modification
# time), the relevant keys as `reg query` shows them, their sections of
# Wine's system.reg with their last-write times, and the whole registry's
# keys and values (Wine itself refreshes last-write times at each start, so
# those are left out there).
machine_state() {
  (cd -- "$drive_c" && find . -printf '%p %y %s %m %T@\n' | LC_ALL=C sort)
  echo "== reg query"
  wine_reg query "$SETTINGS_KEY" /s || true
  wine_reg query "$UNINSTALL" /s || true
  wine_stop
  echo "== system.reg sections"
  awk '/^\[/ { show = index($0, "[Software\\\\Brisca") == 1 ||
                      index($0, "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall") == 1 }
       show { print }' "$WINEPREFIX/system.reg"
  for hive in system.reg user.reg userdef.reg; do
    echo "== $hive"
    sed -E 's/^(\[.*\]) [0-9]+$/\1/; /^#time=/d' "$WINEPREFIX/$hive"
  done
  wine_start
}

# preview ARGS...: runs the preview; its output (carriage returns dropped) in
# OUT and ERR, its exit code in STATUS.
preview() {
  STATUS=0
  wine_in_prefix "$PREVIEW" "$@" >"$WINEPREFIX/preview.out" 2>"$WINEPREFIX/preview.err" ||
    STATUS=$?
  OUT=$(tr -d '\r' <"$WINEPREFIX/preview.out")
  ERR=$(tr -d '\r' <"$WINEPREFIX/preview.err")
  echo "ran: $PREVIEW $* (exit code $STATUS)"
}

expect_line() {
  grep -qxF -- "$2" <<<"$1" || fail "no line '$2' in:"$'\n'"$1"
}

# expect_unchanged_machine BEFORE WHAT
expect_unchanged_machine() {
  local after
  after=$(machine_state)
  if [[ $after != "$1" ]]; then
    diff <(echo "$1") <(echo "$after") | head -40
    fail "$2 changed the machine"
  fi
}

tmp_lines() {
  expect_line "$1" "  delete  file    C:\\windows\\setup01.tmp  (3145728 bytes)"
  expect_line "$1" "  delete  file    C:\\windows\\locked.tmp  (716800 bytes)"
  expect_line "$1" "        3772 KB  *.tmp files directly in C:\\windows (3862528 bytes)"
  expect_line "$1" "  delete  folder  $TEMP_DIR\\cache  (2097152 bytes)"
  expect_line "$1" "  keep    folder  $TEMP_DIR\\$GUID  (GUID-shaped name)"
  expect_line "$1" "        4096 KB    C:\\windows\\\$NtUninstallKB123456\$ (4194304 bytes)"
  expect_line "$1" "                  and the uninstall entry $UNINSTALL\\KB123456: it exists"
  expect_line "$1" "                  and the uninstall entry $UNINSTALL\\KB654321: it does not exist"
  expect_line "$1" "                  no uninstall entry: the name holds no KB number"
  if grep -qF 'X.TMP' <<<"$1"; then fail "X.TMP is not a *.tmp file"; fi
}

# 1. No settings key: a first start would pass the gate; the key stays missing.
reset_settings
before=$(machine_state)
preview
[[ $STATUS -eq 0 ]] || fail "the preview exited with $STATUS:"$'\n'"$ERR"
expect_line "$OUT" "  the key does not exist"
expect_line "$OUT" "Today is $(today). A start without an argument would pass the gate as a first start, making the key with today's date and Limit 20."
expect_line "$OUT" "Threshold: Limit 20 MB = 20480 KB. The estimate is below it: a pass would delete nothing."
expect_line "$OUT" "So a start today without an argument would pass the gate and delete nothing."
tmp_lines "$OUT"
preview --csv
[[ $STATUS -eq 0 ]] || fail "the preview --csv exited with $STATUS:"$'\n'"$ERR"
[[ $(head -n1 <<<"$OUT") == 'step,action,type,bytes,path,uninstall_key,uninstall_key_exists' ]] ||
  fail "no CSV header first:"$'\n'"$OUT"
expect_line "$OUT" "tmp-file,delete,file,716800,C:\\windows\\locked.tmp,,"
expect_line "$OUT" "temp-entry,delete,file,10240,\"$TEMP_DIR\\report, final.txt\",,"
expect_line "$OUT" "temp-entry,keep,folder,0,$TEMP_DIR\\$GUID,,"
expect_line "$OUT" "hotfix-folder,delete,folder,4194304,C:\\windows\\\$NtUninstallKB123456\$,$UNINSTALL\\KB123456,yes"
expect_line "$OUT" "hotfix-folder,delete,folder,1048576,C:\\windows\\\$NtUninstallKB654321\$,$UNINSTALL\\KB654321,no"
preview --bogus
[[ $STATUS -eq 2 ]] || fail "an unknown option gave exit code $STATUS, not 2"
[[ -z $OUT ]] || fail "an unknown option printed a report:"$'\n'"$OUT"
expect_line "$ERR" "sweepwell-preview: unknown option '--bogus'"
check_same_day
expect_unchanged_machine "$before" "the preview (no settings key)"
wine_reg query "$SETTINGS_KEY" >/dev/null 2>&1 && fail "the preview made the settings key"

# 2. Today's date stored, Limit 1: a start would end at the gate, and the
# estimate reaches the threshold.
reset_settings
import_settings "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000001'
before=$(machine_state)
preview
[[ $STATUS -eq 0 ]] || fail "the preview exited with $STATUS:"$'\n'"$ERR"
expect_line "$OUT" "  ExecuteDate  \"$(today)\""
expect_line "$OUT" "  Limit        1 MB"
expect_line "$OUT" "Today is $(today). A start without an argument would end at the gate: a run already happened today. A start with a non-zero argument (sweepwell.exe 1) would pass it."
expect_line "$OUT" "Threshold: Limit 1 MB = 1024 KB. The estimate reaches it: a pass would clean."
expect_line "$OUT" "So a start today without an argument would end at the gate and delete nothing."
tmp_lines "$OUT"
check_same_day
expect_unchanged_machine "$before" "the preview (today's date stored)"
[[ -n $(grep -F "$UNINSTALL_FULL\\KB123456" <<<"$before") ]] ||
  fail "the uninstall entry was not in the machine's state"
echo PASS
