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

# The second copy ends at once with code 0, before showing anything.
rc=0
timeout -k 5 60 wine "$KORVANE_EXE" </dev/null >/dev/null 2>&1 || rc=$?
expect_eq "exit code of the second start" "$rc" 0
expect_eq "main windows after the second start" "$(drv count-main)" 1
drv responsive 5000 || fail "the first window stopped answering"

# File > Exit: the first menu, its only entry.
drv menu down enter
expect_exit 0
