#!/usr/bin/env bash
# Korvane.exe embeds the 32-bit restart helper.  Without the compiler that builds it,
# configuring the Windows build must stop with a message that names the compiler,
# rather than go on towards a program whose "Restart explorer.exe" does nothing.
#   restart-helper-required.sh SOURCE-DIR    (exit 77: no MinGW-w64 here to try with)
set -uo pipefail
src=$1
command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "no MinGW-w64 cross compiler"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
missing=korvane-no-such-i686-g++
rc=0
out=$(cmake -S "$src" -B "$tmp" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DKORVANE_I686_CXX=$missing 2>&1) || rc=$?
if [ $rc -eq 0 ]; then
  echo "configured without the restart helper's compiler"
  exit 1
fi
if ! grep -q "$missing" <<<"$out" || ! grep -qi "restart helper" <<<"$out"; then
  echo "the configure step failed without naming the helper's compiler:"
  echo "$out" | tail -20
  exit 1
fi
echo "refused: $(grep -i -m1 'restart helper' <<<"$out")"
