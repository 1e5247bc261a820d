# The Advanced page: each section scrolled into view, and four repairs that can
# be checked under Wine from the registry and the files they leave.
notice_title="Korvane "  # the trailing blank belongs to the notice's title
notice="The problem has been fixed, restart the computer to see changes!"
box=ScrollBox1
row() { echo "AdvancedButton+$1"; }  # button of the n-th row (from 0), in display order

windir=$(windows_dir)
[ -n "$windir" ] || fail "cannot tell the prefix's Windows folder"
c_drive=$(unix_path 'C:\')
hosts="$(unix_path "$windir")/system32/drivers/etc/hosts"

launch
drv tab 3 || fail "cannot open the Advanced page"

# Each section's first row near the top, with the section header above it.
#   first row | picture
sections=(
  " 0 | advanced-desktop"
  " 9 | advanced-internet"
  "17 | advanced-system"
  "23 | advanced-apps"
)
for s in "${sections[@]}"; do
  IFS='|' read -r first name <<<"$s"
  drv scroll-to $box "$(row "$(trim "$first")")" 60 || fail "cannot scroll to $(trim "$name")"
  shot "$(trim "$name")"
done

# --- The Recycle Bin icon is wrong.
icon_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\DefaultIcon'
wine_tool reg delete "$icon_key" /f >/dev/null
drv scroll-to $box "$(row 3)" 60 || fail "cannot scroll to the Recycle Bin icon row"
drv click "$(row 3)"
expect_box "$notice_title" "$notice" information IDOK
reg_expect "$icon_key" "" "REG_SZ $windir\\System32\\imageres.dll,-55"
reg_expect "$icon_key" empty "REG_SZ $windir\\System32\\imageres.dll,-55"
reg_expect "$icon_key" full "REG_SZ $windir\\System32\\imageres.dll,-54"

# --- Reset host file to default: a tampered file is replaced by the stock text,
# written with CR LF line ends.
printf '127.0.0.1 example.com\n0.0.0.0 www.example.org\n' >"$hosts" || fail "cannot tamper with $hosts"
drv scroll-to $box "$(row 12)" 60 || fail "cannot scroll to the hosts row"
drv click "$(row 12)"
expect_box "$notice_title" "$notice" information IDOK
sed 's/$/\r/' "$E2E_ROOT/src/fileassoc/payloads/hosts.txt" | cmp - "$hosts" ||
  fail "the hosts file differs from the stock text with CR LF line ends"
[ ! -e "$hosts.korvane-new" ] || fail "the staged hosts file was left behind"

# --- Fix "The Recycle Bin on x:\ is corrupted": asks for a drive, then asks
# again before deleting that drive's $Recycle.Bin.
#   drive typed | answer to the question | what is left of the bin
bin="$c_drive/\$Recycle.Bin"
cases=(
  "   | -     | kept"
  " C | IDNO  | kept"
  " C | IDYES | deleted"
)
drv scroll-to $box "$(row 4)" 60 || fail "cannot scroll to the corrupted Recycle Bin row"
for c in "${cases[@]}"; do
  IFS='|' read -r drive answer left <<<"$c"
  drive=$(trim "$drive") answer=$(trim "$answer") left=$(trim "$left")
  note "case drive '$drive', answer $answer: bin $left"
  mkdir -p "$bin/S-1-5-21-e2e" && echo junk >"$bin/S-1-5-21-e2e/\$Rtest.txt" || fail "cannot make the bin fixture"
  drv click "$(row 4)"
  drv input-answer 10000 "$drive" || fail "no drive letter prompt"
  if [ "$answer" = - ]; then
    drv no-box 1000 || fail "an empty answer must end the repair silently"
  else
    expect_box "$notice_title" "All items on the Recycle Bin will be deleted, do you want to continue?" question "$answer"
    if [ "$answer" = IDYES ]; then
      expect_box "$notice_title" "$notice" information IDOK
    else
      drv no-box 1000 || fail "answering No must end the repair silently"
    fi
  fi
  if [ "$left" = kept ]; then
    [ -f "$bin/S-1-5-21-e2e/\$Rtest.txt" ] || fail "the bin was emptied although the answer was '$drive'/$answer"
  else
    [ ! -e "$bin" ] || fail "the bin is still there after Yes"
  fi
done

# --- Reset Windows Update: the prefix's own entries for these services are not
# running (and some names it lacks), so none is stopped or started; the folder is
# renamed aside, next to an earlier copy, and the window says "Done!".
distribution="$(unix_path "$windir")/SoftwareDistribution"
rm -rf "$distribution" "$distribution.bak" "$distribution.bak2"
mkdir -p "$distribution/DataStore" "$distribution.bak" && echo x >"$distribution/DataStore/DataStore.edb" ||
  fail "cannot make the SoftwareDistribution fixture"
drv scroll-to $box "$(row 23)" 60 || fail "cannot scroll to the Windows Update row"
drv click "$(row 23)"
expect_box "Korvane" "Done!" information IDOK
[ ! -e "$distribution" ] || fail "SoftwareDistribution was not renamed"
[ -f "$distribution.bak2/DataStore/DataStore.edb" ] || fail "SoftwareDistribution.bak2 does not hold the old folder"
rm -rf "$distribution.bak" "$distribution.bak2"
