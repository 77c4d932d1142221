#!/bin/sh
# attach-signature.sh SIGNATURES FILE: the signing command with which
# scripts/verify-release rebuilds a release (-DMERGEBRIDGE_SIGN_COMMAND): it
# puts the release's own Authenticode signature of FILE, taken out of the
# release beforehand as SIGNATURES/<name>.p7, on the rebuilt FILE in place,
# <name> being the name the build signs FILE under (mergebridge.exe,
# uninstall-steps.exe, mergebridge-<version>-win32.msi, ...). Where the rebuilt
# file is not the one the release signed, the result differs from the release's
# file, which verify-release tells.
set -u
sigs=$1 file=$2
signature=$sigs/${file##*/}.p7
[ -f "$signature" ] || {
  echo "the release holds no signed ${file##*/}: there is no signature to put on the rebuilt one" >&2
  exit 1
}
rm -f "$file.attached"
# Without a -CAfile that trusts the signer's chain, osslsigncode still writes
# the file but ends with status 1: what it wrote decides.
osslsigncode attach-signature -sigin "$signature" -in "$file" -out "$file.attached" >/dev/null 2>&1
[ -s "$file.attached" ] && mv -f "$file.attached" "$file" || {
  rm -f "$file.attached"
  echo "osslsigncode could not put the release's signature on $file" >&2
  exit 1
}
