#!/bin/sh
# Prepares (start) or ends (stop) the Wine session the Windows tests run in.
# The prefix is made once (anew when an earlier run left an install in it); a
# persistent wineserver started here with its output on /dev/null keeps each
# test run short and keeps Wine's background processes from holding CTest's
# output pipes open.
set -e
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$1" in
  start)
    # A run stopped in the middle of an install leaves a package registered
    # that no later build's package can remove: such a prefix is made anew.
    if grep -qi mergebridge "$WINEPREFIX/system.reg" 2>/dev/null; then
      wineserver -k >/dev/null 2>&1 </dev/null || true
      rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1 </dev/null || true
      wineserver -w >/dev/null 2>&1 </dev/null || true
    fi
    # Fails when a session is still up (after a stopped test run): that one does.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    # Under WINEDEBUG=+relay every message box is traced with its text, caption
    # and style: the end-to-end cases read them there.
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /f \
      /d 'user32.MessageBoxA;user32.MessageBoxW' >/dev/null 2>&1 </dev/null
    # Wine's own background services start now, not in a test's wine run.
    wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    # What Wine's processes still held when a test ended goes with them.
    rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/mb-*
    ;;
esac
