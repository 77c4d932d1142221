#!/bin/sh
# Prepares (start) or ends (stop) the Wine session the Windows tests run in.
# The prefix is made once; a persistent wineserver started here with its output
# on /dev/null keeps each test run short and keeps Wine's background processes
# from holding CTest's output pipes open.
set -e
action=$1
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot -i >/dev/null 2>&1 </dev/null || true
      wineserver -w >/dev/null 2>&1 </dev/null || true
    fi
    # Fails when a session is still up (a test run that was stopped): that one does.
    wineserver -p >/dev/null 2>&1 </dev/null || true
    # With WINEDEBUG=+relay, every message box is traced with its text, caption
    # and style; the end-to-end cases read them from there.
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /f \
      /d 'user32.MessageBoxA;user32.MessageBoxW' >/dev/null 2>&1 </dev/null
    # Start Wine's own background services now, with their output on /dev/null,
    # so that no test's wine run is the one that spawns them.
    wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
    ;;
  stop)
    wineserver -k >/dev/null 2>&1 </dev/null || true
    ;;
esac
