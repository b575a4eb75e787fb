#!/usr/bin/env bash
# The first start on a machine makes the settings key with today's date and
# the default threshold, and exits with 0.
source "$(dirname -- "$0")/e2e_lib.sh"

reset_settings
run_sweepwell
check_same_day

expect_query_has "^ +ExecuteDate +REG_SZ +$(today)\$"
expect_query_has '^ +Limit +REG_DWORD +0x14$'
# As stored: the date and nothing after it (stray bytes would show as \0...),
# the threshold as a DWORD.
expect_stored "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000014'
echo PASS
