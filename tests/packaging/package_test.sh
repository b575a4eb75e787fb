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

# --- Packages: one set signed with a throw-away certificate, one later version unsigned.
cert=$work/cert
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Sweepwell test signer" \
  -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$cert/key.pem" -out "$cert/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -passout pass:throw-away \
    -out "$cert/cert.p12" || { echo "FAIL - openssl made no certificate"; exit 1; }
# Nothing from the caller's signing settings: no token, no time-stamping server.
unset SWEEPWELL_SIGN_PKCS12 SWEEPWELL_SIGN_PKCS11_MODULE SWEEPWELL_SIGN_PKCS11_KEY \
  SWEEPWELL_SIGN_CERTS SWEEPWELL_SIGN_PASSWORD SWEEPWELL_SIGN_TIMESTAMP
package() { # SET ARGS...: scripts/package.sh ARGS into $work/SET
  echo "== scripts/package.sh ${*:2} ($SECONDS s since the start)"
  scripts/package.sh "${@:2}" --out "$work/$1" >"$work/package-$1.log" 2>&1 ||
    { cat "$work/package-$1.log"; echo "FAIL - scripts/package.sh ${*:2}"; exit 1; }
}
SWEEPWELL_SIGN_PKCS12=$cert/cert.p12 SWEEPWELL_SIGN_PASSWORD=throw-away package signed
version=$(ls "$work/signed" | sed -n 's/^Sweepwell-\(.*\)-x64\.msi$/\1/p')
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+) ]] || { echo "FAIL - no x64 package"; exit 1; }
next=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
package next --version "$next"
# Each set's packages are these paths followed by -x64.msi or -x86.msi.
signed=$work/signed/Sweepwell-$version unsigned=$work/next/Sweepwell-$next

# --- Without Windows: signatures, the task definition, the tables, the template ------------
# verified MSI: it and the programs it installs are signed by the test
# certificate, and the signatures hold.
verified() {
  local dir=$work/extract/${1##*/} file out
  msiextract -C "$dir" "$1" >/dev/null || return
  for file in "$1" "$(find "$dir" -name sweepwell.exe)" "$(find "$dir" -name sweepwell-preview.exe)"; do
    out=$(osslsigncode verify -CAfile "$cert/cert.pem" -in "$file" 2>&1) &&
      grep -q 'CN *= *Sweepwell test signer' <<<"$out" || die "$out"$'\n'"$file: not signed by the test certificate" || return
  done
}
for arch in x64 x86; do
  check "Sweepwell-$version-$arch.msi and its programs carry valid signatures by the given certificate" \
    'verified "$signed-$arch.msi"'
  check "without a certificate Sweepwell-$next-$arch.msi is unsigned" \
    'out=$(osslsigncode verify -in "$unsigned-$arch.msi" 2>&1); [[ $? -ne 0 && ${out,,} == *"no signature"* ]] || die "$out"'
  check "the task definition shipped for $arch" '"${checker[@]}" task "$work/signed/stage/$arch/sweepwell-task.xml"'
  check "the $arch package's tables" '"${checker[@]}" msi "$signed-$arch.msi" "$arch"'
done
check "the administrative template" '"${checker[@]}" template "$work/signed/PolicyDefinitions/sweepwell.admx" \
  "$work/signed/PolicyDefinitions/en-US/sweepwell.adml" "$repo"'

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
# installed SET: the package's files, and only those, in Program Files: the
# programs of that set, of this architecture.
installed() {
  local listing=$(ls -A -- "$program_dir" 2>&1 | xargs) stage=$work/$1/stage/$SWEEPWELL_ARCH
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
# registered CODE...: exactly these products are installed under the name Sweepwell.
registered() {
  win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "$SWEEPWELL_REG_VIEW" ||
    die "reg query of the installed products failed" || return
  local found=$(tr -d '\r' <"$work/win.out" | awk '/^HKEY_/ { key = $0; sub(/.*\\/, "", key) }
    $1 == "DisplayName" && $3 == "Sweepwell" { print key }' | sort | xargs)
  [[ $found == "$(printf '%s\n' "$@" | sort | xargs)" ]] || die "registered as Sweepwell: '$found', not '$*'"
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
settings_made() { win "$FOLDER\\sweepwell.exe" || die "sweepwell.exe exited with $?" || return && settings_kept; }
settings_kept() {
  win reg query 'HKLM\SOFTWARE\Brisca\Sweepwell' "$SWEEPWELL_REG_VIEW" &&
    tr -d '\r' <"$work/win.out" | grep -Eq '^ +Limit +REG_DWORD +0x14$' || die "no Limit 20 in the settings key"
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

# suite ARCH: the tests in a prefix of the architecture.
suite() {
  export SWEEPWELL_ARCH=$1 WINEPREFIX=$work/prefix-$1
  source scripts/wine-env.sh
  program_dir=$WINEPREFIX/drive_c/Program\ Files/Sweepwell task=$WINEPREFIX/drive_c/windows/system32/tasks/Sweepwell
  echo "== $1: the packages under Wine, in $WINEPREFIX ($SECONDS s since the start)"
  wait "${prefix_job[$1]}" || { check "a $1 prefix" "cat '$work/prefix-$1.log'; false"; return; }
  mkdir -p -- "$WINEPREFIX/drive_c/packages" && cp -- "$signed"-*.msi "$unsigned"-*.msi "$WINEPREFIX/drive_c/packages/"
  printf '%s\r\n' '@echo off' 'net start schedule >nul 2>&1' 'msiexec %*' \
    '>C:\msi.rc echo %ERRORLEVEL%' >"$WINEPREFIX/drive_c/run-msiexec.cmd"
  local old new old_code new_code
  old="C:\\packages\\Sweepwell-$version-$1.msi" new="C:\\packages\\Sweepwell-$next-$1.msi"
  old_code=$(product_code "$signed-$1.msi") new_code=$(product_code "$unsigned-$1.msi")

  check "$1: msiexec /i /qn exits with 0, and both programs (signed, $1) and the task definition are in \
$FOLDER, the task exists and starts the installed sweepwell.exe, the product is registered" \
    'msiexec_exits 0 /i "$old" /qn && installed signed && task_exists && task_runs_installed_program &&
      registered "$old_code"'
  check "$1: the installed sweepwell.exe makes its settings key" settings_made
  check "$1: sweepwell-preview.exe --check over and under the threshold" over_and_under
  check "$1: msiexec /x /qn exits with 0 and leaves no file, no task, no product, and the settings key" \
    'msiexec_exits 0 /x "$old" /qn && nothing_installed && no_task && registered && settings_kept'
  check "$1: with CREATETASK=0 the programs are installed, and no task" \
    'msiexec_exits 0 /i "$old" /qn CREATETASK=0 && installed signed && no_task'
  check "$1: version $next over it leaves one product registered, one set of files and the task, all new" \
    'msiexec_exits 0 /i "$new" /qn && registered "$new_code" && installed next && task_exists'
  check "$1: installing the older package again is refused" 'msiexec_exits !0 /i "$old" /qn && installed next'
  # Windows removes the older version during an upgrade with the upgrading
  # product's code in UPGRADINGPRODUCTCODE; Wine's msiexec leaves it out (so
  # there the upgrade above deletes the task and registers it again).
  check "$1: a removal by an upgrade removes the files and leaves the task" \
    'msiexec_exits 0 /x "$new" /qn "UPGRADINGPRODUCTCODE=$old_code" && task_exists && nothing_installed'
  # Then the new version registers the task again, over the one left.
  check "$1: an install over a task left behind, and its removal" \
    'msiexec_exits 0 /i "$old" /qn && msiexec_exits 0 /x "$old" /qn && no_task && nothing_installed'
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
  if [[ ${done-} ]]; then task_exists && installed signed; else nothing_installed && registered; fi
}

suite x64
suite x86
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]] && rm -rf -- "$work/prefix-x64" "$work/prefix-x86" && exit 0
echo "The prefixes stay in $work for a look."
exit 1
