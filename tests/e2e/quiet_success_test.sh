#!/bin/sh
# A merge that works leaves no trace of its own: the bridge's own file-system
# calls (not Velmora's, which saves the result) open nothing for writing and
# make, move or remove nothing, and its state folder is never made.
# usage: quiet_success_test.sh BRIDGE VELMORA_STANDIN
set -eu
bridge=$1 tool=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/config/mergebridge"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\r\n"ExePath"="%s"\r\n' \
  "$tool" >"$dir/config/mergebridge/registry.reg"
printf 'one\n' >"$dir/a"
printf 'two\n' >"$dir/b"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$dir/config" XDG_CONFIG_DIRS="$dir/none" \
  XDG_STATE_HOME="$dir/state" HOME="$dir" \
  strace -o "$dir/trace" -e trace=open,openat,creat,mkdir,mkdirat,rename,renameat,renameat2,unlink,unlinkat,link,linkat,symlink,symlinkat \
  "$bridge" -out "$dir/out" -fname a@@/main/1 -fname b@@/main/2 "$dir/a" "$dir/b"
[ -e "$dir/out" ] || { echo "the stand-in did not save: nothing was tested"; exit 1; }
if grep -E 'O_WRONLY|O_RDWR|O_CREAT|^(creat|mkdir|rename|unlink|link|symlink)' "$dir/trace"; then
  echo "a merge that worked wrote the lines above"
  exit 1
fi
if [ -e "$dir/state" ]; then
  echo "a merge that worked made its state folder"
  exit 1
fi
