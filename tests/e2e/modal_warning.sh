#!/usr/bin/env bash
# The missing-output warning is a real modal window: under Wine on a virtual
# display, a merge whose tool ends with 0 without writing the output opens a
# window captioned "mergebridge"; mergebridge keeps running while it is open and
# exits 0 once it is dismissed. The Wine prefix is this test's own, so that its
# wineserver runs with the display and can be ended without touching the others.
#   modal_warning.sh <mergebridge.exe> <velmora-standin.exe> <prefix>
set -u
bridge=$1 tool=$2
export WINEPREFIX=$3 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
session="$(dirname "$0")/../wine_session.sh"

fail() {
  echo "FAIL: $*"
  cat "${work:-/nonexistent}/bridge.out" 2>/dev/null
  exit 1
}

for program in Xvfb xdotool wine wineserver; do
  command -v "$program" >/dev/null || fail "$program is missing (scripts/install-deps installs it)"
done

work=$(mktemp -d)
xvfb="" bridge_pid="" watchdog=""
cleanup() {
  [ -n "$watchdog" ] && kill "$watchdog" 2>/dev/null
  [ -n "$bridge_pid" ] && kill "$bridge_pid" 2>/dev/null
  if [ -n "$xvfb" ]; then
    timeout 30 "$session" stop "$WINEPREFIX"
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# Xvfb chooses a free display number itself and writes it to descriptor 3.
mkfifo "$work/displayfd"
exec 4<>"$work/displayfd"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/displayfd" >/dev/null 2>&1 </dev/null &
xvfb=$!
read -r -t 20 -u 4 number || fail "Xvfb did not report a display"
exec 4<&-
export DISPLAY=":$number"

timeout 120 "$session" start "$WINEPREFIX" || fail "could not start the Wine session in $WINEPREFIX"
timeout 30 wine reg add 'HKCU\Software\Harnvik\Velmora' /v ExePath /d "$(winpath "$tool")" /f \
  >/dev/null 2>&1 </dev/null || fail "could not register the tool"

printf 'one\ntwo\n' >"$work/ours.c"
printf 'one\nTWO\n' >"$work/theirs.c"
# The tool ends with 0 but writes nothing, as when the user closes it unsaved.
STANDIN_SAVE=no STANDIN_RECORD="$(winpath "$work/record.txt")" \
  wine "$bridge" -out "$(winpath "$work/out.c")" -fname src/hello.c@@/main/2 \
  "$(winpath "$work/ours.c")" "$(winpath "$work/theirs.c")" >"$work/bridge.out" 2>&1 </dev/null &
bridge_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^mergebridge$' 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "no window captioned mergebridge appeared within 30 s"
[ -f "$work/record.txt" ] || fail "the window is up but the tool never ran"

# Modal: a second later the program is still waiting for the user.
sleep 1
kill -0 "$bridge_pid" 2>/dev/null || fail "mergebridge ended while its warning was still open"

# Without a window manager the box only takes keys after a click into it.
xdotool mousemove --window "$window" 10 10 click 1
xdotool key Return

# A bounded wait that still ends the moment the program does.
sleep 30 >/dev/null 2>&1 </dev/null &
watchdog=$!
wait -n -p ended "$bridge_pid" "$watchdog"
status=$?
[ "$ended" = "$bridge_pid" ] || fail "mergebridge did not end within 30 s of the click and key"
bridge_pid=""
[ "$status" -eq 0 ] || fail "mergebridge ended with $status after the warning was dismissed"
[ ! -e "$work/out.c" ] || fail "the output file exists, so there was nothing to warn about"
echo "PASS: modal warning, exit code 0 after it was dismissed"
