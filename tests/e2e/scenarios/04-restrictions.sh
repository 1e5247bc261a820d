# Scan finds the policies set in the registry, lists them unticked; Check All and
# Remove Restriction delete them, and a second scan finds nothing.  Each box stands
# over the list it reports on.  A rescan that finds as many restrictions as the last
# one, but another one, lists only the new one.  The columns keep their widths.
cv='HKCU\Software\Microsoft\Windows\CurrentVersion\Policies'
#   key | value | data   (listed in the catalogue's order)
policies=(
  "$cv\\System | DisableTaskMgr | 1"
  'HKCU\Software\Policies\Microsoft\Windows\System | DisableCMD | 2'
  "$cv\\Explorer | NoControlPanel | 1"
)
expected_items="Task Manager|Command Prompt|Control Panel"

# Nothing of this scenario may stay in force for the ones after it.
cleanup_policies() {
  for v in DisableTaskMgr DisableRegistryTools; do
    wine_tool reg delete "$cv\\System" /v $v /f >/dev/null 2>&1
  done
  wine_tool reg delete 'HKCU\Software\Policies\Microsoft\Windows\System' /v DisableCMD /f >/dev/null 2>&1
  wine_tool reg delete "$cv\\Explorer" /v NoControlPanel /f >/dev/null 2>&1
  return 0
}
trap cleanup_policies EXIT
trap 'exit 1' TERM

for p in "${policies[@]}"; do
  IFS='|' read -r key value data <<<"$p"
  reg_set "$(trim "$key")" "$(trim "$value")" REG_DWORD "$(trim "$data")"
done

rows() { drv lv-rows lvRESTRICT || fail "cannot read the list"; }
fields() { cut -f"$1" | paste -sd '|'; }

launch
drv tab 2 || fail "cannot open the Restriction Fixer page"

# The heading's box and the fixed columns: neither dragging a divider nor
# double-clicking it (which would fit the column to its text) changes a width.
heading=$(drv controls | awk -F '\t' '$4 == "Remove restrictions on the Windows." { print $3 }')
expect_eq "size of the heading" "$heading" "353x25"
expect_eq "column widths" "$(drv lv-widths lvRESTRICT)" "150 400"
#   column | what the mouse does
dividers=(
  "0 | drag 80"
  "0 | drag -60"
  "0 | double-click"
  "1 | drag 50"
  "1 | double-click"
)
for d in "${dividers[@]}"; do
  IFS='|' read -r col action <<<"$d"
  drv divider lvRESTRICT $(trim "$col") $(trim "$action") || fail "cannot work divider $col"
  expect_eq "column widths after '$(trim "$action")' on divider $(trim "$col")" \
    "$(drv lv-widths lvRESTRICT)" "150 400"
done

drv click btnSCANRESTRICT
expect_box Korvane "Found 3 restrictions on this computer!" error open
listed=$(rows)
printf '%s\n' "$listed" | sed 's/^/  list: /'
drv box-answer IDOK || fail "cannot close the scan's box"
expect_eq "listed items behind the box" "$(fields 2 <<<"$listed")" "$expected_items"
expect_eq "ticks after the scan" "$(cut -f1 <<<"$listed" | sort -u)" "unchecked"
expect_eq "marks after the scan" "$(cut -f4 <<<"$listed" | sort -u)" "image 0"
expect_eq "Check All after the scan" "$(drv checked cbCHECKALLRESTRICT)" unchecked
shot restrictions

drv click cbCHECKALLRESTRICT
all_ticked() { [ "$(drv lv-rows lvRESTRICT | cut -f1 | sort -u)" = checked ]; }
wait_until 5 all_ticked || fail "Check All did not tick every item: $(drv lv-rows lvRESTRICT | cut -f1 | paste -sd ' ')"
expect_eq "Check All box" "$(drv checked cbCHECKALLRESTRICT)" checked

drv click btnFIXRESTRICT
expect_box Korvane "Done!" information open
expect_eq "marks behind Done!" "$(rows | cut -f4 | sort -u)" "image 1"
drv box-answer IDOK || fail "cannot close Done!"
for p in "${policies[@]}"; do
  IFS='|' read -r key value data <<<"$p"
  reg_expect_absent "$(trim "$key")" "$(trim "$value")"
done

drv click btnSCANRESTRICT
expect_box Korvane "Restrictions not found!" information open
expect_eq "items behind the second scan's box" "$(drv lv-count lvRESTRICT)" 0
drv box-answer IDOK || fail "cannot close the second scan's box"
drv close
expect_exit 0

# --- One restriction lifted, then another one set: the rescan lists only the new
# one, so a tick can only ever lift what its row names.
reg_set "$cv\\System" DisableTaskMgr REG_DWORD 1
launch
drv tab 2 || fail "cannot open the Restriction Fixer page"
drv click btnSCANRESTRICT
expect_box Korvane "Found 1 restrictions on this computer!" error open
expect_eq "first scan" "$(rows | fields 2)" "Task Manager"
drv box-answer IDOK || fail "cannot close the scan's box"
drv click cbCHECKALLRESTRICT
wait_until 5 all_ticked || fail "Check All did not tick Task Manager"
drv click btnFIXRESTRICT
expect_box Korvane "Done!" information IDOK
reg_expect_absent "$cv\\System" DisableTaskMgr

reg_set "$cv\\System" DisableRegistryTools REG_DWORD 1
drv click btnSCANRESTRICT
expect_box Korvane "Found 1 restrictions on this computer!" error open
listed=$(rows)
drv box-answer IDOK || fail "cannot close the rescan's box"
printf '%s\n' "$listed" | sed 's/^/  list: /'
expect_eq "rows after the rescan" "$(printf '%s\n' "$listed" | cut -f1,2,4 | tr '\t' ' ')" \
  "unchecked Registry Editor image 0"
info=$(cut -f3 <<<"$listed")
[[ "$info" == "Cannot open Registry Editor,"* ]] || fail "the Info column still describes another restriction: '$info'"
