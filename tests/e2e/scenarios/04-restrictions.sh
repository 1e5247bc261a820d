# Scan finds the policies set in the registry, lists them unticked; Check All and
# Remove Restriction delete them, and a second scan finds nothing.
cv='HKCU\Software\Microsoft\Windows\CurrentVersion\Policies'
#   key | value | data   (listed in the catalogue's order)
policies=(
  "$cv\\System | DisableTaskMgr | 1"
  'HKCU\Software\Policies\Microsoft\Windows\System | DisableCMD | 2'
  "$cv\\Explorer | NoControlPanel | 1"
)
expected_items="Task Manager|Command Prompt|Control Panel"

for p in "${policies[@]}"; do
  IFS='|' read -r key value data <<<"$p"
  reg_set "$(trim "$key")" "$(trim "$value")" REG_DWORD "$(trim "$data")"
done

launch
drv tab 2 || fail "cannot open the Restriction Fixer page"
drv click btnSCANRESTRICT
expect_box Korvane "Found 3 restrictions on this computer!" error IDOK

rows=$(drv lv-rows lvRESTRICT) || fail "cannot read the list"
printf '%s\n' "$rows" | sed 's/^/  list: /'
expect_eq "listed items" "$(printf '%s\n' "$rows" | cut -f2 | paste -sd '|')" "$expected_items"
expect_eq "ticks after the scan" "$(printf '%s\n' "$rows" | cut -f1 | sort -u)" "unchecked"
expect_eq "Check All after the scan" "$(drv checked cbCHECKALLRESTRICT)" unchecked
shot restrictions

drv click cbCHECKALLRESTRICT
all_ticked() { [ "$(drv lv-rows lvRESTRICT | cut -f1 | sort -u)" = checked ]; }
wait_until 5 all_ticked || fail "Check All did not tick every item: $(drv lv-rows lvRESTRICT | cut -f1 | paste -sd ' ')"
expect_eq "Check All box" "$(drv checked cbCHECKALLRESTRICT)" checked

drv click btnFIXRESTRICT
expect_box Korvane "Done!" information IDOK
for p in "${policies[@]}"; do
  IFS='|' read -r key value data <<<"$p"
  reg_expect_absent "$(trim "$key")" "$(trim "$value")"
done

drv click btnSCANRESTRICT
expect_box Korvane "Restrictions not found!" information IDOK
expect_eq "items after the second scan" "$(drv lv-count lvRESTRICT)" 0
