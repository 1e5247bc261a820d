#!/usr/bin/env bash
# Builds the release twice from the current tree and compares the results:
#   a: scripts/release.sh in this tree, into build/reproducible/a
#   b: the same on a copy of the tree elsewhere (another source and build folder)
# Both must give byte-identical programs, zip, checksum file and manifests; no
# folder of either build may appear in a program; the manifests must pass the
# release check.  Prints the hashes of both runs.  Takes two Release builds of
# the two programs.
set -uo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
WORK=$ROOT/build/reproducible
rm -rf "$WORK"
mkdir -p "$WORK/copy"

fail() {
  echo "FAILED: $*"
  exit 1
}

# Both runs use this tree's commit time, as a clean clone of it would.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) || fail "not a git checkout"
export SOURCE_DATE_EPOCH

# The copy holds what the tree holds now, committed or not, and no build.
git ls-files -z --cached --others --exclude-standard |
  tar -c --null -T - | tar -x -C "$WORK/copy" || fail "cannot copy the tree"

run() {  # name, source folder
  local log=$WORK/release-$1.log
  if ! bash "$2/scripts/release.sh" --build-dir "$WORK/$1/build" --out "$WORK/$1/dist" >"$log" 2>&1; then
    tail -n 30 "$log"
    fail "release build $1 failed (log: $log)"
  fi
}
run a "$ROOT"
run b "$WORK/copy"

version=$(cat "$WORK/a/build/version.txt")
zip=Korvane-$version-win64.zip
status=0
for f in build/Korvane.exe build/KorvaneCli.exe build/RestartExp32.exe "dist/$zip" "dist/$zip.sha256"; do
  ha=$(sha256sum <"$WORK/a/$f" | cut -d' ' -f1)
  hb=$(sha256sum <"$WORK/b/$f" | cut -d' ' -f1)
  echo "$(basename "$f"): $ha / $hb"
  [ "$ha" = "$hb" ] || { echo "  differs between the two builds"; status=1; }
done
diff -r "$WORK/a/dist" "$WORK/b/dist" >/dev/null || { echo "the two dist folders differ"; status=1; }

# A build's folders in a program would make its bytes depend on where it was
# built (source file names in assertion texts, for one); look for them as
# 8-bit and as UTF-16 text.
python3 - "$ROOT" "$WORK"/a/build/*.exe "$WORK"/b/build/*.exe <<'PY' || status=1
import sys
root = sys.argv[1]
bad = 0
for exe in sys.argv[2:]:
    data = open(exe, "rb").read()
    for needle in (root.encode(), root.encode("utf-16-le")):
        if needle in data:
            print(f"{exe} holds the path {root}")
            bad = 1
sys.exit(bad)
PY

python3 tests/release/check_package.py "$WORK/a/dist" "$version" || status=1

if [ $status -ne 0 ]; then
  echo "FAILED: the release is not reproducible or not consistent (builds kept in $WORK)"
  exit 1
fi
rm -rf "$WORK/a/build" "$WORK/b/build" "$WORK/copy"
echo "Two builds of $version give identical programs and packages."
