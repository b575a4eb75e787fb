#!/usr/bin/env bash
# Chains of folders whose paths pass 260 characters, made from the host, in
# the temporary folder and in a hotfix backup folder. The pass names nothing
# of MAX_PATH (260) characters or more: a file whose path has 259 characters
# goes, one of 260 stays; a folder of 255 characters is listed ("\*.*" makes
# 259), one of 256 is not. So the deep part of each chain stays, with every
# folder above it, and nothing else changes.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

find_places
empty_temp_folder

# deeper PATH LENGTH: PATH ('C:\...') with folders added below it, exactly
# LENGTH characters long.
deeper() {
  local path=$1 rest name
  while ((${#path} < $2)); do
    rest=$(($2 - ${#path}))
    if ((rest <= 101)); then name=$((rest - 1)); else name=60; fi
    path+="\\$(printf "%${name}s" '' | tr ' ' 'd')"
  done
  ((${#path} == $2)) || fail "cannot make a path of $2 characters from $1"
  echo "$path"
}
# put_file WINDOWS_PATH: a small file there, its folders made.
put_file() { sample_sized "$(host_path "$1")" 1K; }

chain=$(deeper "$TEMP_PATH\\chain" 240)
full=$(deeper "$chain\\F" 255) # listed
over=$(deeper "$chain\\G" 256) # not listed
deepest=$(deeper "$full\\s" 420)\\deepest.txt
hotfix_deep=$(deeper 'C:\windows\$deep$' 300)\\deep.txt

put_file "$TEMP_PATH\\top.txt"
put_file "$TEMP_PATH\\flat\\a.txt"
put_file "$TEMP_PATH\\chain\\mid.txt"
put_file "$full\\abc"  # 259 characters
put_file "$full\\abcd" # 260
put_file "$over\\x"    # 258, in a folder that cannot be listed
put_file "$deepest"
put_file 'C:\windows\$deep$\shallow.txt'
put_file "$hotfix_deep"
echo "longest path: ${#deepest} characters"

plant_settings '"ExecuteDate"="2001/1/1"' '"Limit"=dword:00000000'
capture before
run_sweepwell
check_same_day
capture after

expect_gone before after "a start over long paths" \
  "$TEMP_PATH\\top.txt" "$TEMP_PATH\\flat" "$TEMP_PATH\\chain\\mid.txt" "$full\\abc" \
  'C:\windows\$deep$\shallow.txt'
for kept in "$full\\abcd" "$over\\x" "$deepest" "$hotfix_deep"; do
  [[ -f $(host_path "$kept") ]] || fail "a file of ${#kept} characters is gone"
done
expect_same registry before after "a start over long paths"
expect_captured after "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000000'
echo PASS
