#!/bin/sh
# packages_test.sh DIR NEWER STANDIN: the RPM's files, license, summary and needs
# (a shell for its scripts; the programs are static), and a compare through the
# programs it installed into a scratch root. Then, as root, the .deb and the RPM
# of DIR in a scratch root where their scripts run (a static busybox as its
# shell) around an install into a ClearCase there that is not on PATH: an
# upgrade to NEWER's, a removal refused while the setup lock is held, the
# removal, the purge.
set -eu
dir=$1 newer=$2 tool=$3 scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
package=$(echo "$dir"/*.rpm)
[ "$(rpm -qlp "$package" | tr '\n' ' ')" = "/usr/bin/mergebridge /usr/bin/mergebridge-setup \
/usr/share/doc/mergebridge /usr/share/doc/mergebridge/LICENSE /usr/share/doc/mergebridge/README.md \
/usr/share/man/man1/mergebridge-setup.1 /usr/share/man/man1/mergebridge.1 " ]
[ -z "$(rpm -qp --requires "$package" | grep -v -e '^rpmlib(' -e '^/bin/sh$')" ]
[ "$(rpm -qp --qf '%{LICENSE}|%{SUMMARY}' "$package")" = 'MIT|Runs an interactive compare and merge tool for ClearCase' ]
rpm --root "$scratch/root" --initdb
rpm --root "$scratch/root" -i --nodeps "$package"
export XDG_CONFIG_HOME="$scratch/config" STANDIN_RECORD="$scratch/record" doc=$scratch/root/usr/share/doc/mergebridge
"$scratch/root/usr/bin/mergebridge-setup" register "$tool" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY "$scratch/root/usr/bin/mergebridge" "$doc/README.md" "$doc/LICENSE"
grep -qx "$doc/LICENSE" "$scratch/record"
[ "$(id -u)" = 0 ] || { echo "the package's scripts run in a chroot: root only"; exit 77; }

# A step of the package manager on $root (new, add DIR's package, remove,
# purge, version: what it says of the package).
deb_step() {
  case $1 in
    new) mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"; : >"$root/var/lib/dpkg/status" ;;
    add) dpkg --root="$root" -i "$2"/*.deb ;;
    remove) dpkg --root="$root" -r mergebridge ;;
    purge) dpkg --root="$root" -P mergebridge ;;
    version) dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${db:Status-Status} ${Version}' mergebridge ;;
  esac
}
rpm_step() {
  case $1 in
    new) rpm --root "$root" --initdb ;;
    add) rpm --root "$root" -U --nodeps "$2"/*.rpm ;;
    remove) rpm --root "$root" -e mergebridge ;;
    purge) ;;
    version) rpm --root "$root" -q --qf 'installed %{VERSION}-%{RELEASE}' mergebridge ;;
  esac
}
# The methods and the records: every name but the folders.
state() { (cd "$root" && find opt var/lib/mergebridge ! -type d -printf '%p %l %s\n' 2>/dev/null | sort); }
for kind in deb rpm; do
  root=$scratch/$kind mgrs=$scratch/$kind/opt/cc/lib/mgrs
  mkdir -p "$root/bin" "$root/var/lib" "$root/var/tmp" "$mgrs/text_file_delta"
  cp /bin/busybox "$root/bin/"
  ln -s busybox "$root/bin/sh"
  ln -s busybox "$root/bin/rm"
  ln -s ../../../bin/cleardiffmrg "$mgrs/text_file_delta/xcompare"
  echo 'exit 3' >"$mgrs/text_file_delta/xmerge"
  before=$(state) upgrade=$(rpm -qp --qf %{VERSION}-%{RELEASE} "$newer"/*.rpm)
  ${kind}_step new
  ${kind}_step add "$dir"
  # --bridge: without /proc in the root the program cannot find its own folder.
  chroot "$root" /usr/bin/mergebridge-setup install --clearcase /opt/cc --bridge /usr/bin/mergebridge
  installed=$(state)
  grep -qx /opt/cc/lib/mgrs "$root/var/lib/mergebridge/%2Fopt%2Fcc%2Flib%2Fmgrs"
  [ "$(readlink "$mgrs/text_file_delta/xmerge")" = /usr/bin/mergebridge ]
  ${kind}_step add "$newer"
  [ "$(state)" = "$installed" ]
  [ "$(${kind}_step version)" = "installed $upgrade" ]
  exec 9<"$mgrs"
  flock 9
  ${kind}_step remove && exit 1
  exec 9<&-
  [ "$(state)" = "$installed" ]
  [ "$(${kind}_step version)" = "installed $upgrade" ]
  ${kind}_step remove
  [ "$(state)" = "$before" ]
  ${kind}_step purge
  [ ! -e "$root/var/lib/mergebridge" ]
  [ ! -e "$root/usr/bin/mergebridge-setup" ]
done
