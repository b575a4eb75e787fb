#!/usr/bin/env bash
# "$" entries in C:\windows that are not hotfix backups: files keep their
# place whatever their names (even a hotfix folder's name) and name no
# uninstall entry; folders without a "KB" number, or with too short a one,
# are removed and no uninstall entry is touched, not even those named K or
# KB; an entry holding subkeys survives its folder, as RegDeleteKeyA leaves
# it. No registry key but the settings key changes.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

find_places
empty_temp_folder
for file in '$NtUninstallKB555555$' '$dollar.txt'; do
  sample_sized "$WINDOWS_DIR/$file" 1K
done
sample_sized "$WINDOWS_DIR/\$WinTemp\$/a.txt" 1K
sample_sized "$WINDOWS_DIR/\$WinTemp\$/sub/b.txt" 2M
sample_sized "$WINDOWS_DIR/\$KB\$/c.txt" 1K
sample_sized "$WINDOWS_DIR/\$/d.txt" 1K
sample_sized "$WINDOWS_DIR/\$NtUninstallKB246810\$/e.txt" 1K
for key in KB555555 KB K KB246810\\Updates; do
  sample_reg add "$SAMPLE_UNINSTALL\\$key" /v DisplayName /d "Entry $key" /f ||
    fail "could not add the uninstall entry $key"
done

plant_settings '"ExecuteDate"="2001/1/1"' '"Limit"=dword:00000000'
capture before
run_sweepwell
check_same_day
capture after

expect_gone before after "a start over \$ entries" \
  'C:\windows\$WinTemp$' 'C:\windows\$KB$' 'C:\windows\$' 'C:\windows\$NtUninstallKB246810$'
for file in '$NtUninstallKB555555$' '$dollar.txt'; do
  [[ -f $WINDOWS_DIR/$file ]] || fail "the file $file is gone"
done
for key in KB555555 KB K KB246810 KB246810\\Updates; do
  wine_reg query "$SAMPLE_UNINSTALL\\$key" >/dev/null || fail "the uninstall entry $key is gone"
done
expect_same registry before after "a start over \$ entries"
expect_captured after "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000000'
echo PASS
