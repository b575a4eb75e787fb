#!/usr/bin/env bash
# A start on a day that has already seen a run, without a forcing argument,
# ends at the gate: the settings key stays exactly as it was.
source "$(dirname -- "$0")/e2e_lib.sh"

reset_settings
run_sweepwell
before_query=$(wine_reg query "$SETTINGS_KEY" /s)
before=$(stored_settings)
run_sweepwell
check_same_day
[[ $(wine_reg query "$SETTINGS_KEY" /s) == "$before_query" ]] ||
  fail "reg query changed after a second start the same day"
expect_unchanged "$before" "a second start the same day"

# Today's date carrying hidden bytes that any rewrite would drop: arguments
# that are not a non-zero integer do not force a run.
plant_same_day_sentinel 7
for args in "" "0" "abc" "+0" "x1"; do
  # shellcheck disable=SC2086 # each word is one argument
  run_sweepwell $args
done
check_same_day
expect_unchanged "$PLANTED" "one of the starts without a forcing argument"
echo PASS
