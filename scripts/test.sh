#!/usr/bin/env bash
# Builds everything and runs every test tier:
#   0. the formatting of every C++ file (scripts/check-format.sh),
#   1. native unit tests (with AddressSanitizer and UBSan) and the payload checks,
#      then the fuzz targets on their checked-in corpora (scripts/fuzz.sh),
#   2. Windows integration tests, cross-built and run under Wine,
#   3. end-to-end tests that drive Korvane.exe under Xvfb + Wine,
#   4. two release builds that must be byte-identical, and their package check.
# Exits non-zero when any tier fails.  Artifacts (screenshots) land in build/artifacts.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc 2>/dev/null || echo 2)

bash scripts/install-deps.sh || { echo "dependency installation failed"; exit 1; }

failed=()
step() { echo; echo "=== $*"; }

step "formatting"
bash scripts/check-format.sh || failed+=("format")

# ----------------------------------------------------------------- tier 1
step "native build and unit tests"
mkdir -p build
if cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON >build/native-configure.log 2>&1; then
  if ninja -C build/native -j "$JOBS"; then
    (cd build/native && ctest --output-on-failure -j "$JOBS") || failed+=("unit")
  else
    failed+=("native build")
  fi
else
  cat build/native-configure.log; failed+=("native configure")
fi

step "fuzz targets on their corpora"
bash scripts/fuzz.sh || failed+=("fuzz")

# ----------------------------------------------------------------- tier 2
step "Windows cross build"
if cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
     -DCMAKE_BUILD_TYPE=Release >build/windows-configure.log 2>&1 && ninja -C build/windows -j "$JOBS"; then
  windows_ok=1
else
  cat build/windows-configure.log 2>/dev/null | tail -20
  failed+=("windows build"); windows_ok=0
fi

. scripts/wine-env.sh "$ROOT/build/wineprefix" win10
. scripts/xvfb.sh
if [ "$windows_ok" = 1 ]; then
  step "Windows integration tests under Wine"
  # Every run starts from a known Wine: a fresh prefix (whatever an earlier run left
  # in the old one, its server included, goes) and a display of its own, never one
  # the machine happens to have.
  WINEPREFIX="$ROOT/build/wineprefix" wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$ROOT/build/wineprefix" "$ROOT/build/wineprefix-e2e"
  unset DISPLAY
  # Some integration tests open windows too (the planted-DLL test starts Korvane).
  korvane_start_xvfb || failed+=("xvfb")
  korvane_prefix_init
  (cd build/windows && ctest --output-on-failure --timeout 300) || failed+=("wine integration")
  bash scripts/check-binary.sh build/windows/Korvane.exe --manifest requireAdministrator comctl32.dll || failed+=("binary checks")
  bash scripts/check-binary.sh build/windows/KorvaneCli.exe --manifest asInvoker || failed+=("binary checks")
  # The restart helper runs elevated from TEMP: its imports must be KnownDLLs too.
  bash scripts/check-binary.sh build/windows/RestartExp32.exe || failed+=("binary checks")
  bash scripts/check-binary.sh build/windows/RestartExp64.exe || failed+=("binary checks")

  # --------------------------------------------------------------- tier 3
  step "end-to-end tests under Xvfb + Wine"
  bash tests/e2e/run.sh || failed+=("end-to-end")
  korvane_stop_xvfb
  korvane_prefix_stop
fi

# ------------------------------------------------------------------ release
# Last, as the slowest: two Release builds of the programs in fresh folders must
# give the same bytes, and the packaged manifests must agree with the zip.
step "release: reproducible builds and package manifests"
bash tests/release/reproducible.sh || failed+=("release")

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED tiers: ${failed[*]}"
  exit 1
fi
echo "All test tiers passed."
