#!/bin/sh -eu
# signing_test.sh SOURCE: the shipped programs built signed by a throwaway CA's code-signing certificate: they, the
# DLL, the ZIP's, the package's and the installer's files verify; a wrong password fails, naming it, leaving no file.
# As a release, verify-release finds the packages identical to the build with their signatures put back, then not.
s=$(mktemp -d) && trap 'rm -rf "$s"' EXIT && cd "$s" && export MERGEBRIDGE_SIGN_PASSWORD=pw
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -subj /CN=ca 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout k -out c -subj /CN=signer -CA ca.pem -CAkey ca.key \
  -addext extendedKeyUsage=codeSigning 2>/dev/null && openssl pkcs12 -export -in c -inkey k -out cs.p12 -passout pass:pw
cmake -S "$1" -B b --preset windows-x86 -DMERGEBRIDGE_TESTS=OFF -DMERGEBRIDGE_SIGN_PKCS12=cs.p12 >/dev/null
cmake --build b --target all msi >/dev/null && (cd b && cpack -G 'ZIP;NSIS' >/dev/null)
mkdir x && (cd x && cmake -E tar xf ../b/*.zip) && msiextract -C x b/*.msi && msiinfo extract b/*.msi Binary.SetupStep >x/s.dll
wine b/*-win32.exe /S "/D=$(winepath -w "$s/x/nsis")"
{ ls b/mergebridge*.exe b/mergebridge*.dll b/*.msi && find x -name '*.exe' -o -name '*.dll'; } | while read -r f; do
  osslsigncode verify -CAfile ca.pem -in "$f" | grep -q 'verification: ok' && echo "$f" || echo "unsigned: $f" >&2
done | wc -l | grep -qx 15
wine x/nsis/uninstall.exe /S "_?=$(winepath -w "$s/x/nsis")"
rm b/mergebridge-msi-step.dll && ! MERGEBRIDGE_SIGN_PASSWORD=no cmake --build b --target mergebridge-msi-step >log 2>&1
grep -q "^signing .*/mergebridge-msi-step.dll: wrong password for $s/cs.p12" log && [ ! -e b/mergebridge-msi-step.dll ]
mkdir r && cp b/*-win32.* r && printf 'commit=%s\nmodified=no\nsource_date_epoch=%s\npackage_release=1\n' \
  "$(git -C "$1" rev-parse HEAD)" "$("$1/cmake/source-date-epoch.sh" "$1")" >r/SOURCE
"$1/scripts/verify-release" --build b r && printf x | dd of="$(echo r/*.zip)" bs=1 seek=5000 conv=notrunc 2>/dev/null
! "$1/scripts/verify-release" --build b r >log 2>&1
grep -qx 'different  *mergebridge-.*-win32.zip' log
