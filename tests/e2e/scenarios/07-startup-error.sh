# An error while the Home labels are filled is shown in the standard error box, and
# then the window opens and stays open: the labels not filled keep their
# placeholders.  The processor name is read first, so a processor name of the wrong
# type stops the filling before any label.
cpu_key='HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0'
saved=$(reg_get "$cpu_key" ProcessorNameString) || fail "the prefix has no processor name"
[[ "$saved" == "REG_SZ "* ]] || fail "the prefix's processor name is not text: $saved"
# The later scenarios read the processor name: it is put back whatever happens here.
restore_cpu() {
  wine_tool reg add "$cpu_key" /v ProcessorNameString /t REG_SZ /d "${saved#REG_SZ }" /f >/dev/null ||
    echo "  could not put the processor name back"
}
trap restore_cpu EXIT
trap 'exit 1' TERM
# Wine writes this key as it boots (run.sh has booted the prefix already).
reg_set "$cpu_key" ProcessorNameString REG_DWORD 1

start_korvane
# No full stop is added: the closing quotation mark's code is below that of ".".
expect_box Korvane "Invalid data type for 'ProcessorNameString'" error IDOK
drv wait-main 30000 >/dev/null || fail "no window after the error box"
# Still there, and no other box, a while later: the error did not end the program.
drv no-box 3000 || fail "a second box came up"
expect_eq "visible main windows" "$(drv count-main)" 1
drv responsive 5000 || fail "the window does not answer"
expect_eq "caption" "$(drv caption)" "Korvane"
#   label      | placeholder
labels=(
  "lblCPUName  | lblCPUName"
  "lblTOTALRAM | lblTotalRAM"
  "lblMBoard   | lblMotherboard"
  "lblWinName  | lblWinName"
)
for l in "${labels[@]}"; do
  IFS='|' read -r control placeholder <<<"$l"
  expect_eq "$(trim "$control")" "$(drv text "$(trim "$control")")" "$(trim "$placeholder")"
done
drv close
expect_exit 0
