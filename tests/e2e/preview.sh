# shellcheck shell=bash
# sweepwell-preview.exe over the sample machine (run by tests/e2e/scenario.sh): drive
# C: and the registry are as they were after it ran, with the settings key
# missing and present; it reports the key, the gate, the estimate and the
# uninstall entries as this machine has them. (The layout of the text and the
# CSV and the options are pinned by the preview's unit tests.)

# show STATUS ARGS...: runs the preview, which must exit with STATUS; its
# output in OUT.
show() {
  local status=0 && OUT=$(wine_run 'C:\Sweepwell\sweepwell-preview.exe' "${@:2}" 2>"$S/err" | tr -d '\r') || status=$?
  [[ $status -eq $1 ]] || fail "the preview ${*:2} exited with $status, not $1: $(tr -d '\r' <"$S/err")"
}
# has LINE...: OUT holds each line.
has() { for line; do grep -qxF -- "$line" <<<"$OUT" || fail "no line '$line' in:"$'\n'"$OUT"; done; }

preview() {
  local t=$TEMP_PATH u=$SAMPLE_UNINSTALL
  make_sample_machine "$WINDOWS_DIR" "$TEMP_DIR" || fail "could not make the sample machine"
  sample_sized "$WINDOWS_DIR/\$NtUninstallKB654321\$/update.exe" 1M # no uninstall entry
  sample_sized "$TEMP_DIR/report, final.txt" 10K
  sample_sized "$WINDOWS_DIR/temp/service.log" 3M # in SYSTEM's temporary folder
  install 'C:\Sweepwell\sweepwell-preview.exe'
  capture before
  grep -qiF 'Uninstall\\KB123456]' "$S/before.registry" || fail "the captures miss the uninstall entry"
  show 0
  has "Today is $(today). A start without an argument would pass the gate as a first start, making the key with today's date and Limit 20." \
    'Threshold: Limit 20 MB = 20480 KB. The estimate reaches it: a pass would clean.' \
    '        4796 KB  *.tmp files directly in C:\windows (4911104 bytes)' \
    "                  and the uninstall entry $u\\KB123456: it exists" \
    "                  and the uninstall entry $u\\KB654321: it does not exist"
  ! grep -qF 'X.TMP' <<<"$OUT" || fail "X.TMP is not a *.tmp file"
  # As the daily task sees it: SYSTEM's temporary folder, the machine's TEMP.
  show 0 --system
  has '        3072 KB  the temporary folder of SYSTEM C:\windows\temp\, GUID-shaped folders at its top left out (3145728 bytes)' \
    '  delete  file    C:\windows\temp\service.log  (3145728 bytes)'
  show 0 --csv
  has "temp-entry,delete,file,10240,\"$t\\report, final.txt\",,"
  unchanged "the preview (no settings key)" drive registry settings

  settings "$DATE" '"Limit"=dword:00000064'
  capture before
  show 0
  has "  ExecuteDate      \"$(today)\"" \
    "Today is $(today). A start without an argument would end at the gate: a run already happened today. A start with a non-zero argument (sweepwell.exe 1) would pass it." \
    'Threshold: Limit 100 MB = 102400 KB. The estimate is below it: a pass would delete nothing.'
  unchanged "the preview (today's date stored)" drive registry settings

  # Limit as `reg add` types it by default: --check names its type.
  wine_reg add 'HKLM\SOFTWARE\Brisca\Sweepwell' /v Limit /d 100 /f || fail "reg add failed"
  show 0 --check
  [[ $OUT == "Reclaimable "*" KB, threshold 102400 KB (Limit 100 MB, stored as REG_SZ): a forced start would delete nothing." ]] ||
    fail "--check says: $OUT"
}
