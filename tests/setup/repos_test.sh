#!/bin/sh -eu
# repos_test.sh SOURCE BUILD: the Linux half of a release signed by a throwaway GnuPG key. apt-get (downloading into a
# scratch folder) and dnf (metadata in a scratch root) take its repositories with that key alone, and refuse them once a
# signed byte changes; verify-release finds it identical to BUILD's packages, then not (a changed Release; an RPM whose
# signature no longer verifies).
s=$(mktemp -d) && export GNUPGHOME="$s/g" LC_ALL=C && trap 'gpgconf --kill all; rm -rf "$s"' EXIT && cd "$s"
mkdir -m 700 g && mkdir -p d a/partial && k=$s/d/mergebridge-release-key.asc
gpg --batch --passphrase '' --quick-gen-key me@mb.invalid rsa2048 sign 2>/dev/null && gpg -a --export >"$k"
export SOURCE_DATE_EPOCH="$("$1/cmake/source-date-epoch.sh" "$1")"
cpack -G 'DEB;TGZ;RPM' --config "$2/CPackConfig.cmake" -B p -D CPACK_MB_GPG_KEY=me@mb.invalid \
  -D CPACK_RPM_PACKAGE_RELEASE=3 -D CPACK_DEBIAN_PACKAGE_RELEASE=3 >/dev/null && cp p/*.* d
printf 'commit=%s\nmodified=no\nsource_date_epoch=%s\npackage_release=3\n' "$(git -C "$1" rev-parse HEAD)" \
  "$SOURCE_DATE_EPOCH" >d/SOURCE && "$1/scripts/make-repos" --sign me@mb.invalid d
(cd d && sha256sum $(ls -p | grep -v -e / -e asc) >SHA256SUMS && gpg -ab SHA256SUMS)
"$1/scripts/verify-release" --build "$2" d >/dev/null
echo "deb [signed-by=$k] file:$s/d/repo/deb ./" >l && o="-qq -o Dir::Etc::SourceList=$s/l -o Dir::Etc::SourceParts=-
  -o Dir::Etc::TrustedParts=- -o Dir::State::Lists=$s/a -o Dir::Cache=$s/a -o Dir::State::status=/dev/null
  -o Debug::NoLocking=1 -o APT::Sandbox::User=$(id -un)" && apt-get $o update && apt-get $o download mergebridge
cmp mergebridge_*.deb d/mergebridge_*.deb
dnf() { command dnf -q -y --installroot "$s/r" --setopt=reposdir=- --setopt=cachedir="$s/c" --setopt=m.gpgcheck=1 \
  --setopt=m.repo_gpgcheck=1 --setopt=m.skip_if_unavailable=0 --setopt=m.gpgkey="file://$k" \
  --repofrompath "m,file://$s/d/repo/rpm" "$@"; }
dnf repoquery mergebridge 2>/dev/null | grep -qx 'mergebridge-0:.*\.x86_64'
sed -i 's/^Origin: mergebridge/Origin: mergebridgE/' d/repo/deb/*Release && sed -i 's/<revision>/<revision>1/' \
  d/repo/rpm/repodata/repomd.xml
apt-get $o --error-on=any update 2>/dev/null && exit 1
dnf --refresh repoquery mergebridge 2>/dev/null && exit 1
printf x | dd of="$(echo d/*.rpm)" bs=1 seek=400 conv=notrunc 2>/dev/null
"$1/scripts/verify-release" --build "$2" d | grep -cx -e 'different  *repo/deb/Release' -e 'bad signature  *.*rpm' |
  grep -qx 2
