# Sourced by the scripts: a throwaway Wine prefix inside the build tree, set up
# the way the tests and the run command need it.  Usage: . scripts/wine-env.sh PREFIX [win10|win7|...]
KORVANE_PREFIX="$1"
KORVANE_WINVER="${2:-win10}"
export WINEPREFIX="$KORVANE_PREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

korvane_prefix_init() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    # A late step of the first boot can overwrite keys written right after it.
    wineserver -w </dev/null >/dev/null 2>&1 || true
    # A crash must end with an exit code, never wait for a click.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1  || true
    # Wine draws the title bars itself: no window manager is needed and closing a
    # window does not stall.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  fi
  wine winecfg -v "$KORVANE_WINVER" </dev/null >/dev/null 2>&1 || true
  # Keep the server and services alive with their output detached, so nothing
  # inherits the caller's pipes.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

korvane_prefix_stop() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
