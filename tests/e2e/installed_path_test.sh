#!/usr/bin/env bash
# Installed where the path holds blanks, the program still finds its forcing
# argument after the quoted path, and a digit inside the path forces nothing.
source "$(dirname -- "$0")/e2e_lib.sh"

installed='C:\Program Files\Sweepwell\sweepwell.exe'
install_program "$installed"
plant_same_day_sentinel
run_program "$installed" 1
check_same_day
expect_stored "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000014'

tools='C:\Tools 2\sweepwell.exe'
install_program "$tools"
plant_same_day_sentinel
run_program "$tools"
check_same_day
expect_unchanged "$PLANTED" "a start from '$tools' without arguments"
echo PASS
