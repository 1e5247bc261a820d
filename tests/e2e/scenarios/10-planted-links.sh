# Links that an unelevated program of the user planted where it may write: at the
# names Korvane once used in TEMP, and inside the user's own Recycle Bin folder.
# Korvane runs elevated; it must never write or delete through them.  What they
# lead to survives byte for byte, and the file-type repair still succeeds.
victim="$WINEPREFIX/drive_c/Victim"
rm -rf "$victim"
mkdir -p "$victim/Folder/Sub"
printf 'keep me\r\n' >"$victim/notes.txt"
head -c 4096 /dev/urandom >"$victim/Folder/Sub/data.bin"
printf '127.0.0.1 example\r\n' >"$victim/Folder/hosts"
snapshot() { (cd "$victim" && find . | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(snapshot)

# KorvaneCli, with its full exit code as the last line ("exit=N").
cli() {
  local rc=0 out
  out=$(timeout -k 5 120 wine "$E2E_BUILD/KorvaneCli.exe" "$@" </dev/null 2>&1) || rc=$?
  printf '%s\n' "$out" | tr -d '\r' | sed 's/^/  cli: /'
  echo "exit=$rc"
}

tmp=$(temp_dir)
[ -d "$tmp" ] || fail "no TEMP folder ($tmp)"
for name in TXT.reg tempbat.bat RestartExp.exe; do
  rm -rf "${tmp:?}/$name"
  ln -s "$victim/notes.txt" "$tmp/$name"
done

out=$(cli fix assoc.txt)
printf '%s\n' "$out"
printf '%s\n' "$out" | grep -qx 'exit=0' || fail "fix assoc.txt did not succeed"
expect_eq "what the links in TEMP lead to" "$(snapshot)" "$before"
for name in TXT.reg tempbat.bat RestartExp.exe; do
  [ -L "$tmp/$name" ] || fail "the link TEMP\\$name was deleted or replaced"
done
rm -f "$tmp/TXT.reg" "$tmp/tempbat.bat" "$tmp/RestartExp.exe"

bin="$WINEPREFIX/drive_c/\$Recycle.Bin"
user="$bin/S-1-5-21-1000-1001"
rm -rf "$bin"
mkdir -p "$user"
printf 'a deleted file' >"$user/\$RABC123.txt"
ln -s "$victim/Folder" "$user/\$RDEF456"
ln -s "$victim/notes.txt" "$user/\$RGHI789.txt"

out=$(cli fix advanced.corrupted-recycle-bin --drive C)
printf '%s\n' "$out"
expect_eq "what the links in the Recycle Bin lead to" "$(snapshot)" "$before"
[ ! -e "$user/\$RABC123.txt" ] || fail "the Recycle Bin's own item was not deleted"
# Wine opens a Unix link as what it leads to even when asked for the link itself,
# so removing one would delete its target: the repair leaves the links, names one
# and fails.  (On Windows the links are removed as links and the repair succeeds.)
printf '%s\n' "$out" | grep -qx 'exit=2' || fail "a Recycle Bin with links left in it was reported as emptied"
printf '%s\n' "$out" | grep -qF 'Cannot delete folder "C:\$Recycle.Bin".' ||
  fail "the folder that stayed is not named"
printf '%s\n' "$out" | grep -qF 'is a link that cannot be removed without reaching what it leads to' ||
  fail "the reason is not given"
rm -rf "$bin" "$victim"
