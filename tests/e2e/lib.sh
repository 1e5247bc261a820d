# Helpers for the end-to-end scenarios; sourced by run.sh into each scenario's
# own bash process.  A scenario stops at the first failed check (fail exits).
#
# Set by run.sh: E2E_BUILD (folder with Korvane.exe and korvane_driver.exe),
# E2E_SHOTS (screenshot folder), E2E_ROOT (source tree), WINEPREFIX, DISPLAY.

KORVANE_EXE="$E2E_BUILD/Korvane.exe"
DRIVER_EXE="$E2E_BUILD/korvane_driver.exe"
KORVANE_PID=""

fail() {
  echo "  FAILED: $*"
  exit 1
}

note() { echo "  $*"; }

# The driver, bounded: every command has its own shorter timeout inside.  The
# driver explains every failure on stderr; a failure without a word means it
# never got to run (Wine did not start it), and it is started once more.
drv() {
  local rc attempt err
  err=$(mktemp)
  for attempt in 1 2; do
    rc=0
    timeout -k 5 90 wine "$DRIVER_EXE" "$@" </dev/null 2>"$err" || rc=$?
    cat "$err" >&2
    if [ "$rc" = 0 ] || [ -s "$err" ]; then break; fi
    echo "  (driver '$1' ended with code $rc and said nothing, attempt $attempt)" >&2
  done
  rm -f "$err"
  return "$rc"
}

# Runs a Wine command line tool and drops the CRs of its console output.  Every
# tool used here prints something, on success or failure; one that prints
# nothing at all did not really run, and is started once more.
wine_tool() {
  local rc attempt out err
  err=$(mktemp)
  for attempt in 1 2; do
    rc=0
    out=$(timeout -k 5 60 wine "$@" </dev/null 2>"$err") || rc=$?
    if [ -n "$out" ] || [ -s "$err" ]; then break; fi
    echo "  ($1 ended with code $rc and said nothing, attempt $attempt)" >&2
  done
  tr -d '\r' <"$err" >&2
  rm -f "$err"
  [ -z "$out" ] || printf '%s\n' "$out" | tr -d '\r'
  return "$rc"
}

start_korvane() {
  wine "$KORVANE_EXE" </dev/null >/dev/null 2>&1 &
  KORVANE_PID=$!
}

# Starts the program and waits for its window.
launch() {
  start_korvane
  drv wait-main 30000 >/dev/null || fail "the main window did not appear"
}

# Waits for the program to end and checks its exit code.
expect_exit() {
  local want="$1"
  drv wait-exit 15000 || fail "Korvane.exe did not end"
  local rc=0
  wait "$KORVANE_PID" || rc=$?
  [ "$rc" = "$want" ] || fail "Korvane.exe exit code $rc, expected $want"
}

expect_eq() {
  local what="$1" actual="$2" expected="$3"
  [ "$actual" = "$expected" ] || fail "$what: got '$actual', expected '$expected'"
}

# expect_box TITLE TEXT ICON [ANSWER]
expect_box() {
  drv box-expect 20000 "$@" || fail "message box '$2' (see above)"
}

# Saves a picture of the program's windows (all of them, so a dialog or box in
# front of the main window is in the picture too).
shot() {
  local name="$1" geometry
  sleep 0.4  # let the last change paint
  geometry=$(drv geometry | tr -d '\r') || fail "nothing on screen to photograph"
  timeout 30 import -window root -crop "$geometry" +repage "$E2E_SHOTS/$name.png" ||
    fail "screenshot $name"
}

# reg_get KEY NAME: prints "TYPE DATA" of a value ("" names the default value);
# fails when there is no such value.
reg_get() {
  local key="$1" name="$2" out
  if [ -z "$name" ]; then
    out=$(wine_tool reg query "$key" /ve) || return 1
    name="(Default)"
  else
    out=$(wine_tool reg query "$key" /v "$name") || return 1
  fi
  printf '%s\n' "$out" | awk -v n="$name" -F '    ' '$2 == n { print $3 " " $4; found = 1 } END { exit !found }'
}

reg_expect() {
  local key="$1" name="$2" expected="$3" actual
  actual=$(reg_get "$key" "$name") || fail "$key [${name:-(Default)}] is missing"
  expect_eq "$key [${name:-(Default)}]" "$actual" "$expected"
}

reg_expect_absent() {
  local key="$1" name="$2"
  if reg_get "$key" "$name" >/dev/null; then
    fail "$key [$name] is still there: $(reg_get "$key" "$name")"
  fi
}

reg_set() {
  wine_tool reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null || fail "could not set $1 [$2]"
}

# Unix path of a Windows path inside the prefix.
unix_path() { wine_tool winepath -u "$1"; }

# Windows' own folders as this prefix names them.
windows_dir() { wine_tool cmd /c 'echo %windir%'; }
temp_dir() { unix_path "$(wine_tool cmd /c 'echo %TEMP%')"; }

# wait_until TIMEOUT-SECONDS COMMAND...: polls the command every 0.2 s.
wait_until() {
  local limit="$1"
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}

# Strips leading and trailing blanks (for the columns of the case tables).
trim() {
  local s="$*"
  s="${s#"${s%%[![:space:]]*}"}"
  s="${s%"${s##*[![:space:]]}"}"
  printf '%s' "$s"
}
