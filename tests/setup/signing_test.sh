#!/bin/sh -eu
# signing_test.sh SOURCE VERSION: a build signed through PKCS#11 (SoftHSM2), then through a
# command; every PE of every Windows artifact signed and ours versioned (scripts/check-binaries);
# as a release, verify-release finds the packages the build with their signatures put back, then
# not; a failing command, a wrong password and half a set-up fail, leaving no file.
source=$1
v=$2
s=$(mktemp -d)
trap 'rm -rf "$s"' EXIT
cd "$s"
m=/usr/lib/softhsm/libsofthsm2.so
export SOFTHSM2_CONF=$s/hsm MERGEBRIDGE_SIGN_PIN=1234
mkdir t
echo "directories.tokendir = $s/t" >hsm
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -subj /CN=ca 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout k -out c -subj /CN=signer -CA ca.pem \
  -CAkey ca.key -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -in c -inkey k -out cs.p12 -passout pass:pw
softhsm2-util --init-token --free --label mb --pin 1234 --so-pin 5678 >/dev/null
softhsm2-util --import k --token mb --label cs --id 01 --pin 1234 >/dev/null
pkcs11-tool --module $m --login --pin 1234 -O --type privkey 2>/dev/null |
  grep -qx ' *Access: *sensitive'
cmake -S "$source" -B b --preset windows-x86 -DMERGEBRIDGE_TESTS=OFF \
  -DMERGEBRIDGE_SIGN_PKCS11_MODULE=$m -DMERGEBRIDGE_SIGN_CERT=c \
  "-DMERGEBRIDGE_SIGN_PKCS11_KEY=pkcs11:token=mb;object=cs;type=private" >/dev/null

check() {
  cmake --build b --target msi mergebridge-uninstall nsis-plugins >/dev/null
  (cd b && rm -f ./*.zip ./*-win32.exe && cpack -G 'ZIP;NSIS' >/dev/null)
  "$source/scripts/check-binaries" --ca ca.pem --version "$v" b/*.zip b/*.msi b/*-win32.exe >found
  [ "$(grep -c '^ok ' found)" = 15 ]
}
check

mkdir r
cp b/*-win32.* r
printf 'commit=%s\nmodified=no\nsource_date_epoch=%s\npackage_release=1\n' \
  "$(git -C "$source" rev-parse HEAD)" "$("$source/cmake/source-date-epoch.sh" "$source")" >r/SOURCE
"$source/scripts/verify-release" --build b r
printf x | dd of="$(echo r/*.zip)" bs=1 seek=5000 conv=notrunc 2>/dev/null
! "$source/scripts/verify-release" --build b r >log 2>&1
grep -qx 'different  *mergebridge-.*-win32.zip' log

cat >hook <<HOOK
#!/bin/sh
[ ! -e $s/fail ] && echo "\${1##*/}" >>$s/order &&
  osslsigncode sign -certs $s/c -key $s/k -in "\$1" -out "\$1.s" >/dev/null && mv "\$1.s" "\$1"
HOOK
chmod +x hook
cmake b -DMERGEBRIDGE_SIGN_PKCS11_MODULE= -DMERGEBRIDGE_SIGN_PKCS11_KEY= -DMERGEBRIDGE_SIGN_CERT= \
  -DMERGEBRIDGE_SIGN_COMMAND="$s/hook" >/dev/null
check
[ "$(LC_ALL=C sort order | tr '\n' ' ')" = "System.dll mergebridge-$v-win32.exe \
mergebridge-$v-win32.msi mergebridge-msi-step.dll mergebridge-setup.exe mergebridge-uninstall.exe \
mergebridge.exe nsDialogs.dll nsExec.dll uninstall-steps.exe " ]
rm b/*.msi
touch fail
! cmake --build b --target msi >log 2>&1
grep -q "^signing $s/b/.*-win32.msi: the signing command failed (status 1): $s/hook" log
[ "$(echo b/*.msi*)" = 'b/*.msi*' ]

cmake b -DMERGEBRIDGE_SIGN_COMMAND= -DMERGEBRIDGE_SIGN_PKCS12=cs.p12 >/dev/null
! MERGEBRIDGE_SIGN_PASSWORD=no cmake --build b --target mergebridge-msi-step >log 2>&1
grep -q "^signing $s/b/mergebridge-msi-step.dll: wrong password for $s/cs.p12" log
[ ! -e b/mergebridge-msi-step.dll ]
MERGEBRIDGE_SIGN_PASSWORD=pw cmake --build b --target mergebridge-msi-step >/dev/null
osslsigncode verify -CAfile ca.pem -in b/mergebridge-msi-step.dll | grep -q 'verification: ok'
! cmake b -DMERGEBRIDGE_SIGN_PKCS12= -DMERGEBRIDGE_SIGN_CERT=c >log 2>&1
grep -q 'PKCS11_MODULE is not set' log
