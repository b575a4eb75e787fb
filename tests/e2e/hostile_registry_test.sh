#!/usr/bin/env bash
# Settings values of the wrong type or size. Limit: a value of up to four
# bytes, of any type, fills the low-order bytes of a number that starts at 0;
# a longer one counts as missing (20 MB); Limit is never rewritten.
# ExecuteDate: only a REG_SZ read (at most 200 bytes) as today's text and a
# zero is today; anything else is another day, and the gate writes today's
# REG_SZ over it. Each start exits with 0 and changes nothing but the
# settings key and what a pass deletes.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

find_places
empty_temp_folder
capture start
previous=start

# put_sample SIZE: what a pass would delete, SIZE of it in the temporary folder.
put_sample() {
  sample_sized "$TEMP_DIR/sample/data.bin" "$1"
  sample_sized "$WINDOWS_DIR/sample.tmp" 1K
}

# check_drive NAME CLEANS WHAT: drive C: in capture NAME is that of
# NAME.before without the sample (CLEANS true) or as it was (false).
check_drive() {
  if $2; then
    expect_gone "$1.before" "$1" "$3" "$TEMP_PATH\\sample" 'C:\windows\sample.tmp'
  else
    expect_same drive "$1.before" "$1" "$3"
  fi
}

# limit_case NAME LINE TYPE SAMPLE_SIZE CLEANS: Limit stored as LINE (of TYPE
# as reg shows it) and a day that has not seen a run; the pass cleans or not,
# ExecuteDate becomes today's and Limit keeps its type. (The key as stored is
# checked for the last case, with the rest of the registry.)
limit_case() {
  local name=$1 line=$2 type=$3 size=$4 cleans=$5
  echo "-- Limit: $name"
  plant_settings '"ExecuteDate"="2001/1/1"' "$line"
  expect_query_has "^ +Limit +$type( |\$)"
  put_sample "$size"
  capture_drive "$name.before"
  run_sweepwell
  check_same_day
  capture_drive "$name"
  check_drive "$name" "$cleans" "a start with Limit $name"
  expect_query_has "^ +ExecuteDate +REG_SZ +$(today)\$" "^ +Limit +$type( |\$)"
  LAST_LIMIT=$line
}

# 25 MB reaches the 20 MB default but not 49 MB; 512 KB reaches only 0.
limit_case 'REG_SZ "100000"' '"Limit"="100000"' REG_SZ 25M true   # 7 bytes: the default
limit_case 'REG_SZ "1"' '"Limit"="1"' REG_SZ 25M false            # "1" and a zero: 0x31, 49 MB
limit_case 'REG_QWORD 100000' '"Limit"=hex(b):a0,86,01,00,00,00,00,00' REG_QWORD 25M true
limit_case 'REG_DWORD of 0 bytes' '"Limit"=hex(4):' REG_DWORD 512K true
limit_case 'REG_BINARY of 0 bytes' '"Limit"=hex:' REG_BINARY 512K true
capture limits
expect_same registry start limits "the starts with odd Limit values"
expect_captured limits "\"ExecuteDate\"=\"$(today)\"" "$LAST_LIMIT"
previous=limits

# date_case NAME LINE TYPE STORED_AFTER: ExecuteDate stored as LINE (of TYPE
# as reg shows it), Limit 0, no argument. STORED_AFTER is ExecuteDate as it
# must be stored afterwards: today's text when the gate lets the run go on,
# and then the pass cleans; otherwise LINE as Wine's file shows it. A REG_SZ
# keeps bytes after a zero that only Wine's file shows, so the key is read
# there; a rewrite of another type shows in `reg query`.
date_case() {
  local name=$1 line=$2 type=$3 stored=$4 cleans=false
  echo "-- ExecuteDate: $name"
  plant_settings "$line" '"Limit"=dword:00000000'
  expect_query_has "^ +ExecuteDate +$type( |\$)"
  [[ -n ${RAW_DATE-} ]] && store_raw_date "$RAW_DATE"
  put_sample 1K
  capture_drive "$name.before"
  run_sweepwell
  check_same_day
  [[ $stored == "$today_line" ]] && cleans=true
  if [[ $type == REG_SZ ]]; then
    capture "$name"
    expect_same registry "$previous" "$name" "a start with ExecuteDate $name"
    expect_captured "$name" "$stored" '"Limit"=dword:00000000'
    previous=$name
  else
    capture_drive "$name"
    expect_query_has "^ +ExecuteDate +REG_SZ +$(today)\$" '^ +Limit +REG_DWORD +0x0$'
  fi
  check_drive "$name" "$cleans" "a start with ExecuteDate $name"
}

# store_raw_date HEX: ExecuteDate becomes hex(1) data exactly as given, which
# reg import cannot do (it ends a string with a zero): written into Wine's
# file while its server is stopped.
store_raw_date() {
  local file=$WINEPREFIX/system.reg
  wine_stop
  SECTION=$SETTINGS_SECTION DATA=$1 awk '
    index($0, ENVIRON["SECTION"] " ") == 1 { found = 1 }
    found && $0 == "" { found = 0 }
    found && /^"ExecuteDate"=/ { $0 = "\"ExecuteDate\"=hex(1):" ENVIRON["DATA"] }
    { print }' "$file" >"$file.new"
  mv -- "$file.new" "$file"
  settings_section | grep -qxF "\"ExecuteDate\"=hex(1):$1" ||
    fail "could not store ExecuteDate as hex(1):$1"
  wine_start
}

today_line="\"ExecuteDate\"=\"$(today)\""
# padded BYTES: today's text, a zero and as many x as make BYTES bytes with
# the terminating zero: the program's read sees today's date either way.
padded() { printf '%s\\0%s' "$(today)" "$(printf "%$(($1 - ${#E2E_DAY} - 2))s" '' | tr ' ' x)"; }

date_case 'REG_DWORD' '"ExecuteDate"=dword:07e40101' REG_DWORD "$today_line"
date_case 'REG_EXPAND_SZ of today' "\"ExecuteDate\"=hex(2):$(utf16_hex "$(today)")" REG_EXPAND_SZ \
  "$today_line"
date_case '200 bytes' "\"ExecuteDate\"=hex(1):$(utf16_hex "$(padded 200)")" REG_SZ \
  "\"ExecuteDate\"=\"$(padded 200)\""
date_case '201 bytes' "\"ExecuteDate\"=hex(1):$(utf16_hex "$(padded 201)")" REG_SZ "$today_line"
date_case '300 bytes' "\"ExecuteDate\"=hex(1):$(utf16_hex "$(padded 300)")" REG_SZ "$today_line"
RAW_DATE=$(utf16_hex "$(today)" | sed 's/,00,00$//') \
  date_case 'without a terminating zero' "$today_line" REG_SZ "$today_line"
echo PASS
