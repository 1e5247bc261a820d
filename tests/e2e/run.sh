#!/usr/bin/env bash
# End-to-end tests: starts the real Korvane.exe under Wine on an X display,
# drives it with korvane_driver.exe and checks the registry and files afterwards.
#
#   bash tests/e2e/run.sh [SCENARIO-NAME...]
#
# Uses DISPLAY and WINEPREFIX when they are set (scripts/test.sh sets both);
# otherwise it starts its own Xvfb and uses build/wineprefix-e2e.  The prefix's
# wineserver is restarted on the display before the first scenario.  The build
# folder is build/windows unless KORVANE_BUILD_DIR says otherwise.
# Prints one PASS/FAIL line per scenario and "N passed, M failed" last; exits
# non-zero when any scenario failed.  Screenshots go to build/artifacts/screenshots,
# each scenario's full output to build/artifacts/e2e.
set -uo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
HERE=$ROOT/tests/e2e

export E2E_ROOT=$ROOT
export E2E_BUILD=${KORVANE_BUILD_DIR:-$ROOT/build/windows}
export E2E_SHOTS=$ROOT/build/artifacts/screenshots
LOGS=$ROOT/build/artifacts/e2e
mkdir -p "$E2E_SHOTS" "$LOGS"
rm -f "$E2E_SHOTS"/FAILED-*.png  # pictures of an earlier failed run would mislead

# A scenario that is still running after this long is stopped and fails.
SCENARIO_LIMIT=${E2E_SCENARIO_LIMIT:-300}

started=$SECONDS
own_xvfb=0
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
  . scripts/wine-env.sh "$ROOT/build/wineprefix-e2e" win10
  korvane_prefix_init
  own_prefix=1
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  . scripts/xvfb.sh
  korvane_start_xvfb || { echo "FAIL setup: no X display"; echo "0 passed, 1 failed"; exit 1; }
  own_xvfb=1
fi

# Wine's desktop process keeps the display it was started with.  A server whose
# desktop came up before the X display existed (scripts/test.sh prepares the
# prefix first) never shows a window, so the server is started afresh here, on
# this display.  Output detached, so that nothing holds on to this script's pipes.
timeout -k 5 60 wineserver -k </dev/null >/dev/null 2>&1
timeout -k 5 60 wineserver -w </dev/null >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1
timeout -k 5 120 wine wineboot </dev/null >/dev/null 2>&1

for f in "$E2E_BUILD/Korvane.exe" "$E2E_BUILD/korvane_driver.exe"; do
  if [ ! -f "$f" ]; then
    echo "FAIL setup: $f is missing (build the Windows target first)"
    echo "0 passed, 1 failed"
    exit 1
  fi
done

# Leaves nothing of a scenario behind for the next one: the program is ended by
# the driver, or by taskkill if the driver cannot, and the prefix reports
# Windows 10 again even when a version scenario stopped half-way.
cleanup() {
  timeout -k 5 30 wine "$E2E_BUILD/korvane_driver.exe" kill </dev/null >/dev/null 2>&1 ||
    timeout -k 5 30 wine taskkill /f /im Korvane.exe </dev/null >/dev/null 2>&1 || true
  timeout -k 5 60 wine winecfg -v win10 </dev/null >/dev/null 2>&1 || true
}

passed=0
failed=0
scenarios=("$HERE"/scenarios/*.sh)
for script in "${scenarios[@]}"; do
  name=$(basename "$script" .sh)
  name=${name#[0-9][0-9]-}
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  log="$LOGS/$name.log"
  timeout -k 10 "$SCENARIO_LIMIT" bash -c '. "$1"; . "$2"' _ "$HERE/lib.sh" "$script" >"$log" 2>&1
  rc=$?
  if [ $rc -eq 0 ]; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    [ $rc -eq 124 ] && echo "  stopped after ${SCENARIO_LIMIT}s" >>"$log"
    echo "FAIL $name"
    # What the scenario saw, and the screen as it was left.
    sed 's/^/    /' "$log" | tail -n 25
    timeout 30 import -window root "$E2E_SHOTS/FAILED-$name.png" >/dev/null 2>&1 || true
    failed=$((failed + 1))
  fi
  cleanup
done

[ "$own_prefix" = 1 ] && korvane_prefix_stop
[ "$own_xvfb" = 1 ] && korvane_stop_xvfb
echo "end-to-end wall time: $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
