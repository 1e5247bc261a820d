# The window comes up with its four pages and a filled Home page; a second start
# leaves the first window alone; File > Exit ends the program.
launch

expect_eq "caption" "$(drv caption)" "Korvane"
expect_eq "tabs" "$(drv tabs | paste -sd '|')" "Home|File Associations Fixer|Restriction Fixer|Advanced"
drv visible lblWinName || fail "the Home page is not the page shown at start"

# The labels must hold what the machine says, not the names they were built with.
os=$(drv text lblWinName) board=$(drv text lblMBoard) cpu=$(drv text lblCPUName) ram=$(drv text lblTOTALRAM)
note "Home: OS='$os' board='$board' cpu='$cpu' ram='$ram'"
expect_eq "OS label" "$os" "Windows 10"
cpu_reg=$(reg_get 'HKLM\Hardware\Description\System\CentralProcessor\0' ProcessorNameString) ||
  fail "the prefix has no processor name"
expect_eq "processor label" "$cpu" "${cpu_reg#REG_SZ }"
[[ "$board" =~ ^.+,\ .+$ ]] || fail "motherboard label '$board' is not 'maker, product'"
[[ "$ram" =~ ^[0-9][0-9.,]*\ (MB|GB|TB)$ ]] || fail "RAM label '$ram' is not a size"
shot home

# Every text on the window is the window text of the control that shows it, which
# is what screen readers and UI automation read; painted-only text is not in here.
controls=$(drv controls | cut -f4) || fail "cannot list the window's controls"
texts=(
  "Korvane"
  "Tool for fixing various problems in Windows 8/10."
  "Home" "File Associations Fixer" "Restriction Fixer" "Advanced"
  "Hardware Information:" "OS:" "Motherboard:" "Processor:" "RAM:" "Quick Task:"
  "Create Restore Point" "Fix a corrupted system file" "Repair the component store"
  "Scan corrupted component store and repair them using DISM tool. This process takes several minutes to complete."
  "Create" "Run"
  "Repair file associations and restore them to the original."
  "BAT" "Windows Batch File" "DIRECTORY" "Directory" "FIX"
  "How to fix EXE file associations."
  "Remove restrictions on the Windows." "Check All" "Scan" "Remove Restriction"
  "Advanced repair. " "Advanced repair problems."
  "Desktop && File Explorer" "Internet && Connections" "System"
  "The Recycle Bin icon is wrong." "Reset Group Policy Editor (Gpedit) to defaults." "Reset"
)
for t in "${texts[@]}"; do
  grep -Fxq -- "$t" <<<"$controls" || fail "no control has the window text '$t'"
done

# The second copy ends at once with code 0, before showing anything.
rc=0
timeout -k 5 60 wine "$KORVANE_EXE" </dev/null >/dev/null 2>&1 || rc=$?
expect_eq "exit code of the second start" "$rc" 0
expect_eq "main windows after the second start" "$(drv count-main)" 1
drv responsive 5000 || fail "the first window stopped answering"

# File > Exit: the first menu, its only entry.
drv menu down enter
expect_exit 0
