#!/usr/bin/env bash
# On a day other than the stored one the gate passes without a forcing
# argument: ExecuteDate becomes today's text, Limit is neither rewritten nor
# recreated.
source "$(dirname -- "$0")/e2e_lib.sh"

year=$(date +%Y) month=$(date +%-m) day=$(date +%-d)
# A later stored date, as after the clock was set back, is another day too.
stored_dates=("$((year - 1))/$month/$day" "$((year + 1))/$month/$day")
# So is the same day written with leading zeros.
padded=$(printf '%d/%02d/%02d' "$year" "$month" "$day")
[[ $padded != "$(today)" ]] && stored_dates+=("$padded")

for stored in "${stored_dates[@]}"; do
  reset_settings
  import_settings "\"ExecuteDate\"=\"$stored\"" '"Limit"=dword:00000007'
  run_sweepwell
  check_same_day
  expect_stored "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000007'
done

# A key without Limit: the default is used and not written back.
reset_settings
import_settings '"ExecuteDate"="2001/1/1"'
run_sweepwell
check_same_day
expect_stored "\"ExecuteDate\"=\"$(today)\""
echo PASS
