#!/usr/bin/env bash
# Usage: tests/packaging/package_test.sh
# Tests the deployment packages that scripts/package.sh builds, from the
# Release builds of the windows-x64 and windows-x86 presets:
#  - signing: a throw-away self-signed code-signing certificate (openssl) signs
#    one set of packages; osslsigncode verifies the packages and the programs
#    inside them against it; a set built without a certificate is unsigned;
#  - without Windows: the task definition, the administrative template and
#    the package tables (tests/packaging/check_package.py);
#  - under Wine, the x64 package in a 64-bit prefix and the x86 package in a
#    32-bit one, both sandboxed (scripts/wine-prefix.sh): install, the task,
#    the installed programs (sweepwell-preview.exe --check over and under the
#    threshold), an upgrade to a later version, removal, and CREATETASK=0; in
#    the 32-bit prefix also the pre-Vista task form.
# Works in build/package-test/ (the prefixes are removed when all passed).
# Prints one line per check and "N passed, M failed"; exits non-zero when any
# check failed.
set -uo pipefail
export LC_ALL=C
cd -- "$(dirname -- "${BASH_SOURCE[0]}")/../.." || exit 1
repo=$PWD
work=$repo/build/package-test
python=/usr/bin/python3
checker=$repo/tests/packaging/check_package.py

passed=0 failed=0
# check WHAT COMMAND...: runs COMMAND, counts it, and shows its output when it fails.
check() {
  local what=$1 output status=0 began=$SECONDS
  shift
  output=$("$@" 2>&1) || status=$?
  if [[ $status -eq 0 ]]; then
    passed=$((passed + 1))
    echo "ok - $what ($((SECONDS - began))s)"
  else
    failed=$((failed + 1))
    echo "FAIL - $what ($((SECONDS - began))s)"
    sed 's/^/    /' <<<"$output"
  fi
}
die() {
  echo "$*"
  return 1
}

# A prefix left by an earlier run may still have its server running.
for prefix in "$work"/prefix-*; do
  if [[ -d $prefix ]]; then
    (source scripts/wine-env.sh && WINEPREFIX=$prefix wine_stop)
  fi
done
rm -rf -- "$work"
mkdir -p -- "$work"

# Making a prefix takes longer than anything else here: both are made while
# the packages are built. Started without a persistent server, as Wine's task
# service does not start in a prefix whose server was ("Service database
# locked"), and the task actions then fail.
make_prefix() {  # ARCH
  (
    export SWEEPWELL_ARCH=$1 WINEPREFIX=$work/prefix-$1
    source scripts/wine-env.sh
    scripts/wine-prefix.sh "$WINEPREFIX" || exit
    if [[ $1 == x86 ]]; then
      # Wine's schtasks knows only the /xml form: play a release that takes it.
      cd -- "$WINEPREFIX/drive_c" && "$WINE" winecfg -v win7 </dev/null
    fi
  ) >"$work/prefix-$1.log" 2>&1
}
declare -A prefix_job
make_prefix x64 &
prefix_job[x64]=$!
make_prefix x86 &
prefix_job[x86]=$!
trap 'wait' EXIT

# --- Packages: one set signed with a throw-away certificate, one later version unsigned.
cert=$work/cert
mkdir -p -- "$cert"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Sweepwell test signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$cert/key.pem" -out "$cert/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -passout pass:throw-away \
    -out "$cert/cert.p12" ||
  { echo "FAIL - openssl made no certificate"; exit 1; }
# Nothing from the caller's signing settings: no token, no time-stamping server.
unset SWEEPWELL_SIGN_PKCS12 SWEEPWELL_SIGN_PKCS11_MODULE SWEEPWELL_SIGN_PKCS11_KEY \
  SWEEPWELL_SIGN_CERTS SWEEPWELL_SIGN_PASSWORD SWEEPWELL_SIGN_TIMESTAMP
echo "== scripts/package.sh, signed ($SECONDS s since the start)"
SWEEPWELL_SIGN_PKCS12=$cert/cert.p12 SWEEPWELL_SIGN_PASSWORD=throw-away \
  scripts/package.sh --out "$work/signed" >"$work/package-signed.log" 2>&1 ||
  { cat "$work/package-signed.log"; echo "FAIL - scripts/package.sh (signed)"; exit 1; }
version=$(ls "$work/signed" | sed -n 's/^Sweepwell-\(.*\)-x64\.msi$/\1/p')
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+) ]] || { echo "FAIL - no x64 package"; exit 1; }
next=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
echo "== scripts/package.sh --version $next, unsigned ($SECONDS s since the start)"
scripts/package.sh --version "$next" --out "$work/next" >"$work/package-next.log" 2>&1 ||
  { cat "$work/package-next.log"; echo "FAIL - scripts/package.sh --version $next"; exit 1; }
msi() { echo "$work/$1/Sweepwell-$2-$3.msi"; }  # SET VERSION ARCH

# --- Signatures ---------------------------------------------------------------------------
# verified FILE: signed by the test certificate, and the signature holds.
verified() {
  local out
  out=$(osslsigncode verify -CAfile "$cert/cert.pem" -in "$1" 2>&1) || die "$out" || return
  grep -q 'CN *= *Sweepwell test signer' <<<"$out" || die "$out"$'\n'"not signed by the test certificate"
}
# programs_verified MSI: the programs the package installs are signed too.
programs_verified() {
  local dir name program
  dir=$work/extract/$(basename -- "$1")
  rm -rf -- "$dir" && mkdir -p -- "$dir"
  (cd -- "$dir" && msiextract "$1" >/dev/null) || die "msiextract failed" || return
  for name in sweepwell.exe sweepwell-preview.exe; do
    program=$(find "$dir" -name "$name" -print -quit)
    [[ -n $program ]] || die "no $name in the package" || return
    verified "$program" || return
  done
}
unsigned() {
  local out
  if out=$(osslsigncode verify -in "$1" 2>&1); then die "$out"$'\n'"$1 is signed" || return; fi
  grep -qi 'no signature' <<<"$out" || die "$out"
}
for arch in x64 x86; do
  check "Sweepwell-$version-$arch.msi carries a valid signature by the given certificate" \
    verified "$(msi signed "$version" "$arch")"
  check "the programs in Sweepwell-$version-$arch.msi are signed by it" \
    programs_verified "$(msi signed "$version" "$arch")"
  check "without a certificate Sweepwell-$next-$arch.msi is unsigned" \
    unsigned "$(msi next "$next" "$arch")"
done

# --- Without Windows ------------------------------------------------------------------------
for arch in x64 x86; do
  check "the task definition shipped for $arch" \
    "$python" "$checker" task "$work/signed/stage/$arch/sweepwell-task.xml"
  check "the $arch package's tables" "$python" "$checker" msi "$(msi signed "$version" "$arch")" "$arch"
done
check "the administrative template" "$python" "$checker" template \
  "$work/signed/PolicyDefinitions/sweepwell.admx" \
  "$work/signed/PolicyDefinitions/en-US/sweepwell.adml" "$repo"

# --- Under Wine -----------------------------------------------------------------------------
FOLDER='C:\Program Files\Sweepwell'
FILES='sweepwell-preview.exe sweepwell-task.xml sweepwell.exe'

# win ARGS...: a Windows program in the prefix, its streams in files (Wine's
# helpers would hold a pipe open). Returns its exit code.
win() {
  (cd -- "$WINEPREFIX/drive_c" && "$WINE" "$@" </dev/null >"$work/win.out" 2>"$work/win.err")
}
# run_msiexec ARGS...: msiexec's exit code in MSI_CODE. The task service must start
# in the same Wine session as msiexec; a batch file writes the code, which
# Wine's own exit status would cut to 8 bits.
run_msiexec() {
  rm -f -- "$WINEPREFIX/drive_c/msi.rc"
  win cmd /c 'C:\run-msiexec.cmd' "$@"
  MSI_CODE=$(tr -d '\r\n ' <"$WINEPREFIX/drive_c/msi.rc" 2>/dev/null)
}
expect_code() {  # WANTED ARGS...: runs msiexec ARGS and expects WANTED
  local wanted=$1
  shift
  run_msiexec "$@"
  [[ $MSI_CODE == "$wanted" ]] || die "msiexec $* exited with '$MSI_CODE', not $wanted"
}
put_package() {  # SET VERSION: copies the package into C:\packages, prints its Windows path
  cp -- "$(msi "$1" "$2" "$SWEEPWELL_ARCH")" "$WINEPREFIX/drive_c/packages/" &&
    echo "C:\\packages\\Sweepwell-$2-$SWEEPWELL_ARCH.msi"
}
product_code() { msiinfo export "$1" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r'; }

folder() { echo "$WINEPREFIX/drive_c/Program Files/Sweepwell"; }
task_file() { echo "$WINEPREFIX/drive_c/windows/system32/tasks/Sweepwell"; }
# installed SET: the package's files, and only those, in Program Files; the
# programs are those of the set and of this architecture.
installed() {
  local listing file
  listing=$(ls -A -- "$(folder)" 2>&1 | tr '\n' ' ')
  [[ $listing == "$FILES " ]] || die "$FOLDER holds '$listing', not '$FILES '" || return
  for file in sweepwell.exe sweepwell-preview.exe; do
    cmp -- "$(folder)/$file" "$work/$1/stage/$SWEEPWELL_ARCH/$file" || return
  done
  [[ $(pe_arch "$(folder)/sweepwell.exe") == "$SWEEPWELL_ARCH" ]] || die "not a $SWEEPWELL_ARCH program"
}
pe_arch() {
  local header machine
  header=$(od -An -tu4 -j60 -N4 -- "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j"$((header + 4))" -N2 -- "$1" | tr -d ' ')
  case $machine in 8664) echo x64 ;; 014c) echo x86 ;; *) echo "$machine" ;; esac
}
# nothing_installed: no Sweepwell folder in either Program Files folder.
nothing_installed() {
  local dir
  for dir in "$WINEPREFIX/drive_c/Program Files"{," (x86)"}/Sweepwell; do
    if [[ -e $dir ]]; then die "$dir is there: $(ls -A -- "$dir" | tr '\n' ' ')"; fi
  done
}
task_exists() { [[ -f $(task_file) ]] || die "no task Sweepwell (C:\\windows\\system32\\tasks)"; }
no_task() { [[ ! -e $(task_file) ]] || die "the task Sweepwell is there"; }
# registered CODE...: exactly these products are installed under the name Sweepwell.
registered() {
  local found
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "$SWEEPWELL_REG_VIEW" ||
    die "reg query of the installed products failed" || return
  found=$(tr -d '\r' <"$work/win.out" | awk '
    /^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "Sweepwell" { print key }' | sort | tr '\n' ' ')
  [[ $found == "$(printf '%s\n' "$@" | sed '/^$/d' | sort | tr '\n' ' ')" ]] ||
    die "products registered as Sweepwell: '$found', expected '$*'"
}
# task_runs_installed_program: the task's command, with %ProgramFiles% as this
# machine has it, is the installed sweepwell.exe.
task_runs_installed_program() {
  local command program_files path
  command=$(iconv -f UTF-16 -t UTF-8 <"$(folder)/sweepwell-task.xml" |
    sed -n 's:.*<Command>"\{0,1\}\([^<"]*\)"\{0,1\}</Command>.*:\1:p')
  win cmd /c echo '%ProgramFiles%' || return
  program_files=$(tr -d '\r\n' <"$work/win.out")
  path=${command//%ProgramFiles%/$program_files}
  [[ $path == [Cc]:\\* ]] || die "the task runs '$command' ('$path')" || return
  path=$WINEPREFIX/drive_c/${path:3}
  path=${path//\\//}
  [[ $path -ef $(folder)/sweepwell.exe ]] ||
    die "the task runs '$command', which is not the installed sweepwell.exe"
}
settings_made() {
  win "$FOLDER\\sweepwell.exe" || die "sweepwell.exe exited with $?" || return
  settings_kept
}
settings_kept() {
  win reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW" || die "no settings key" || return
  tr -d '\r' <"$work/win.out" | grep -Eq '^ +Limit +REG_DWORD +0x14$' ||
    die "no Limit 20 in the settings key: $(cat "$work/win.out")"
}
# preview_check: the installed sweepwell-preview.exe --check over the threshold
# (a 30 MB *.tmp file in C:\windows, Limit 20: exit code 1) and under it (Limit
# just above the estimate it printed: 0), one line each time.
preview_check() {
  local status=0 line kb limit
  local over='^Reclaimable ([0-9]+) KB, threshold 20480 KB \(Limit 20 MB\): a forced start would clean\.$'
  truncate -s 30M "$WINEPREFIX/drive_c/windows/check.tmp"
  win "$FOLDER\\sweepwell-preview.exe" --check || status=$?
  line=$(tr -d '\r' <"$work/win.out")
  [[ $status -eq 1 && $line =~ $over ]] || die "over the threshold: exit code $status, '$line'" || return
  kb=${BASH_REMATCH[1]}
  ((kb >= 30720)) || die "the estimate, $kb KB, leaves out the 30 MB file" || return
  limit=$((kb / 1024 + 1))
  win reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /t REG_DWORD /d "$limit" /f \
    "$SWEEPWELL_REG_VIEW" || die "reg add failed" || return
  status=0
  win "$FOLDER\\sweepwell-preview.exe" --check || status=$?
  line=$(tr -d '\r' <"$work/win.out")
  local under="^Reclaimable [0-9]+ KB, threshold $((limit * 1024)) KB \\(Limit $limit MB\\): a forced"
  under+=' start would delete nothing\.$'
  [[ $status -eq 0 && $line =~ $under ]] || die "under the threshold: exit code $status, '$line'" ||
    return
  rm -f -- "$WINEPREFIX/drive_c/windows/check.tmp"
  win reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /t REG_DWORD /d 20 /f "$SWEEPWELL_REG_VIEW"
}
refused() {  # MSI: the package refuses this machine and installs nothing
  run_msiexec /i "$1" /qn
  [[ $MSI_CODE != 0 && -n $MSI_CODE ]] || die "msiexec exited with '$MSI_CODE'" || return
  nothing_installed
}

# suite ARCH: the tests in a prefix of the architecture.
suite() {
  export SWEEPWELL_ARCH=$1
  source scripts/wine-env.sh
  export WINEPREFIX=$work/prefix-$1
  echo "== $1: the packages under Wine, in $WINEPREFIX ($SECONDS s since the start)"
  if ! wait "${prefix_job[$1]}"; then
    failed=$((failed + 1))
    echo "FAIL - no $1 prefix:"
    sed 's/^/    /' "$work/prefix-$1.log"
    return
  fi
  mkdir -p -- "$WINEPREFIX/drive_c/packages"
  printf '%s\r\n' '@echo off' 'net start schedule >nul 2>&1' 'msiexec %*' \
    '>C:\msi.rc echo %ERRORLEVEL%' >"$WINEPREFIX/drive_c/run-msiexec.cmd"
  local old new old_code new_code
  old=$(put_package signed "$version") new=$(put_package next "$next")
  old_code=$(product_code "$(msi signed "$version" "$1")")
  new_code=$(product_code "$(msi next "$next" "$1")")

  check "$1: msiexec /i /qn exits with 0" expect_code 0 /i "$old" /qn
  check "$1: both programs (signed, $1) and the task definition are in $FOLDER" installed signed
  check "$1: the task exists" task_exists
  check "$1: the task starts the installed sweepwell.exe" task_runs_installed_program
  check "$1: the product is registered" registered "$old_code"
  check "$1: the installed sweepwell.exe makes its settings key" settings_made
  check "$1: sweepwell-preview.exe --check over and under the threshold" preview_check

  check "$1: msiexec /x /qn exits with 0" expect_code 0 /x "$old" /qn
  check "$1: after removal no file of the package is left" nothing_installed
  check "$1: after removal no task is left" no_task
  check "$1: after removal no product is registered" registered
  check "$1: after removal the settings key stays" settings_kept

  check "$1: msiexec /i CREATETASK=0 exits with 0" expect_code 0 /i "$old" /qn CREATETASK=0
  check "$1: with CREATETASK=0 the programs are installed" installed signed
  check "$1: with CREATETASK=0 no task is made" no_task

  check "$1: msiexec /i of version $next over it exits with 0" expect_code 0 /i "$new" /qn
  check "$1: after the upgrade one product is registered, the new one" registered "$new_code"
  check "$1: after the upgrade one set of files is installed, the new one" installed next
  check "$1: after the upgrade the task exists" task_exists
  check "$1: installing the older package again is refused" refused_downgrade "$old"

  # Windows removes the older version during an upgrade with the upgrading
  # product's code in UPGRADINGPRODUCTCODE; Wine's msiexec leaves it out (so
  # there the upgrade above deletes the task and registers it again).
  check "$1: a removal by an upgrade exits with 0" \
    expect_code 0 /x "$new" /qn "UPGRADINGPRODUCTCODE=$old_code"
  check "$1: a removal by an upgrade leaves the task" task_exists
  check "$1: a removal by an upgrade removes the files" nothing_installed
  # Then the new version registers the task again, over the one left.
  check "$1: msiexec /i over a task left behind exits with 0" expect_code 0 /i "$old" /qn
  check "$1: msiexec /x of it exits with 0 and leaves no task" removed "$old"

  if [[ $1 == x64 ]]; then
    cp -- "$(msi signed "$version" x86)" "$WINEPREFIX/drive_c/packages/"
    check "x64: the x86 package refuses 64-bit Windows" \
      refused "C:\\packages\\Sweepwell-$version-x86.msi"
  else
    win winecfg -v winxp
    check "x86: on Windows XP the package takes the pre-Vista task form" xp_form "$old"
  fi
  wine_stop
}
removed() {  # MSI
  expect_code 0 /x "$1" /qn && no_task && nothing_installed
}
refused_downgrade() {
  run_msiexec /i "$1" /qn
  [[ $MSI_CODE != 0 && -n $MSI_CODE ]] || die "msiexec exited with '$MSI_CODE'" || return
  installed next
}
# xp_form MSI: the install runs the pre-Vista actions, not the /xml one. Wine's
# schtasks lacks that form, so the action fails there and the installation
# must roll back whole; on Windows it would succeed with the task.
xp_form() {
  local log="$WINEPREFIX/drive_c/packages/xp.log"
  run_msiexec /i "$1" /qn /l*v 'C:\packages\xp.log'
  grep -aq 'Action start .*: CreateTaskXP\.' "$log" || die "CreateTaskXP did not run" || return
  ! grep -aq 'Action start .*: CreateTask\.' "$log" || die "the /xml form ran too" || return
  if [[ $MSI_CODE == 0 ]]; then
    task_exists && installed signed
  else
    nothing_installed && registered
  fi
}

suite_start=$SECONDS
suite x64
suite x86
echo "(the Wine part took $((SECONDS - suite_start))s)"

echo "$passed passed, $failed failed"
if [[ $failed -eq 0 ]]; then
  rm -rf -- "$work/prefix-x64" "$work/prefix-x86"
  exit 0
fi
echo "The prefixes stay in $work for a look."
exit 1
