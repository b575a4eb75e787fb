#!/usr/bin/env bash
# Usage: tests/packaging/package_test.sh
# Tests the deployment packages that scripts/package.sh builds, from the
# Release builds of the windows-x64 and windows-x86 presets, in four sets: the
# project's version signed, the same unsigned, and in one shared folder a later
# version, the project's version again and one that differs in the fourth
# number only:
#  - the builds: two unsigned builds of one version are byte-identical; a build
#    into a folder holding other versions' packages leaves them, and the
#    folder's SHA256SUMS holds them all; the programs' version records and the
#    File table carry each set's version; argument errors print a message and
#    the usage;
#  - signing: a throw-away self-signed code-signing certificate (openssl) signs
#    one set; osslsigncode verifies the packages and the programs inside them
#    against it, SHA-256 for x64, SHA-1 with a nested SHA-256 for x86; signing
#    without a time-stamping server warns; the other sets are unsigned;
#  - without Windows: the task definition, the administrative template and
#    the package tables (tests/packaging/check_package.py);
#  - under Wine, the x64 package in a 64-bit prefix and the x86 package in a
#    32-bit one, both sandboxed (scripts/wine-prefix.sh): the refusal of
#    LIMIT, KEEPDAYS and SKIPUNDELETABLE out of range, install, the task, the
#    entry under installed programs, the installed programs
#    (sweepwell-preview.exe --check over and under the threshold), a package of
#    another fourth number over it, removal, CREATETASK=0 and the three
#    settings remembered through a re-run, a repair and an upgrade (and what
#    an administrator changed by hand kept), an upgrade to a later version,
#    the refusal of an earlier one, and the settings left by a removal; in the
#    32-bit prefix also the pre-Vista task form.
# Works in build/package-test/ (the prefixes are removed when all passed).
# Prints one line per check and "N passed, M failed"; exits non-zero when any
# check failed.
set -uo pipefail
export LC_ALL=C
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/../.." || exit 1
repo=$PWD
work=$repo/build/package-test
checker=(/usr/bin/python3 "$repo/tests/packaging/check_package.py")

passed=0 failed=0
# check WHAT COMMANDS: runs the shell COMMANDS, counts them, and shows their
# output when they fail.
check() {
  local output
  if output=$(eval "$2" 2>&1); then passed=$((passed + 1)) && echo "ok - $1"; else
    failed=$((failed + 1)) && echo "FAIL - $1" && sed 's/^/    /' <<<"$output"; fi
}
die() { echo "$*" && return 1; }

# A prefix left by an earlier run may still have its server running.
for prefix in "$work"/prefix-*; do (source scripts/wine-env.sh && WINEPREFIX=$prefix wine_stop); done
rm -rf -- "$work" && mkdir -p -- "$work/cert"

# Making a prefix takes longer than anything else here: both are made while
# the packages are built. Started without a persistent server, as Wine's task
# service does not start in a prefix whose server was ("Service database
# locked"), and the task actions then fail. Wine's schtasks knows only the
# /xml form: the 32-bit prefix plays a release that takes it.
make_prefix() { # ARCH
  (export SWEEPWELL_ARCH=$1 WINEPREFIX=$work/prefix-$1 && source scripts/wine-env.sh &&
    scripts/wine-prefix.sh "$WINEPREFIX" && { [[ $1 == x64 ]] || wine_run winecfg -v win7; }) >"$work/prefix-$1.log" 2>&1
}
declare -A prefix_job
for arch in x64 x86; do make_prefix $arch & prefix_job[$arch]=$!; done
trap 'wait' EXIT

# --- Packages ---------------------------------------------------------------------------------
cert=$work/cert
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Sweepwell test signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$cert/key.pem" -out "$cert/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -passout pass:throw-away \
    -out "$cert/cert.p12" || { echo "FAIL - openssl made no certificate"; exit 1; }
# Nothing from the caller's signing settings: no token, no time-stamping server.
unset SWEEPWELL_SIGN_PKCS12 SWEEPWELL_SIGN_PKCS11_MODULE SWEEPWELL_SIGN_PKCS11_KEY \
  SWEEPWELL_SIGN_CERTS SWEEPWELL_SIGN_PASSWORD SWEEPWELL_SIGN_TIMESTAMP SWEEPWELL_SIGN_TIMESTAMP_LEGACY
package() { # SET ARGS...: scripts/package.sh ARGS into $work/SET
  echo "== scripts/package.sh ${*:2} ($SECONDS s since the start)"
  scripts/package.sh "${@:2}" --out "$work/$1" >>"$work/package-$1.log" 2>&1 ||
    { cat "$work/package-$1.log"; echo "FAIL - scripts/package.sh ${*:2}"; exit 1; }
}
SWEEPWELL_SIGN_PKCS12=$cert/cert.p12 SWEEPWELL_SIGN_PASSWORD=throw-away package signed
version=$(ls "$work/signed" | sed -n 's/^Sweepwell-\(.*\)-x64\.msi$/\1/p')
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)(\.([0-9]+))?$ ]] || { echo "FAIL - no x64 package"; exit 1; }
next=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
fourth=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.${BASH_REMATCH[3]}.$((${BASH_REMATCH[5]:-0} + 1))
package first
package shared --version "$next"
(cd "$work/shared" && sha256sum Sweepwell-*.msi >"$work/next.sha256")
package shared
package shared --version "$fourth"
# Each version's packages are these paths followed by -x64.msi or -x86.msi, its
# files as packed in these folders followed by /x64 or /x86.
signed=$work/signed/Sweepwell-$version signed_stage=$work/signed/stage/$version
later=$work/shared/Sweepwell-$next later_stage=$work/shared/stage/$next
other=$work/shared/Sweepwell-$fourth other_stage=$work/shared/stage/$fourth

# --- Without Windows: the builds, signatures, the task definition, the tables, the template ---
check "two unsigned builds of $version are byte-identical" \
  'cmp -- "$work/first/Sweepwell-$version-x64.msi" "$work/shared/Sweepwell-$version-x64.msi" &&
    cmp -- "$work/first/Sweepwell-$version-x86.msi" "$work/shared/Sweepwell-$version-x86.msi"'
check "building $version and $fourth into the folder of $next leaves its packages, and SHA256SUMS lists all three" \
  '(cd "$work/shared" && sha256sum --quiet -c "$work/next.sha256" && sha256sum --quiet -c SHA256SUMS &&
    [[ $(grep -c "Sweepwell-.*\.msi$" SHA256SUMS) -eq 6 ]] && ls -d stage/$next/x64 stage/$next/x86)'
check "package.sh with --out and no folder, or an unknown argument, prints a message and the usage" \
  'for args in --out "--version 1.2" --later; do scripts/package.sh $args >"$work/usage.out" 2>&1
     [[ $? -eq 2 && $(head -1 "$work/usage.out") == package.sh:\ * && $(sed -n 2p "$work/usage.out") == Usage:\ * ]] ||
       die "package.sh $args: $(cat "$work/usage.out")" || return; done'
check "signing without a time-stamping server warns" \
  'grep -q "^package.sh: warning: signing without a time-stamping server" "$work/package-signed.log"'
# signatures FILE DIGEST...: FILE carries one signature for each DIGEST, in
# this order (the first the primary one, the others nested in it), each by the
# test certificate and holding.
signatures() {
  local out
  out=$(osslsigncode verify -CAfile "$cert/cert.pem" -in "$1" 2>&1) &&
    [[ $(sed -n 's/^Message digest algorithm \+: //p' <<<"$out" | xargs) == "${*:2}" &&
       $(grep -c '^Signature verification: ok' <<<"$out") -eq $(($# - 1)) ]] &&
    ! grep 'Subject:' <<<"$out" | grep -qv 'Subject: /CN=Sweepwell test signer$' ||
    die "$out"$'\n'"$1: not signed by the test certificate with ${*:2}"
}
for arch in x64 x86; do
  digests=SHA256 && [[ $arch == x64 ]] || digests='SHA1 SHA256'
  check "Sweepwell-$version-$arch.msi and its programs are signed by the given certificate ($digests)" \
    'for file in "$signed-$arch.msi" "$signed_stage/$arch/sweepwell.exe" "$signed_stage/$arch/sweepwell-preview.exe"; do
       signatures "$file" $digests || return; done'
  check "without a certificate Sweepwell-$next-$arch.msi is unsigned" \
    'out=$(osslsigncode verify -in "$later-$arch.msi" 2>&1); [[ $? -ne 0 && ${out,,} == *"no signature"* ]] || die "$out"'
  for set in "$version $signed_stage $signed" "$next $later_stage $later" "$fourth $other_stage $other"; do
    read -r v stage msi <<<"$set"
    check "the $arch programs of $v carry $v in their version records, the package in its File table" \
      '"${checker[@]}" version "$v" "$stage/$arch/sweepwell.exe" && "${checker[@]}" version "$v" "$stage/$arch/sweepwell-preview.exe" &&
        "${checker[@]}" msi "$msi-$arch.msi" "$arch" "$v"'
  done
  check "the task definition shipped for $arch" '"${checker[@]}" task "$signed_stage/$arch/sweepwell-task.xml"'
done
check "the administrative template: valid against the ADMX schema, its policies those of the program and the package" \
  '"${checker[@]}" template "$repo/../shared/schemas/admx/PolicyDefinitionFiles.xsd" \
    "$work/signed/PolicyDefinitions/sweepwell.admx" "$work/signed/PolicyDefinitions/en-US/sweepwell.adml" "$repo"'

# --- Under Wine -----------------------------------------------------------------------------
FOLDER='C:\Program Files\Sweepwell'
# win ARGS...: a Windows program in the prefix, its streams in files (Wine's
# helpers would hold a pipe open). Returns its exit code.
win() { wine_run "$@" >"$work/win.out" 2>"$work/win.err"; }
# msiexec_exits CODE ARGS...: msiexec ARGS exits with CODE ('!0': any other
# than 0). The task service must start in the same Wine session as msiexec; a
# batch file writes the code, which Wine's own exit status would cut to 8 bits.
msiexec_exits() {
  rm -f -- "$WINEPREFIX/drive_c/msi.rc"
  win cmd /c 'C:\run-msiexec.cmd' "${@:2}"
  local code=$(tr -d '\r\n ' <"$WINEPREFIX/drive_c/msi.rc" 2>/dev/null)
  [[ $code == "$1" || ($1 == !0 && $code =~ ^-?[1-9][0-9]*$) ]] || die "msiexec ${*:2} exited with '$code', not $1"
}
product_code() { msiinfo export "$1" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r'; }
# installed STAGE: the package's files, and only those, in Program Files: the
# programs packed in STAGE/<this architecture>.
installed() {
  local listing=$(ls -A -- "$program_dir" 2>&1 | xargs) stage=$1/$SWEEPWELL_ARCH
  [[ $listing == "sweepwell-preview.exe sweepwell-task.xml sweepwell.exe" ]] || die "$FOLDER holds '$listing'" || return
  cmp -- "$program_dir/sweepwell.exe" "$stage/sweepwell.exe" && cmp -- "$program_dir/sweepwell-preview.exe" "$stage/sweepwell-preview.exe"
}
# nothing_installed: no Sweepwell folder in either Program Files folder.
nothing_installed() {
  local left=$(find "$WINEPREFIX/drive_c/Program Files"{," (x86)"} -ipath '*/Sweepwell*' 2>/dev/null)
  [[ -z $left ]] || die "left behind: $left"
}
task_exists() { [[ -f $task ]] || die "no task Sweepwell (C:\\windows\\system32\\tasks)"; }
no_task() { [[ ! -e $task ]] || die "the task Sweepwell is there"; }
# registered CODE...: exactly these products are installed under a name
# beginning with Sweepwell.
registered() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "$SWEEPWELL_REG_VIEW" ||
    die "reg query of the installed products failed" || return
  local found=$(tr -d '\r' <"$work/win.out" | awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "Sweepwell" { print key }' | sort | xargs)
  [[ $found == "$(printf '%s\n' "$@" | sort | xargs)" ]] || die "registered as Sweepwell: '$found', not '$*'"
}
# entry CODE VERSION STAGE: the entry under installed programs of product CODE
# names VERSION, the publisher, where the files are, what the program does,
# and the size of STAGE's files of this architecture.
entry() {
  win reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" "$SWEEPWELL_REG_VIEW" ||
    die "no entry $1" || return
  local size=0 file found wanted
  for file in "$3/$SWEEPWELL_ARCH"/sweepwell{.exe,-preview.exe,-task.xml}; do
    size=$((size + ($(stat -c %s -- "$file") + 1023) / 1024))
  done
  found=$(tr -d '\r' <"$work/win.out" | sed -n 's/^ *\(DisplayName\|DisplayVersion\|Publisher\|InstallLocation\|EstimatedSize\|Comments\) \+REG_[A-Z]\+ \+\(.*\)$/\1=\2/p' | sort)
  wanted=$(printf '%s\n' "DisplayName=Sweepwell $2" "DisplayVersion=$2" "EstimatedSize=$(printf '0x%x' "$size")" \
    "InstallLocation=$FOLDER\\" "Publisher=Brisca" | sort)
  [[ $(grep -v '^Comments=' <<<"$found") == "$wanted" && $(grep -c '^Comments=[A-Z].*\.$' <<<"$found") -eq 1 ]] ||
    die "the entry holds"$'\n'"$found"$'\n'"not"$'\n'"$wanted"$'\n'"and a Comments line"
}
# task_runs_installed_program: the task's command, with %ProgramFiles% as this
# machine has it, is the installed sweepwell.exe.
task_runs_installed_program() {
  local command path
  command=$(iconv -f UTF-16 -t UTF-8 <"$program_dir/sweepwell-task.xml" |
    sed -n 's:.*<Command>"\{0,1\}\([^<"]*\)"\{0,1\}</Command>.*:\1:p')
  win cmd /c echo '%ProgramFiles%' || return
  path=${command//%ProgramFiles%/$(tr -d '\r\n' <"$work/win.out")}
  [[ $path == [Cc]:\\* && $(wine_path "$path") -ef $program_dir/sweepwell.exe ]] ||
    die "the task runs '$command', which is not the installed sweepwell.exe"
}
# settings_made: the installed sweepwell.exe runs and writes the date of its
# run into the settings key (which the package made, holding CreateTask).
settings_made() {
  win "$FOLDER\\sweepwell.exe" || die "sweepwell.exe exited with $?" || return
  win reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW" &&
    tr -d '\r' <"$work/win.out" | grep -Eq '^ +ExecuteDate +REG_SZ +[0-9]+/[0-9]+/[0-9]+$' ||
    die "no ExecuteDate in the settings key"
}
# settings_kept: the settings key holds the date of the program's run and Limit 20.
settings_kept() {
  win reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW" &&
    tr -d '\r' <"$work/win.out" | grep -Eq '^ +Limit +REG_DWORD +0x14$' &&
    tr -d '\r' <"$work/win.out" | grep -Eq '^ +ExecuteDate +REG_SZ ' || die "no ExecuteDate and Limit 20 in the settings key"
}
# preview_check LIMIT STATUS VERDICT: the installed sweepwell-preview.exe
# --check with Limit LIMIT exits with STATUS and prints one line with VERDICT;
# its estimate in KB.
preview_check() {
  local status=0 line re="^Reclaimable ([0-9]+) KB, threshold $(($1 * 1024)) KB \\(Limit $1 MB, stored as REG_DWORD\\): a forced start would $3\\.$"
  win reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /t REG_DWORD /d "$1" /f "$SWEEPWELL_REG_VIEW" || return
  win "$FOLDER\\sweepwell-preview.exe" --check || status=$?
  line=$(tr -d '\r' <"$work/win.out")
  [[ $status -eq $2 && $line =~ $re ]] || die "Limit $1: exit code $status, '$line'" || return
  KB=${BASH_REMATCH[1]}
}
# over_and_under: a 30 MB *.tmp file in C:\windows is over Limit 20 (exit
# code 1) and under a Limit just above the estimate (0).
over_and_under() {
  truncate -s 30M "$WINEPREFIX/drive_c/windows/check.tmp"
  preview_check 20 1 clean && ((KB >= 30720)) || die "the estimate leaves out the 30 MB file" || return
  preview_check $((KB / 1024 + 1)) 0 'delete nothing' || return
  rm -f -- "$WINEPREFIX/drive_c/windows/check.tmp"
  win reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /t REG_DWORD /d 20 /f "$SWEEPWELL_REG_VIEW"
}

# stored NAME=VALUE...: the settings key holds each value NAME as a REG_DWORD
# of VALUE (hexadecimal, as reg shows it: 0x7), or none when VALUE is -.
stored() {
  win reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW"
  local pair found
  for pair; do
    found=$(tr -d '\r' <"$work/win.out" | awk -v name="${pair%%=*}" '$1 == name { print ($2 == "REG_DWORD" ? $3 : $2 " " $3) }')
    [[ ${found:--} == "${pair#*=}" ]] || die "${pair%%=*} is '${found:--}', not ${pair#*=}" || return
  done
}
# refused PROPERTY=VALUE...: each install given one of these is refused
# (1603, the launch conditions), and installs nothing.
refused() {
  local given
  for given; do
    msiexec_exits 1603 /i "$old" /qn "$given" || return
  done
  nothing_installed && registered
}

# suite ARCH: the tests in a prefix of the architecture.
suite() {
  export SWEEPWELL_ARCH=$1 WINEPREFIX=$work/prefix-$1
  source scripts/wine-env.sh
  program_dir=$WINEPREFIX/drive_c/Program\ Files/Sweepwell task=$WINEPREFIX/drive_c/windows/system32/tasks/Sweepwell
  echo "== $1: the packages under Wine, in $WINEPREFIX ($SECONDS s since the start)"
  wait "${prefix_job[$1]}" || { check "a $1 prefix" "cat '$work/prefix-$1.log'; false"; return; }
  mkdir -p -- "$WINEPREFIX/drive_c/packages" &&
    cp -- "$signed"-*.msi "$later"-*.msi "$other"-*.msi "$WINEPREFIX/drive_c/packages/"
  printf '%s\r\n' '@echo off' 'net start schedule >nul 2>&1' 'msiexec %*' \
    '>C:\msi.rc echo %ERRORLEVEL%' >"$WINEPREFIX/drive_c/run-msiexec.cmd"
  local old new fourth_msi old_code new_code fourth_code
  old="C:\\packages\\Sweepwell-$version-$1.msi" new="C:\\packages\\Sweepwell-$next-$1.msi"
  fourth_msi="C:\\packages\\Sweepwell-$fourth-$1.msi"
  old_code=$(product_code "$signed-$1.msi") new_code=$(product_code "$later-$1.msi")
  fourth_code=$(product_code "$other-$1.msi")

  # Windows Installer compares 32-bit integers: 4294967301 is 5 there, and
  # 10**32 + 1 is 1, with any digit in front of it too.
  check "$1: LIMIT, KEEPDAYS or SKIPUNDELETABLE out of range, or not a whole number, is refused; nothing is written" \
    'refused LIMIT=4194304 LIMIT=4294967301 KEEPDAYS=36501 KEEPDAYS=-1 KEEPDAYS=7d SKIPUNDELETABLE=2 \
       SKIPUNDELETABLE=1$(printf %032d 1) &&
      stored CreateTask=- Limit=- KeepDays=- SkipUndeletable=-'
  check "$1: msiexec /i /qn exits with 0, and both programs (signed, $1) and the task definition are in \
$FOLDER, the task exists and starts the installed sweepwell.exe, the product is registered" \
    'msiexec_exits 0 /i "$old" /qn && installed "$signed_stage" && task_exists && task_runs_installed_program &&
      registered "$old_code"'
  check "$1: the entry under installed programs: name and version $version, publisher, folder, comments, size" \
    'entry "$old_code" "$version" "$signed_stage"'
  check "$1: the installed sweepwell.exe makes its settings key" settings_made
  check "$1: sweepwell-preview.exe --check over and under the threshold" over_and_under
  check "$1: version $fourth over it leaves one product registered, one set of files and the task, all new" \
    'msiexec_exits 0 /i "$fourth_msi" /qn && registered "$fourth_code" && installed "$other_stage" && task_exists &&
      entry "$fourth_code" "$fourth" "$other_stage"'
  check "$1: the same install again with CREATETASK=0 removes the task" \
    'msiexec_exits 0 /i "$fourth_msi" /qn CREATETASK=0 && no_task && stored CreateTask=0x0'
  check "$1: msiexec /x /qn exits with 0 and leaves no file, no task, no product, and the settings key" \
    'msiexec_exits 0 /x "$fourth_msi" /qn && nothing_installed && no_task && registered && settings_kept &&
      stored CreateTask=-'
  # Wine's msiexec cannot repair with /f (a product code is "not implemented",
  # a package's path is taken for one): REINSTALL is the same repair.
  check "$1: with CREATETASK=0 (and LIMIT=50 KEEPDAYS=7 SKIPUNDELETABLE=1) the programs are installed and no task, \
nor after the same install again or a repair" \
    'msiexec_exits 0 /i "$old" /qn CREATETASK=0 LIMIT=50 KEEPDAYS=7 SKIPUNDELETABLE=1 && installed "$signed_stage" &&
      no_task && msiexec_exits 0 /i "$old" /qn && no_task && rm -- "$program_dir/sweepwell.exe" &&
      msiexec_exits 0 /i "$old" /qn REINSTALL=ALL REINSTALLMODE=amus && installed "$signed_stage" && no_task &&
      stored CreateTask=0x0'
  check "$1: LIMIT=50 KEEPDAYS=7 SKIPUNDELETABLE=1 are written and kept by that install again and that repair; \
another of each keeps what an administrator changed or deleted by hand" \
    'stored Limit=0x32 KeepDays=0x7 SkipUndeletable=0x1 &&
      win reg add "HKLM\\SOFTWARE\\Brisca\\Sweepwell" /v KeepDays /t REG_DWORD /d 9 /f "$SWEEPWELL_REG_VIEW" &&
      win reg delete "HKLM\\SOFTWARE\\Brisca\\Sweepwell" /v SkipUndeletable /f "$SWEEPWELL_REG_VIEW" &&
      msiexec_exits 0 /i "$old" /qn && msiexec_exits 0 /i "$old" /qn REINSTALL=ALL REINSTALLMODE=amus &&
      stored Limit=0x32 KeepDays=0x9 SkipUndeletable=-'
  check "$1: version $next over it leaves one product registered and one set of files, all new, still no task, \
and the settings as they were" \
    'msiexec_exits 0 /i "$new" /qn && registered "$new_code" && installed "$later_stage" && no_task &&
      stored CreateTask=0x0 Limit=0x32 KeepDays=0x9 SkipUndeletable=-'
  check "$1: the same install again with CREATETASK=1 registers the task" \
    'msiexec_exits 0 /i "$new" /qn CREATETASK=1 && task_exists && stored CreateTask=0x1'
  check "$1: a repair given LIMIT=4194303 KEEPDAYS=36500 SKIPUNDELETABLE=0, the ends of their ranges, writes them" \
    'msiexec_exits 0 /i "$new" /qn LIMIT=4194303 KEEPDAYS=36500 SKIPUNDELETABLE=0 REINSTALL=ALL REINSTALLMODE=omus &&
      stored CreateTask=0x1 Limit=0x3fffff KeepDays=0x8e94 SkipUndeletable=0x0'
  check "$1: installing the older package again is refused" \
    'msiexec_exits !0 /i "$old" /qn && installed "$later_stage"'
  # Windows removes the older version during an upgrade with the upgrading
  # product's code in UPGRADINGPRODUCTCODE; Wine's msiexec leaves it out (so
  # there an upgrade deletes the task and registers it again).
  check "$1: a removal by an upgrade removes the files and leaves the task" \
    'msiexec_exits 0 /x "$new" /qn "UPGRADINGPRODUCTCODE=$old_code" && task_exists && nothing_installed'
  # Then the new version registers the task again, over the one left.
  check "$1: an install over a task left behind, and its removal, which leaves the values the package wrote" \
    'msiexec_exits 0 /i "$old" /qn && msiexec_exits 0 /x "$old" /qn && no_task && nothing_installed &&
      stored CreateTask=- Limit=0x3fffff KeepDays=0x8e94 SkipUndeletable=0x0'
  if [[ $1 == x64 ]]; then
    check "x64: the x86 package refuses 64-bit Windows and installs nothing" \
      'msiexec_exits !0 /i "C:\\packages\\Sweepwell-$version-x86.msi" /qn && nothing_installed'
  else
    win winecfg -v winxp
    check "x86: on Windows XP the package takes the pre-Vista task form" 'xp_form "$old"'
  fi
  wine_stop
}
# xp_form MSI: the install runs the pre-Vista actions, not the /xml one. Wine's
# schtasks lacks that form, so the action fails there and the installation
# must roll back whole; on Windows it would succeed with the task.
xp_form() {
  local log="$WINEPREFIX/drive_c/packages/xp.log"
  msiexec_exits 0 /i "$1" /qn /l*v 'C:\packages\xp.log' && local done=1
  grep -aq 'Action start .*: CreateTaskXP\.' "$log" || die "CreateTaskXP did not run" || return
  ! grep -aq 'Action start .*: CreateTask\.' "$log" || die "the /xml form ran too" || return
  if [[ ${done-} ]]; then task_exists && installed "$signed_stage"; else nothing_installed && registered; fi
}

suite x64
suite x86
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]] && rm -rf -- "$work/prefix-x64" "$work/prefix-x86" && exit 0
echo "The prefixes stay in $work for a look."
exit 1
