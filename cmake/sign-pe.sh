#!/bin/sh
# sign-pe.sh CONFIG FILE: signs FILE (a program, a DLL, an installer or a
# Windows Installer package) in place with Authenticode, SHA-256. CONFIG,
# written by cmake/signing.cmake, names the PKCS#12 file, the timestamp server
# (optional), osslsigncode and the source tree. The password comes from
# MERGEBRIDGE_SIGN_PASSWORD and reaches openssl and osslsigncode through a pipe
# only: it is never on a command line nor in a file.
#
# Without a timestamp server the signature records the source's time
# (cmake/source-date-epoch.sh), so that a signed build repeats byte for byte.
# Any fault ends with one line naming FILE and the cause, status 1, and FILE
# removed, so that no unsigned file stays under the name of a signed one.
set -u
case $1 in /*) . "$1" ;; *) . "./$1" ;; esac
file=$2
fail() {
  rm -f "$file" "$file.signing"
  echo "signing $file: $*" >&2
  exit 1
}
password() { printf '%s\n' "${MERGEBRIDGE_SIGN_PASSWORD-}"; }

command -v "$MB_OSSLSIGNCODE" >/dev/null 2>&1 ||
  fail "osslsigncode is not installed (scripts/install-deps installs it)"
[ -e "$MB_PKCS12" ] || fail "$MB_PKCS12 does not exist"
[ -f "$MB_PKCS12" ] && [ -r "$MB_PKCS12" ] || fail "$MB_PKCS12 cannot be read"

# The certificate, checked before signing: osslsigncode signs with whatever
# it is given, and Windows rejects the result only on the user's machine.
cert=$(password | openssl pkcs12 -in "$MB_PKCS12" -passin stdin -nokeys -clcerts 2>&1) ||
  cert=$(password | openssl pkcs12 -legacy -in "$MB_PKCS12" -passin stdin -nokeys -clcerts 2>&1) || {
    case $cert in
      *"mac verify failure"*|*"verify error"*)
        fail "wrong password for $MB_PKCS12 (MERGEBRIDGE_SIGN_PASSWORD)" ;;
      *) fail "$MB_PKCS12 is not a PKCS#12 file openssl can read" ;;
    esac
  }
case $cert in
  *"BEGIN CERTIFICATE"*) ;;
  *) fail "$MB_PKCS12 holds no certificate" ;;
esac
printf '%s\n' "$cert" | openssl x509 -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
  fail "the certificate in $MB_PKCS12 is not for code signing (no Code Signing extended key use)"
printf '%s\n' "$cert" | openssl x509 -noout -checkend 0 >/dev/null 2>&1 ||
  fail "the certificate in $MB_PKCS12 has expired"
start=$(printf '%s\n' "$cert" | openssl x509 -noout -startdate | sed 's/^notBefore=//')
[ "$(date -d "$start" +%s)" -le "$(date +%s)" ] ||
  fail "the certificate in $MB_PKCS12 is not valid before $start"

if [ -n "$MB_TIMESTAMP_URL" ]; then
  when="-ts $MB_TIMESTAMP_URL"
else
  when="-time $("$MB_SOURCE_DIR/cmake/source-date-epoch.sh" "$MB_SOURCE_DIR")"
fi
rm -f "$file.signing"
# shellcheck disable=SC2086 # $when is two words
out=$(password | "$MB_OSSLSIGNCODE" sign -pkcs12 "$MB_PKCS12" -readpass /dev/stdin -h sha256 \
  -n mergebridge $when -in "$file" -out "$file.signing" 2>&1) ||
  fail "osslsigncode failed: $(printf '%s\n' "$out" | grep -v '^\s*$' | tail -n 1)"
mv -f "$file.signing" "$file" || fail "cannot replace it with its signed copy"
