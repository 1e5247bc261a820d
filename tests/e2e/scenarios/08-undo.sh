# FIX on a file type keeps an undo file; Tools > Undo a Repair... lists it first,
# and its Undo brings the user's own association back exactly.
key='HKCR\.txt'
class='HKCR\txtfile'
snapshot() { wine_tool reg query "$key" /s; wine_tool reg query "$class" /s; }

launch
# The user's own association, with a value of a type the repair never writes.
wine_tool reg add "$key" /ve /d MyEditor.txt /f >/dev/null || fail "cannot set up $key"
wine_tool reg add "$key" /v Custom /t REG_EXPAND_SZ /d '%TEMP%\mine' /f >/dev/null ||
  fail "cannot set up $key [Custom]"
wine_tool reg add "$class\\shell\\edit\\command" /ve /d 'C:\Tools\ed.exe "%1"' /f >/dev/null ||
  fail "cannot set up $class"
before=$(snapshot)

drv tab 1 || fail "cannot open the File Associations Fixer page"
drv click FixButton+19 || fail "no FIX button for TXT"
expect_box Korvane "Done!" information IDOK
reg_expect "$key" "" "REG_SZ txtfile"

# A 2 MB file of continued lines beside it in the store: listed as too large and
# never read, so the dialog still opens at once.
store=$(ls -d "$WINEPREFIX"/drive_c/ProgramData/Korvane/Undo/S-1-5-* 2>/dev/null | head -1)
[ -d "$store" ] || fail "no undo store below ProgramData"
huge="$store/2000-01-01 000000 assoc.bat.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n"v"=hex:00,\\\r\n'
  awk 'BEGIN { for (i = 0; i < 80000; i++) printf "  00,00,00,00,00,00,00,00,\\\r\n" }'
  printf '  00\r\n'
} >"$huge"

# Tools is the second menu; "Undo a Repair..." is its last entry.
drv menu right down up enter
expect_eq "dialog caption" "$(drv window TFORM_UNDO 10000)" "Undo a Repair"
expect_eq "main window while the dialog is open" "$(drv main-enabled)" disabled
expect_eq "undo dialog text" "$(drv text lblUNDO)" \
  "Each repair made in this window kept an undo file. Undo puts back what the repair changed."
rows=$(drv lv-rows lvUNDO) || fail "cannot read the undo list"
printf '%s\n' "$rows" | sed 's/^/  list: /'
expect_eq "newest entry" "$(printf '%s\n' "$rows" | head -1 | cut -f3)" "TXT: Text Document"
# (its Changes column, "too large to read", is not among the columns read here)
printf '%s\n' "$rows" | grep -q '2000-01-01 000000 assoc\.bat' || fail "the 2 MB file is not listed"
shot undo-dialog

drv click btnUNDO
expect_box Korvane "Done!" information IDOK
expect_eq "association after the undo" "$(snapshot)" "$before"
expect_eq "entry after the undo" "$(drv lv-rows lvUNDO | head -1 | cut -f3)" \
  "TXT: Text Document (undone)"

# Enter undoes the selected entry; one undone already asks first, and No keeps it.
drv key lvUNDO enter
expect_box Korvane "This repair has been undone already. Undo it again?" question IDNO
drv no-box 1000 || fail "something followed the No"
expect_eq "association after No" "$(snapshot)" "$before"

# Esc closes the dialog.
drv key lvUNDO esc
drv window-gone TFORM_UNDO 5000 || fail "Esc did not close the dialog"
expect_eq "main window after the dialog" "$(drv main-enabled)" enabled
rm -f "$huge"
wine_tool reg delete "$key" /f >/dev/null
wine_tool reg delete "$class" /f >/dev/null
