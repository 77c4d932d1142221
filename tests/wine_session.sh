#!/bin/sh
# Prepares (start) or ends (stop) the Wine session the Windows tests run in, or
# runs a Windows program in it (run). Its prefix is $2, 64-bit, or with
# WINEARCH=win32 $2-win32, 32-bit; it is made once. A persistent wineserver
# started here with its output on /dev/null keeps each test run short and keeps
# Wine's background processes from holding CTest's output pipes open.
set -e
export WINEARCH="${WINEARCH:-win64}" WINEPREFIX="$2" WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
[ "$WINEARCH" = win64 ] || WINEPREFIX="$2-$WINEARCH"
[ "$1" != run ] || { shift 2; exec wine "$@"; }
case "$1" in
  start)
    case $WINEARCH in win32 | win64) ;; *) echo "WINEARCH is win64 (the default) or win32" >&2; exit 2 ;; esac
    [ "$WINEARCH" = win32 ] || [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || {
      echo "A 64-bit Wine prefix needs Wine's 64-bit loader: apt-get install wine64" \
        "(or WINEARCH=win32 for a 32-bit prefix)" >&2; exit 1; }
    # A prefix of the other architecture, or with a package that a run stopped
    # mid-install left registered (no later build's package can remove it), is made anew.
    reg=$WINEPREFIX/system.reg
    if [ -f "$reg" ] && { grep -qi mergebridge "$reg" || ! grep -qx "#arch=$WINEARCH" "$reg"; }; then
      wineserver -k >/dev/null 2>&1 </dev/null || true
      rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$reg" ]; then
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
    wineserver -w >/dev/null 2>&1 </dev/null || true
    # What Wine's processes still held when a test ended goes with them, and so
    # does the server's folder, named after the prefix's device and inode,
    # which the server leaves behind in a folder of its own in /tmp.
    rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/mb-*
    server=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    for folder in "${TMPDIR:-/tmp}"/wine-*/"$server"; do
      [ -d "$folder" ] && rm -rf "$folder" && rmdir "${folder%/*}" 2>/dev/null || true
    done
    ;;
esac
