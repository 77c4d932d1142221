#!/bin/sh -eu
# rpm_sign_test.sh CPACK_CONFIG: a throwaway GnuPG key signs the RPM, which rpm -K accepts once the key is imported.
s=$(mktemp -d) && export GNUPGHOME="$s" && trap 'gpgconf --kill all; rm -rf "$s"' EXIT
gpg --batch --passphrase '' --quick-gen-key signer@mb.invalid rsa2048 sign 2>/dev/null && gpg -a --export >"$s/k"
cpack -G RPM --config "$1" -B "$s/out" -D CPACK_MB_GPG_KEY=signer@mb.invalid >/dev/null
rpm --dbpath "$s/db" --import "$s/k" && rpm --dbpath "$s/db" -K "$s"/out/*.rpm | grep -q 'digests signatures OK$'
