# shellcheck shell=bash
# The sample machine that scripts/demo.sh shows being cleaned and the
# end-to-end runs clean and preview: temporary files in C:\windows, a
# temporary folder with files and folders, hotfix backup folders and their
# uninstall entries. Sourced; needs WINE and a sandboxed WINEPREFIX
# (scripts/wine-env.sh, scripts/wine-prefix.sh) whose server runs.

SAMPLE_UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
# Directly in the temporary folder, so the pass keeps it with its contents.
SAMPLE_GUID='{6F9619FF-8B86-D011-B42D-00C04FC964FF}'

# sample_sized PATH SIZE: a sparse file; the estimate counts its size in full,
# the disk holds nothing.
sample_sized() { mkdir -p -- "$(dirname -- "$1")" && truncate -s "$2" -- "$1"; }
sample_reg() { (cd -- "$WINEPREFIX/drive_c" && "$WINE" reg "$@" "${SWEEPWELL_REG_VIEW:-/reg:64}" /f </dev/null &>/dev/null); }

# make_sample_machine WINDOWS_DIR TEMP_DIR: fills the host folders of
# C:\windows and of the temporary folder in the prefix's drive C:. About
# 22 MB count towards the estimate, past the 20 MB default.
make_sample_machine() {
  local w=$1 t=$2 f
  [[ -e $WINEPREFIX/$SWEEPWELL_SANDBOX_MARK && -d $w && -d $t && $w == "$WINEPREFIX"/drive_c/?* &&
    $t == "$WINEPREFIX"/drive_c/?* ]] || { echo "$FUNCNAME: not in a sandboxed prefix's drive C:" >&2 && return 1; }
  for f in setup01.tmp:3M msi4a2f.tmp:700K locked.tmp:1M X.TMP:2M notes.txt:4K \
    '$NtUninstallKB123456$/spuninst/spuninst.exe:4M' '$NtUninstallKB123456$/kernel32.dll:1M' \
    '$hf_mig$/KB123456/update.cab:3M' '$hf_mig$/readme.txt:2K'; do
    sample_sized "$w/${f%:*}" "${f##*:}"
  done
  chmod a-w -- "$w/locked.tmp" # Wine shows this as FILE_ATTRIBUTE_READONLY
  # The same shape as the folder at the top, deeper down, protects nothing.
  for f in install.log:120K '~DF3A21.tmp:6M' cache/page1.bin:2M cache/images/logo.png:64K \
    'cache/{0A1B2C3D-1111-2222-3333-444455556666}/deep.dat:1M' "$SAMPLE_GUID/session.dat:3M"; do
    sample_sized "$t/${f%:*}" "${f##*:}"
  done
  mkdir -p -- "$t/empty folder"
  sample_reg add "$SAMPLE_UNINSTALL\\KB123456" /v DisplayName /d 'Hotfix for Windows (KB123456)' &&
    sample_reg add "$SAMPLE_UNINSTALL\\ExampleEditor" /v DisplayName /d 'Example Editor 2.0'
}
