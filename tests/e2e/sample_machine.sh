# shellcheck shell=bash
# The sample machine that scripts/demo.sh shows being cleaned and
# tests/e2e/cleaning_test.sh checks: temporary files in C:\windows, a
# temporary folder with files and folders, hotfix backup folders and their
# uninstall entries. Sourced; needs WINE and a sandboxed WINEPREFIX
# (scripts/wine-env.sh, scripts/wine-prefix.sh) whose server runs.

SAMPLE_UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
# Directly in the temporary folder, so the pass keeps it with its contents.
SAMPLE_GUID='{6F9619FF-8B86-D011-B42D-00C04FC964FF}'
# Deeper down, where the same shape protects nothing.
SAMPLE_DEEP_GUID='{0A1B2C3D-1111-2222-3333-444455556666}'

# sample_sized PATH SIZE: a sparse file; the estimate counts its size in full,
# the disk holds nothing.
sample_sized() { mkdir -p -- "$(dirname -- "$1")" && truncate -s "$2" -- "$1"; }

# sample_reg ARGS...: Wine's reg.exe on the program's registry view, quietly.
sample_reg() {
  (cd -- "$WINEPREFIX/drive_c" &&
    "$WINE" reg "$@" "${SWEEPWELL_REG_VIEW:-/reg:64}" </dev/null >/dev/null 2>&1)
}

# make_sample_machine WINDOWS_DIR TEMP_DIR: fills the host folders of
# C:\windows and of the temporary folder, which must lie in the prefix's
# drive C:. About 22 MB count towards the estimate, past the 20 MB default.
make_sample_machine() {
  local windows=$1 temp=$2 place
  if [[ -z ${WINEPREFIX-} || ! -e $WINEPREFIX/${SWEEPWELL_SANDBOX_MARK:-.sweepwell-sandbox} ]]; then
    echo "make_sample_machine: WINEPREFIX is not a sandboxed prefix" >&2
    return 1
  fi
  for place in "$windows" "$temp"; do
    if [[ $place != "$WINEPREFIX"/drive_c/?* || ! -d $place ]]; then
      echo "make_sample_machine: $place is not a folder in the prefix's drive C:" >&2
      return 1
    fi
  done

  sample_sized "$windows/setup01.tmp" 3M
  sample_sized "$windows/msi4a2f.tmp" 700K
  sample_sized "$windows/locked.tmp" 1M
  chmod a-w -- "$windows/locked.tmp" # Wine shows this as FILE_ATTRIBUTE_READONLY
  sample_sized "$windows/X.TMP" 2M
  sample_sized "$windows/notes.txt" 4K

  sample_sized "$temp/install.log" 120K
  sample_sized "$temp/~DF3A21.tmp" 6M
  sample_sized "$temp/cache/page1.bin" 2M
  sample_sized "$temp/cache/images/logo.png" 64K
  sample_sized "$temp/cache/$SAMPLE_DEEP_GUID/deep.dat" 1M
  sample_sized "$temp/$SAMPLE_GUID/session.dat" 3M
  mkdir -p -- "$temp/empty folder"

  sample_sized "$windows/\$NtUninstallKB123456\$/spuninst/spuninst.exe" 4M
  sample_sized "$windows/\$NtUninstallKB123456\$/kernel32.dll" 1M
  sample_sized "$windows/\$hf_mig\$/KB123456/update.cab" 3M
  sample_sized "$windows/\$hf_mig\$/readme.txt" 2K

  sample_reg add "$SAMPLE_UNINSTALL\\KB123456" /v DisplayName \
    /d 'Hotfix for Windows (KB123456)' /f &&
    sample_reg add "$SAMPLE_UNINSTALL\\ExampleEditor" /v DisplayName /d 'Example Editor 2.0' /f
}
