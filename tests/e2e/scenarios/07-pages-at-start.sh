# Every page is whole the moment its tab is first chosen, even while start-up is
# still going on.  The driver starts the program itself and, as soon as the window
# is visible, chooses the other three pages and then Home again, reading every
# window each one shows.  Some seconds later, when nothing can still be on its
# way, each page must show exactly the same windows with the same texts.
first=$(drv launch-and-tour 30000) || fail "the pages could not be chosen at start"
drv responsive 10000 || fail "the window does not answer after the pages were chosen"
sleep 3
later=$(drv tour) || fail "the pages could not be chosen again"
if [ "$first" != "$later" ]; then
  diff <(printf '%s\n' "$later") <(printf '%s\n' "$first") | head -n 20
  fail "a page chosen during start-up was not complete (< later, > at first sight)"
fi

# What the pages showed at first sight is their content, not empty frames.
# windows PAGE CLASS TEXT: how many windows of that class on that page carry that text.
windows() {
  printf '%s\n' "$first" | awk -F '\t' -v p="$1" -v c="$2" -v t="\"$3\"" \
    '$1 == p && $2 == c && $4 == t { n++ } END { print n + 0 }'
}
#   page | class         | text                                        | windows
cases=(
  "0     | Button        | Create                                      | 1"
  "0     | Button        | Run                                         | 2"
  "0     | Static        | Hardware Information:                       | 1"
  "1     | Button        | FIX                                         | 26"
  "1     | Static        | BAT                                         | 1"
  "1     | Static        | Windows Batch File                          | 1"
  "1     | Static        | How to fix EXE file associations.           | 1"
  "2     | SysListView32 |                                             | 1"
  "2     | Button        | Scan                                        | 1"
  "2     | Button        | Remove Restriction                          | 1"
  "2     | Button        | Check All                                   | 1"
  "3     | Static        | Advanced repair problems.                   | 1"
  "3     | Static        | Explorer.exe does not start automatically.  | 1"
)
for c in "${cases[@]}"; do
  IFS='|' read -r page class text count <<<"$c"
  page=$(trim "$page") class=$(trim "$class") text=$(trim "$text") count=$(trim "$count")
  expect_eq "page $page, $class \"$text\"" "$(windows "$page" "$class" "$text")" "$count"
done
advanced=$(printf '%s\n' "$first" | awk -F '\t' '$1 == 3 && $2 == "Button"' | wc -l)
expect_eq "buttons on the Advanced page" "$advanced" 29
# The Home labels were filled before the window showed.
for label in lblWinName lblMBoard lblCPUName lblTOTALRAM; do
  id=$(drv id "$label") || fail "no id for $label"
  text=$(printf '%s\n' "$first" | awk -F '\t' -v id="$id" '$1 == 0 && $3 == id { print $4 }')
  [ -n "$text" ] && [ "$text" != "\"\"" ] || fail "$label is not on the Home page or empty"
  case "$text" in \"lbl*\") fail "$label still shows its placeholder $text" ;; esac
done

drv close || fail "cannot close the window"
drv wait-exit 15000 || fail "Korvane.exe did not end"
