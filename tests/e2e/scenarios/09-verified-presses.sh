# Presses that wait for a Windows tool, with stand-ins for netsh.exe and net.exe
# built with the tests (tests/e2e/standins).
#  - While the firewall reset waits for netsh, Scan on the Restriction Fixer runs
#    at once and shows its own box; the firewall's notice follows when netsh ends.
#  - Windows Search FIX hands SetupCompletedSuccessfully = 0 to the service, which
#    writes 1 again once it has started: the notice.  When the 0 never holds
#    (another program keeps the value at 1): "Error!".
notice_title="Korvane "  # the trailing blank belongs to the notice's title
notice="The problem has been fixed, restart the computer to see changes!"
box=ScrollBox1
row() { echo "AdvancedButton+$1"; }  # button of the n-th row (from 0), in display order
firewall_row=11
search_row=17
service_key='HKLM\SYSTEM\CurrentControlSet\Services\WSearch'
search_key='HKLM\SOFTWARE\Microsoft\Windows Search'

windir=$(windows_dir)
[ -n "$windir" ] || fail "cannot tell the prefix's Windows folder"
system32=$(unix_path "$windir\\system32")
tmp=$(temp_dir)
[ -d "$system32" ] && [ -d "$tmp" ] || fail "cannot find system32 ($system32) or TEMP ($tmp)"
markers=("$tmp"/korvane-netsh.{running,release,ended} "$tmp/korvane-net.guard")

# Wine's own netsh.exe and net.exe are put back, and nothing of the scenario stays.
restore() {
  for tool in netsh net; do
    [ -f "$tmp/korvane-$tool.wine" ] && mv -f "$tmp/korvane-$tool.wine" "$system32/$tool.exe"
  done
  rm -f "${markers[@]}"
  wine_tool reg delete "$service_key" /f >/dev/null 2>&1
  wine_tool reg delete "$search_key" /f >/dev/null 2>&1
  return 0
}
trap restore EXIT
trap 'exit 1' TERM

rm -f "${markers[@]}"
for tool in netsh net; do
  cp -f "$system32/$tool.exe" "$tmp/korvane-$tool.wine" || fail "cannot keep Wine's $tool.exe"
  cp -f "$E2E_BUILD/korvane_standin_$tool.exe" "$system32/$tool.exe" ||
    fail "cannot put the $tool.exe stand-in in place"
done
# Wine runs a file in place of one of its own programs only when the environment
# of the program that starts it asks for that; Korvane's tools inherit its own.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}netsh.exe,net.exe=n"

launch
drv tab 3 || fail "cannot open the Advanced page"

# --- A press nested in a tool's wait shows its own box at once.
drv scroll-to $box "$(row $firewall_row)" 60 || fail "cannot scroll to the firewall row"
drv click "$(row $firewall_row)"
wait_until 20 test -e "$tmp/korvane-netsh.running" || fail "the netsh stand-in did not start"
drv tab 2 || fail "cannot open the Restriction Fixer page while netsh runs"
drv click btnSCANRESTRICT
drv box-expect 10000 Korvane "Restrictions not found!" information open ||
  fail "the Scan's box did not appear while netsh ran"
[ -e "$tmp/korvane-netsh.running" ] && [ ! -e "$tmp/korvane-netsh.ended" ] ||
  fail "netsh had ended before the Scan's box appeared"
shot nested-scan-during-firewall-reset
drv box-answer IDOK || fail "cannot close the Scan's box"
drv no-box 1000 || fail "the firewall's notice came before netsh ended"
touch "$tmp/korvane-netsh.release"
expect_box "$notice_title" "$notice" information IDOK
[ -e "$tmp/korvane-netsh.ended" ] || fail "the notice came before netsh ended"
drv no-box 1000 || fail "a box was left over after the firewall's notice"

# --- Windows Search: judged by what it hands to the service.
#   guard | box              | SetupCompletedSuccessfully afterwards
cases=(
  " off   | notice           | 0x1"
  " on    | Error!           | 0x1"
)
drv tab 3 || fail "cannot open the Advanced page again"
drv scroll-to $box "$(row $search_row)" 60 || fail "cannot scroll to the Windows Search row"
for c in "${cases[@]}"; do
  IFS='|' read -r guard outcome after <<<"$c"
  guard=$(trim "$guard") outcome=$(trim "$outcome") after=$(trim "$after")
  note "case guard $guard: $outcome"
  reg_set "$service_key" Start REG_DWORD 4
  reg_set "$search_key" SetupCompletedSuccessfully REG_DWORD 1
  [ "$guard" = on ] && touch "$tmp/korvane-net.guard"
  drv click "$(row $search_row)"
  if [ "$outcome" = notice ]; then
    expect_box "$notice_title" "$notice" information IDOK
  else
    expect_box Korvane "$outcome" error IDOK
  fi
  [ ! -e "$tmp/korvane-net.guard" ] || fail "net start WSearch did not run"
  reg_expect "$service_key" Start "REG_DWORD 0x2"
  reg_expect "$search_key" SetupCompletedSuccessfully "REG_DWORD $after"
done
