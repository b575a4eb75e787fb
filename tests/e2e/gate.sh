# shellcheck shell=bash
# Scenarios of the daily gate, seen in the settings key as stored
# (run by tests/e2e/scenario.sh).

# The first start makes the key with today's date and the default threshold.
first_start() { sweep; stored "$DATE" "$L20"; }

# Without a forcing argument a start on a day that has seen a run ends at the
# gate: arguments that are not a non-zero integer force nothing. Today's date
# stored as REG_EXPAND_SZ is today's all the same.
same_day() {
  sentinel 7
  # shellcheck disable=SC2086 # each word is one argument
  for args in "" 0 abc +0 x1; do sweep $args; done
  stored "${PLANTED[@]}"
  settings "\"ExecuteDate\"=hex(2):$(utf16_hex "$(today)")" "$L0"
  idle_start "a start on today's date stored as REG_EXPAND_SZ" "drive registry settings"
}

# A non-zero integer passes the gate: ExecuteDate is written again, Limit is not.
forced_start() {
  for force in 1 -1; do sentinel 7; sweep "$force"; stored "$DATE" "$L7"; done
}

# Another stored date, even a later one (a clock set back) or today's with
# leading zeros, is a new day; a missing Limit is the default, not written.
new_day() {
  local y m d
  read -r y m d <<<"$(date '+%Y %-m %-d')"
  for date in "$((y - 1))/$m/$d" "$((y + 1))/$m/$d" "$(printf '%d/%02d/%02d' "$y" "$m" "$d")"; do
    [[ $date != "$(today)" ]] || continue
    settings "\"ExecuteDate\"=\"$date\"" "$L7"; sweep; stored "$DATE" "$L7"
  done
  settings '"ExecuteDate"="2001/1/1"'; sweep; stored "$DATE"
}

# Installed where the path holds blanks, the program finds its forcing argument
# after the quoted path, and a digit inside the path forces nothing.
installed_path() {
  install 'C:\Program Files\Sweepwell\sweepwell.exe' 'C:\Tools 2\sweepwell.exe'
  sentinel 20
  run 'C:\Program Files\Sweepwell\sweepwell.exe' 1
  stored "$DATE" "$L20"
  sentinel 20
  run 'C:\Tools 2\sweepwell.exe'
  stored "${PLANTED[@]}"
}

# Limit as `reg add` stores it by default, a REG_SZ, is the number its text
# holds: 0 makes a forced start clean a temporary folder far below 20 MB, and
# the value stays as typed.
text_limit() {
  sample_sized "$TEMP_DIR/small.log" 1K
  settings "$DATE"
  wine_reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /d 0 /f || fail "reg add failed"
  capture before
  sweep 1
  stored "$DATE" '"Limit"="0"'
  expect_gone before after "a forced start with Limit 0 as text" "$TEMP_PATH\\small.log"
}
