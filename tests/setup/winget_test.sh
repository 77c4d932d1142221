#!/bin/sh
# scripts/make-winget on the built package: YAML naming its version, product code, hash.
# usage: winget_test.sh SOURCE MSI VERSION
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$2" "$dir/mergebridge-$3-win32.msi"
"$1/scripts/make-winget" "$dir"
code=$(msiinfo export "$2" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
cd "$dir/winget"
python3 -c 'import sys, yaml; [yaml.safe_load(open(f)) for f in sys.argv[1:]]' *.yaml
[ "$(cat *.yaml | grep -cx -e "PackageVersion: $3" -e 'ManifestVersion: 1.6.0')" = 6 ]
grep -qx "ProductCode: '$code'" *.installer.yaml
grep -qx "    InstallerSha256: $(sha256sum "$2" | cut -d' ' -f1 | tr a-f A-F)" *.installer.yaml
