#!/bin/sh
# sign-rpm.sh KEY PACKAGE: signs the RPM with rpmsign and the GnuPG key KEY
# from the user's keyring (GNUPGHOME where set). Any fault ends with one line
# naming the package and the cause, and status 1.
set -u
key=$1 package=$2
fail() {
  echo "signing $package: $*" >&2
  exit 1
}
command -v gpg >/dev/null 2>&1 || fail "gpg is not installed (scripts/install-deps installs it)"
command -v rpmsign >/dev/null 2>&1 || fail "rpmsign is not installed (scripts/install-deps installs it)"
gpg --batch --list-secret-keys -- "$key" >/dev/null 2>&1 ||
  fail "no secret key \"$key\" in the keyring ${GNUPGHOME:-~/.gnupg}"
# A key that has expired, was revoked or has no signing subkey signs nothing.
out=$(printf x | gpg --batch --yes --local-user "$key" --detach-sign -o /dev/null 2>&1) ||
  fail "the key \"$key\" cannot sign: $(printf '%s\n' "$out" | grep -v '^\s*$' | tail -n 1)"
# Debian's rpm calls gpg2, which Debian does not have.
out=$(rpmsign --define "_gpg_name $key" --define "__gpg $(command -v gpg)" --addsign "$package" 2>&1) ||
  fail "rpmsign failed: $(printf '%s\n' "$out" | grep -v '^\s*$' | tail -n 1)"
