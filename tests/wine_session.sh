#!/bin/sh
# Prepares (start) or ends (stop) the Wine session the Windows tests run in, or
# runs a Windows program in it (run). The prefix is 64-bit in $2/wineprefix, or
# with WINEARCH=win32 32-bit in $2/wineprefix-win32. It is made once (anew when
# an earlier run left an install in it or it has the other architecture); a
# persistent wineserver started here with its output on /dev/null keeps each
# test run short and keeps Wine's background processes from holding CTest's
# output pipes open.
set -e
export WINEARCH="${WINEARCH:-win64}"
case "$WINEARCH" in
  win64) export WINEPREFIX="$2/wineprefix" ;;
  win32) export WINEPREFIX="$2/wineprefix-win32" ;;
  *) echo "WINEARCH is win64 (the default) or win32, not '$WINEARCH'" >&2; exit 2 ;;
esac
if [ "$1" = run ]; then
  shift 2
  exec wine "$@"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$1" in
  start)
    if [ "$WINEARCH" = win64 ] && ! command -v wine64 >/dev/null && [ ! -x /usr/lib/wine/wine64 ]; then
      echo "A 64-bit Wine prefix needs Wine's 64-bit loader (Debian: apt-get install wine64);" \
        "WINEARCH=win32 runs the tests in a 32-bit prefix instead." >&2
      exit 1
    fi
    # A run stopped in the middle of an install leaves a package registered
    # that no later build's package can remove: such a prefix is made anew.
    if [ -f "$WINEPREFIX/system.reg" ] && { grep -qi mergebridge "$WINEPREFIX/system.reg" ||
        ! grep -qx "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; }; then
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
