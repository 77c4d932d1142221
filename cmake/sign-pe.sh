#!/bin/sh
# sign-pe.sh CONFIG FILE [NAME]: signs FILE (a program, a DLL, an installer or a
# Windows Installer package) in place with Authenticode, SHA-256. CONFIG,
# written by cmake/signing.cmake, says how (MB_SIGN_WITH):
# - pkcs12: the key in the PKCS#12 file MB_PKCS12, its password from
#   MERGEBRIDGE_SIGN_PASSWORD;
# - pkcs11: the key MB_PKCS11_KEY in the token of the PKCS#11 module
#   MB_PKCS11_MODULE, its PIN from MERGEBRIDGE_SIGN_PIN, the chain MB_CERT;
# - command: `MB_COMMAND FILE` run in the source folder, which signs FILE.
# A password or PIN reaches openssl and osslsigncode through a pipe only: it is
# never on a command line nor in a file. NAME: FILE is signed as a copy of
# that name (the NSIS uninstaller, which makensis writes to a temporary file).
#
# Without a timestamp server the signature records the source's time
# (cmake/source-date-epoch.sh), so that a signed build repeats byte for byte.
# Any fault ends with one line naming FILE and the cause, status 1, and FILE
# removed, so that no unsigned file stays under the name of a signed one.
set -u
case $1 in /*) . "$1" ;; *) . "./$1" ;; esac
case $2 in /*) file=$2 ;; *) file=$PWD/$2 ;; esac
target=$file work=""
fail() {
  rm -f "$target" "$file.signing"
  [ -z "$work" ] || rm -rf "$work"
  echo "signing $target: $*" >&2
  exit 1
}
secret() {
  if [ "$MB_SIGN_WITH" = pkcs11 ]; then printf '%s\n' "$MERGEBRIDGE_SIGN_PIN"; else
    printf '%s\n' "${MERGEBRIDGE_SIGN_PASSWORD-}"; fi
}
# Fails unless the certificate ($1, PEM, from $2) may sign code now:
# osslsigncode signs with whatever it is given, and Windows rejects the result
# only on the user's machine.
check_certificate() {
  case $1 in
    *"BEGIN CERTIFICATE"*) ;;
    *) fail "$2 holds no certificate" ;;
  esac
  printf '%s\n' "$1" | openssl x509 -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
    fail "the certificate in $2 is not for code signing (no Code Signing extended key use)"
  printf '%s\n' "$1" | openssl x509 -noout -checkend 0 >/dev/null 2>&1 ||
    fail "the certificate in $2 has expired"
  start=$(printf '%s\n' "$1" | openssl x509 -noout -startdate | sed 's/^notBefore=//')
  [ "$(date -d "$start" +%s)" -le "$(date +%s)" ] ||
    fail "the certificate in $2 is not valid before $start"
}
readable() {
  [ -e "$1" ] || fail "$1 does not exist"
  [ -f "$1" ] && [ -r "$1" ] || fail "$1 cannot be read"
}

command -v "$MB_OSSLSIGNCODE" >/dev/null 2>&1 ||
  fail "osslsigncode is not installed (scripts/install-deps installs it)"
if [ $# -gt 2 ]; then
  work=$file.sign file=$file.sign/$3
  rm -rf "$work" && mkdir "$work" && cp "$target" "$file" || fail "cannot copy it to $file"
fi

if [ "$MB_SIGN_WITH" = command ]; then
  (cd "$MB_SOURCE_DIR" && eval "$MB_COMMAND \"\$file\"") ||
    fail "the signing command failed (status $?): $MB_COMMAND"
  # The command's word that it signed is not taken on trust.
  "$MB_OSSLSIGNCODE" extract-signature -in "$file" -out "$file.signing" >/dev/null 2>&1 ||
    fail "the signing command left it unsigned: $MB_COMMAND"
  rm -f "$file.signing"
else
  if [ "$MB_SIGN_WITH" = pkcs12 ]; then
    readable "$MB_PKCS12"
    cert=$(secret | openssl pkcs12 -in "$MB_PKCS12" -passin stdin -nokeys -clcerts 2>&1) ||
      cert=$(secret | openssl pkcs12 -legacy -in "$MB_PKCS12" -passin stdin -nokeys -clcerts 2>&1) || {
        case $cert in
          *"mac verify failure"* | *"verify error"*)
            fail "wrong password for $MB_PKCS12 (MERGEBRIDGE_SIGN_PASSWORD)" ;;
          *) fail "$MB_PKCS12 is not a PKCS#12 file openssl can read" ;;
        esac
      }
    check_certificate "$cert" "$MB_PKCS12"
    set -- -pkcs12 "$MB_PKCS12"
  else
    [ -n "${MERGEBRIDGE_SIGN_PIN+set}" ] || fail "MERGEBRIDGE_SIGN_PIN is not set (the PIN of $MB_PKCS11_KEY)"
    readable "$MB_PKCS11_MODULE"
    readable "$MB_CERT"
    check_certificate "$(openssl x509 -in "$MB_CERT" 2>/dev/null)" "$MB_CERT"
    set -- -pkcs11module "$MB_PKCS11_MODULE" -certs "$MB_CERT" -key "$MB_PKCS11_KEY"
  fi
  if [ -n "$MB_TIMESTAMP_URL" ]; then
    set -- "$@" -ts "$MB_TIMESTAMP_URL"
  else
    set -- "$@" -time "$("$MB_SOURCE_DIR/cmake/source-date-epoch.sh" "$MB_SOURCE_DIR")"
  fi
  rm -f "$file.signing"
  out=$(secret | "$MB_OSSLSIGNCODE" sign "$@" -readpass /dev/stdin -h sha256 -n mergebridge \
    -in "$file" -out "$file.signing" 2>&1) || case $out in
    *"PIN incorrect"*) fail "wrong PIN for $MB_PKCS11_KEY (MERGEBRIDGE_SIGN_PIN)" ;;
    *"not found at"* | *"object not found"*) fail "no private key at $MB_PKCS11_KEY in $MB_PKCS11_MODULE" ;;
    *) fail "osslsigncode failed: $(printf '%s\n' "$out" | grep -v '^\s*$' | tail -n 1)" ;;
  esac
  mv -f "$file.signing" "$file" || fail "cannot replace it with its signed copy"
fi
if [ -n "$work" ]; then
  mv -f "$file" "$target" && rm -rf "$work" || fail "cannot put its signed copy back"
fi
