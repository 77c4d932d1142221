#!/bin/sh
# rpm_test.sh PACKAGE STANDIN: the RPM's files, license, summary and needs (none:
# static programs), then a compare of two files it installed into a scratch root.
set -eu
package=$1 tool=$2 scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
[ "$(rpm -qlp "$package" | tr '\n' ' ')" = "/usr/bin/mergebridge /usr/bin/mergebridge-setup \
/usr/share/doc/mergebridge /usr/share/doc/mergebridge/LICENSE /usr/share/doc/mergebridge/README.md \
/usr/share/man/man1/mergebridge-setup.1 /usr/share/man/man1/mergebridge.1 " ]
[ -z "$(rpm -qp --requires "$package" | grep -v '^rpmlib(')" ]
[ "$(rpm -qp --qf '%{LICENSE}|%{SUMMARY}' "$package")" = 'MIT|Runs an interactive compare and merge tool for ClearCase' ]
rpm --root "$scratch/root" --initdb
rpm --root "$scratch/root" -i --nodeps "$package"
export XDG_CONFIG_HOME="$scratch/config" STANDIN_RECORD="$scratch/record" doc=$scratch/root/usr/share/doc/mergebridge
"$scratch/root/usr/bin/mergebridge-setup" register "$tool" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY "$scratch/root/usr/bin/mergebridge" "$doc/README.md" "$doc/LICENSE"
grep -qx "$doc/LICENSE" "$scratch/record"
