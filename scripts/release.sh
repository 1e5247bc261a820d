#!/usr/bin/env bash
# Builds Korvane.exe and KorvaneCli.exe from the current tree in a fresh Release
# folder and packs them into dist/:
#   Korvane-<version>-win64.zip         the programs, README.md, LICENSE, SHA256SUMS
#   Korvane-<version>-win64.zip.sha256
#   winget/                             the three winget manifests
#   scoop/korvane.json                  the Scoop manifest
# The version is the one the build takes from CMake's project(); the manifests
# are made from it and the zip's hash.
#
#   bash scripts/release.sh [--build-dir DIR] [--out DIR]
#
# The same commit gives the same bytes on every run: link time stamps are off,
# no folder of the build machine reaches the programs, and the zip's entries
# carry the commit's time (SOURCE_DATE_EPOCH, unless it is set already).
set -euo pipefail

# Where releases are published (a placeholder until the project has its page).
# A release's zip is expected at $RELEASE_PAGE/download/v<version>/<zip name>.
RELEASE_PAGE="https://korvane.example.com/releases"

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/release
OUT=$ROOT/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir | --out)
      [ $# -ge 2 ] || { echo "release.sh: $1 needs a folder" >&2; exit 2; }
      if [ "$1" = --out ]; then OUT=$(realpath -m "$2"); else BUILD=$(realpath -m "$2"); fi
      shift 2 ;;
    *) echo "usage: bash scripts/release.sh [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done
cd "$ROOT"
JOBS=$(nproc 2>/dev/null || echo 2)

bash scripts/install-deps.sh

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    { echo "release.sh: not a git checkout; set SOURCE_DATE_EPOCH to the release's time" >&2; exit 1; }
  if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
    echo "note: the tree has uncommitted changes; this is not a build of commit $(git rev-parse --short HEAD)"
  fi
fi
export SOURCE_DATE_EPOCH

# A fresh folder, so nothing of an earlier build or configuration gets in.  Only
# a folder that is empty or holds a CMake build is ever removed.
if [ -e "$BUILD" ] && [ -n "$(ls -A "$BUILD")" ] && [ ! -f "$BUILD/CMakeCache.txt" ]; then
  echo "release.sh: $BUILD is not a build folder; not removing it" >&2
  exit 1
fi
rm -rf "$BUILD"
mkdir -p "$BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log" >&2; exit 1; }
ninja -C "$BUILD" -j "$JOBS" Korvane KorvaneCli
bash scripts/check-binary.sh "$BUILD/Korvane.exe" comctl32.dll
bash scripts/check-binary.sh "$BUILD/KorvaneCli.exe"

VERSION=$(cat "$BUILD/version.txt")
mkdir -p "$OUT"
rm -rf "$OUT/winget" "$OUT/scoop"
rm -f "$OUT"/Korvane-*-win64.zip "$OUT"/Korvane-*-win64.zip.sha256
python3 tools/release/package.py --version "$VERSION" --release-page "$RELEASE_PAGE" \
  --epoch "$SOURCE_DATE_EPOCH" --programs "$BUILD" --docs "$ROOT" --out "$OUT" >/dev/null
python3 tests/release/check_package.py "$OUT" "$VERSION"

echo
echo "Korvane $VERSION"
(cd "$BUILD" && sha256sum Korvane.exe KorvaneCli.exe)
(cd "$OUT" && cat "Korvane-$VERSION-win64.zip.sha256")
