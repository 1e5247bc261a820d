# Which Windows versions the program agrees to run on.  The prefix is switched
# with winecfg; run.sh puts it back to Windows 10 after this scenario whatever
# happens.  Windows 10 itself is covered by the startup scenario.
#
#   prefix version | expected
cases=(
  "win7  | refused"
  "win8  | Windows 8"
  "win81 | Windows 8.1"
)
refusal="Your system is not supported, only for Windows 8/10!"

for row in "${cases[@]}"; do
  version=$(trim "${row%%|*}")
  expected=$(trim "${row#*|}")
  note "case $version: $expected"
  timeout -k 5 60 wine winecfg -v "$version" </dev/null >/dev/null 2>&1 || fail "winecfg -v $version"
  start_korvane
  if [ "$expected" = refused ]; then
    drv box-wait 30000 >/dev/null || fail "$version: no refusal box"
    # Refused before the window is ever shown.
    expect_eq "$version: visible main windows" "$(drv count-main)" 0
    expect_box Korvane "$refusal" error IDOK
    drv wait-exit 15000 || fail "$version: the program did not end after OK"
    wait "$KORVANE_PID" || true
  else
    drv wait-main 30000 >/dev/null || fail "$version: the main window did not appear"
    drv no-box 500 || fail "$version: a message box came up at start"
    expect_eq "$version: OS label" "$(drv text lblWinName)" "$expected"
    drv close
    expect_exit 0
  fi
done
timeout -k 5 60 wine winecfg -v win10 </dev/null >/dev/null 2>&1
