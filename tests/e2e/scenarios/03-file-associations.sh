# FIX on a file type row imports that type's script with reg.exe: the broken
# association reads right afterwards and the script file is gone from TEMP.
#
#   row | extension | class the extension must point to
cases=(
  " 4 | .com | comfile"
  " 1 | .bat | batfile"
  "19 | .txt | txtfile"
)
temp=$(temp_dir)
[ -d "$temp" ] || fail "no TEMP folder ($temp)"

launch
drv tab 1 || fail "cannot open the File Associations Fixer page"
drv visible FixButton+4 || fail "the COM row's FIX button is not shown"

first=1
for row in "${cases[@]}"; do
  IFS='|' read -r n ext class <<<"$row"
  n=$(trim "$n") ext=$(trim "$ext") class=$(trim "$class")
  type=$(echo "${ext#.}" | tr a-z A-Z)
  note "row $n: $ext -> $class"
  # Point the extension somewhere wrong first, so that only the repair can put it right.
  wine_tool reg add "HKCR\\$ext" /ve /d broken /f >/dev/null || fail "cannot break $ext"
  reg_expect "HKCR\\$ext" "" "REG_SZ broken"

  drv click "FixButton+$n" || fail "no FIX button for row $n"
  expect_box Korvane "Done!" information IDOK
  reg_expect "HKCR\\$ext" "" "REG_SZ $class"
  [ ! -e "$temp/$type.reg" ] || fail "$type.reg was left in TEMP"
  if [ "$first" = 1 ]; then
    shot file-associations
    first=0
  fi
done
