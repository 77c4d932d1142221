#!/bin/sh
# The RPM made by CPack: what it holds and what it needs read back, then it is
# installed into a scratch root and a compare is run from there on the stand-in
# Velmora.   rpm_test.sh PACKAGE STANDIN
set -eu
package=$1 tool=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

files=$(rpm -qlp "$package")
[ "$files" = "/usr/bin/mergebridge
/usr/bin/mergebridge-setup
/usr/share/doc/mergebridge
/usr/share/doc/mergebridge/LICENSE
/usr/share/doc/mergebridge/README.md
/usr/share/man/man1/mergebridge-setup.1
/usr/share/man/man1/mergebridge.1" ] || { printf 'files:\n%s\n' "$files"; exit 1; }
# Static programs: no C or C++ library, of whatever version, is needed.
if rpm -qp --requires "$package" | grep -v '^rpmlib('; then echo 'needs the above'; exit 1; fi
[ "$(rpm -qp --qf '%{LICENSE}|%{SUMMARY}' "$package")" = \
  'MIT|Runs an interactive compare and merge tool for ClearCase' ]

rpm --root "$scratch/root" --initdb
rpm --root "$scratch/root" -i --nodeps "$package"
mkdir -p "$scratch/config/mergebridge"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Harnvik\\Velmora]\n"ExePath"="%s"\n' "$tool" \
  >"$scratch/config/mergebridge/registry.reg"
echo a >"$scratch/left"
echo b >"$scratch/right"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$scratch/config" STANDIN_RECORD="$scratch/record" \
  "$scratch/root/usr/bin/mergebridge" "$scratch/left" "$scratch/right"
grep -qx "$scratch/right" "$scratch/record"
