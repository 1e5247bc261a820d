#!/usr/bin/env bash
# Builds Korvane.exe and starts it.  On Linux it runs under Wine in a throwaway
# prefix that reports Windows 10 and lets Wine draw the title bars.  Without a
# working display it starts a private Xvfb and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

bash scripts/install-deps.sh
# The toolchain file counts only when the build folder is first configured; CMake
# warns that it is unused when it is passed again.
toolchain=()
[ -f build/windows/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B build/windows -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build/windows Korvane

prefix=$(mktemp -d "$ROOT/build/wineprefix-run.XXXXXX")
. scripts/wine-env.sh "$prefix" win10
. scripts/xvfb.sh
cleanup() {
  korvane_prefix_stop
  rm -rf "$prefix"
  korvane_stop_xvfb
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  korvane_start_xvfb
fi
echo "Preparing a fresh Wine prefix (Windows 10) in $prefix ..."
korvane_prefix_init

echo "Starting Korvane.exe"
wine "$ROOT/build/windows/Korvane.exe" &
pid=$!
if [ "$headless" = 1 ]; then
  sleep 5
  mkdir -p build/artifacts
  import -window root build/artifacts/run.png 2>/dev/null && \
    echo "No display: Korvane runs on $DISPLAY; screenshot saved to build/artifacts/run.png."
  echo "Close it with: WINEPREFIX=$prefix wine taskkill /im Korvane.exe  (or press Ctrl+C)"
fi
wait $pid || true
