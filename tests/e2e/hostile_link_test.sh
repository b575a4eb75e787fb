#!/usr/bin/env bash
# Links to a folder full of files elsewhere on drive C:, in the temporary
# folder (at its top, deeper down, and under a GUID-shaped name) and as a
# hotfix backup folder in C:\windows. Win32 cannot make a link under Wine, but
# a unix symbolic link to a folder lists as one (directory and reparse point,
# 0x410). The estimate does not count what lies behind a link, and the pass
# never enters one: it names each with RemoveDirectoryA alone (which on
# Windows removes the link itself; Wine applies it to the target, which it
# removes only when empty, so here the links stay). The files behind the
# links all survive, and nothing else outside the program's places changes.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

UNINSTALL_KEY='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
find_places
empty_temp_folder

# The target: a throwaway folder of this prefix, never anything of the host.
TARGET_PATH='C:\LinkTarget'
target=$(host_path "$TARGET_PATH")
sample_sized "$target/important.doc" 1K
sample_sized "$target/big.bin" 30M
sample_sized "$target/nested/deep.txt" 1K
# make_link WINDOWS_PATH: a unix symbolic link there to the target, relative so
# that it stays inside the prefix wherever the prefix lies.
make_link() {
  local at
  at=$(host_path "$1")
  mkdir -p -- "$(dirname -- "$at")"
  ln -s -- "$(realpath -m --relative-to="$(dirname -- "$at")" -- "$target")" "$at"
  [[ $(realpath -- "$at") == "$(realpath -- "$target")" ]] || fail "$at does not lead to the target"
}

# 1. A first start (Limit 20) with a link in the temporary folder to 30 MB
# and 1 KB of its own: the estimate does not follow the link, so nothing goes.
make_link "$TEMP_PATH\\outside"
sample_sized "$TEMP_DIR/small.txt" 1K
reset_settings
capture before
run_sweepwell
check_same_day
capture first
expect_same drive before first "a first start below the threshold"
expect_same registry before first "a first start below the threshold"
expect_captured first "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000014'

# 2. Limit 0, forced: the pass runs over every kind of link.
make_link "$TEMP_PATH\\real\\inside"
sample_sized "$TEMP_DIR/real/x.txt" 1K
make_link "$TEMP_PATH\\$SAMPLE_GUID"
make_link 'C:\windows\$NtUninstallKB777777$'
# An unrelated entry keeps the Uninstall key's section in Wine's file alike.
sample_reg add "$SAMPLE_UNINSTALL\\KB777777" /v DisplayName /d 'Hotfix KB777777' /f &&
  sample_reg add "$SAMPLE_UNINSTALL\\SomeProduct" /v DisplayName /d 'Some Product' /f ||
  fail "could not add the uninstall entries"
plant_settings '"ExecuteDate"="2001/1/1"' '"Limit"=dword:00000000'
capture forced_before "$UNINSTALL_KEY\\KB777777"
run_traced "$PROGRAM" 1
check_same_day
capture forced "$UNINSTALL_KEY\\KB777777"

links=("$TEMP_PATH\\outside" "$TEMP_PATH\\real\\inside" "$TEMP_PATH\\$SAMPLE_GUID"
  'C:\windows\$NtUninstallKB777777$')
for at in "${links[@]}"; do
  inside=$(traced_calls_inside "$at")
  [[ -z $inside ]] || fail "the program went through the link $at:"$'\n'"$inside"
done
# Each link is asked for its attributes at most and removed as a link.
for at in "$TEMP_PATH\\outside" "$TEMP_PATH\\real\\inside" 'C:\windows\$NtUninstallKB777777$'; do
  calls=$(traced_calls "$at")
  if ! grep -q '^RemoveDirectoryA' <<<"$calls" ||
    grep -qv -e '^RemoveDirectoryA' -e '^GetFileAttributesA' <<<"$calls"; then
    fail "the link $at was not removed as a link:"$'\n'"$calls"
  fi
done
calls=$(traced_calls "$TEMP_PATH\\$SAMPLE_GUID")
[[ -z $calls ]] || fail "the GUID-shaped link at the top was not left alone:"$'\n'"$calls"
# The pass did run: the plain entries around the links are gone.
[[ ! -e $TEMP_DIR/small.txt && ! -e $TEMP_DIR/real/x.txt ]] || fail "the pass did not run"
# What Wine did with each link, for the record.
for at in "${links[@]}"; do
  if [[ -L $(host_path "$at") ]]; then echo "still there: $at"; else echo "gone: $at"; fi
done

# The target lies outside the program's places: every file of it is there.
expect_same_outside forced_before forced "a forced start over links"
wine_reg query "$SAMPLE_UNINSTALL\\KB777777" >/dev/null &&
  fail "the uninstall entry of the linked hotfix folder is still there"
expect_captured forced "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000000'
echo PASS
