#!/usr/bin/env bash
# A non-zero integer after the program's path passes the gate on a day that
# has already seen a run: ExecuteDate is written again (Limit is not).
source "$(dirname -- "$0")/e2e_lib.sh"

for force in 1 -1; do
  plant_same_day_sentinel 7
  run_sweepwell "$force"
  check_same_day
  expect_stored "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000007'
done
echo PASS
