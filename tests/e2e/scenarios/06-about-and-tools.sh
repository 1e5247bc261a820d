# Help > About, Tools > Restart "explorer.exe" and the Home page's restore point.
launch

# --- About: modal, shows the version, closes with OK and opens again.
for round in first second; do
  # Help is the third menu; its last entry is About.
  drv menu right right down up enter
  expect_eq "About caption ($round)" "$(drv window TFORM_TENTANG 10000)" "About"
  expect_eq "version label" "$(drv text LABEL_VERSI)" "Version $(cat "$E2E_BUILD/version.txt")"
  expect_eq "main window while About is open" "$(drv main-enabled)" disabled
  [ "$round" = first ] && shot about
  drv click BTN_OK
  drv window-gone TFORM_TENTANG 5000 || fail "OK did not close About ($round)"
  expect_eq "main window after About" "$(drv main-enabled)" enabled
done

# --- Restart "explorer.exe": the helper is written to the run's own scratch folder
# below ProgramData, run and deleted; a copy planted in TEMP is not Korvane's and
# is left alone.  The embedded helper is a 32-bit program, and this 64-bit-only
# Wine fails with it in one of two ways, depending on the machine: it refuses to
# start it (CreateProcessW fails, "Internal error"), or it starts it "in
# experimental wow64 mode" and the helper dies at once with an exception (status
# 0xC00000FD after syswow64's ntdll fails to load).  Either way the helper did not
# do its work, so the window must say so in the error box, naming the helper, and
# delete its copy all the same.  No "Done!" may follow.
scratch=$(ls -td "$WINEPREFIX"/drive_c/ProgramData/Korvane/Scratch/*/ 2>/dev/null | head -1)
[ -n "$scratch" ] || fail "the running window has no scratch folder below ProgramData"
scratch=${scratch%/}
win_scratch="C:\\ProgramData\\Korvane\\Scratch\\$(basename "$scratch")"
planted="$(temp_dir)/RestartExp.exe"
echo "planted copy" >"$planted" || fail "cannot plant a helper in TEMP"
# Tools is the second menu; Restart "explorer.exe" comes just before its last
# entry, Undo a Repair...
drv menu right down up up enter
# The driver prints the text quoted, with its own quotation marks as \".
box=$(drv box-wait 20000) || fail "no message box after Restart \"explorer.exe\""
box=$(printf '%s\n' "$box" | sed 's/\\"/"/g')
helper="\"$win_scratch\\RestartExp.exe\""
refused="text: \"Cannot run $helper. Internal error.\""
crashed_prefix="text: \"$helper ended abnormally with status 0xC000"
case "$box" in
  *"$refused"*) note "Wine refused to start the 32-bit helper" ;;
  *"$crashed_prefix"*) note "the 32-bit helper started and ended by an exception" ;;
  *) fail "unexpected box after Restart \"explorer.exe\": $box" ;;
esac
case "$box" in *"icon: error"*) ;; *) fail "the helper's failure is not an error box: $box" ;; esac
drv box-answer IDOK || fail "cannot close the helper's error box"
helper_gone() { [ ! -e "$scratch/RestartExp.exe" ]; }
wait_until 20 helper_gone || fail "the helper is still in the scratch folder after the restart"
expect_eq "the copy planted in TEMP" "$(cat "$planted")" "planted copy"
rm -f "$planted"
drv no-box 500 || fail "Restart \"explorer.exe\" showed another message box"
drv responsive 5000 || fail "the window does not answer after the restart"

# --- Create Restore Point: Wine has no System Restore provider, so the request
# fails with Wine's "Not implemented." (shown without the full stop, as the
# provider's words are shown).  The creation frequency value is only lifted for
# the request: afterwards it is as it was before.
#   value before            | value after
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\SystemRestore'
name=SystemRestorePointCreationFrequency
cases=(
  "absent                   | absent"
  "REG_DWORD 1440           | REG_DWORD 0x5a0"
)
drv tab 0 || fail "cannot open the Home page"
for c in "${cases[@]}"; do
  before=$(trim "${c%%|*}") after=$(trim "${c#*|}")
  note "case frequency before: $before"
  wine_tool reg delete "$key" /v $name /f >/dev/null
  [ "$before" = absent ] || reg_set "$key" $name ${before% *} ${before#* }
  drv click btnRSPoint
  expect_box Korvane "Not implemented" error IDOK
  if [ "$after" = absent ]; then
    reg_expect_absent "$key" $name
  else
    reg_expect "$key" $name "$after"
  fi
done
wine_tool reg delete "$key" /v $name /f >/dev/null
drv responsive 5000 || fail "the window does not answer after the restore point"

# --- System File Checker: Wine's System32 has no sfc.exe, and no other copy is
# looked for.  The error names the tool with the system's reason; no "Done!" follows.
drv click btnSCANSFC
expect_box Korvane 'Cannot run "sfc". File not found.' error IDOK
drv no-box 1000 || fail "a message box followed the error"
drv responsive 5000 || fail "the window does not answer after the failed start"
