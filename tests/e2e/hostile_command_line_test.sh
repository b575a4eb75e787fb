#!/usr/bin/env bash
# Command lines of 2,000 characters (1,000 through cmd), on a day that has
# seen a run, with Limit 0: a start the command line forces cleans (the
# sample file goes), any other ends at the gate (it stays). Only a non-zero
# integer after the program's path and any blanks forces: runs of digits too
# long for an int saturate rather than wrap to 0; leading zeros, letters and
# digits inside the path force nothing. Each start exits with 0 and changes
# nothing but the sample file.
source "$(dirname -- "$0")/e2e_lib.sh"
source "$(dirname -- "$0")/sample_machine.sh"

LENGTH=2000
find_places
empty_temp_folder
# repeat TEXT COUNT
repeat() { printf "%${2}s" '' | sed "s/ /$1/g"; }

# A deep install folder with blanks and digits in its names: its path, quoted
# on the command line, is about half of it.
deep='C:'
for level in 1 2 3 4 5 6 7 8 9 10; do deep+="\\Program Files $level $(repeat x 80)"; done
DEEP_PROGRAM=$deep\\sweepwell.exe
install_program "$DEEP_PROGRAM"

capture start
plant_settings "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000000'
runs=0

# start FORCES WHAT COMMAND...: runs COMMAND (the program, or cmd /c with it)
# over the sample file and checks that it cleaned exactly when FORCES is
# true. WHAT names the case.
start() {
  local forces=$1 what=$2 status=0
  shift 2
  sample_sized "$TEMP_DIR/sample.txt" 1K
  runs=$((runs + 1))
  capture_drive "run$runs.before"
  wine_in_prefix "$@" 2>"$E2E_STATE/stderr" || status=$?
  echo "ran: $what (exit code $status)"
  check_same_day
  [[ $status -eq 0 ]] || fail "$what: exit code $status, not 0"
  # The program writes nothing; cmd would say why it did not start it.
  [[ ! -s $E2E_STATE/stderr ]] || fail "$what: $(cat "$E2E_STATE/stderr")"
  capture_drive "run$runs"
  if $forces; then
    expect_gone "run$runs.before" "run$runs" "$what" "$TEMP_PATH\\sample.txt"
  else
    expect_same drive "run$runs.before" "run$runs" "$what"
  fi
}

# arg_for PROGRAM: the length an argument must have for a command line of
# LENGTH characters, "PROGRAM" ARG (Wine quotes the path).
arg_for() { echo $((LENGTH - ${#1} - 3)); }
n=$(arg_for "$PROGRAM")

start false "$n zeros" "$PROGRAM" "$(repeat 0 "$n")"
start false "$n letters" "$PROGRAM" "$(repeat x "$n")"
start true "1 and $((n - 1)) zeros (beyond an int)" "$PROGRAM" "1$(repeat 0 $((n - 1)))"
start true "$((n - 1)) zeros and 1" "$PROGRAM" "$(repeat 0 $((n - 1)))1"
start true "- and $((n - 1)) nines" "$PROGRAM" "-$(repeat 9 $((n - 1)))"
# 1 and many arguments after it: each word is one argument.
# shellcheck disable=SC2046
start true "1 and $(((n - 1) / 2)) more arguments" "$PROGRAM" 1 $(repeat ' x' $(((n - 1) / 2)))

# Through cmd the path comes unquoted, then a long run of blanks. Wine's cmd
# refuses a command of more than about 1,020 characters ("File name is too
# long"), so these lines have 1,000.
blanks=$((1000 - ${#PROGRAM} - 1))
start true "$blanks blanks and 1, through cmd" cmd /c "$PROGRAM$(repeat ' ' "$blanks")1"
start false "$blanks blanks and 0, through cmd" cmd /c "$PROGRAM$(repeat ' ' "$blanks")0"

n=$(arg_for "$DEEP_PROGRAM")
echo "the deep path has ${#DEEP_PROGRAM} characters"
start true "a path of ${#DEEP_PROGRAM} characters and 1" "$DEEP_PROGRAM" "1$(repeat x $((n - 1)))"
start false "a path of ${#DEEP_PROGRAM} characters and letters" "$DEEP_PROGRAM" "$(repeat x "$n")"

check_same_day
capture end
expect_same registry start end "the starts with long command lines"
expect_captured end "\"ExecuteDate\"=\"$(today)\"" '"Limit"=dword:00000000'
echo PASS
