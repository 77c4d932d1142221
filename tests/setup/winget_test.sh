#!/bin/sh
# scripts/make-winget on the built package: three manifests that read as YAML,
# of one identifier and version, naming the package's product code and hash.
# usage: winget_test.sh SOURCE MSI VERSION
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$2" "$dir/mergebridge-$3-win32.msi"
"$1/scripts/make-winget" "$dir"
code=$(msiinfo export "$2" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
python3 - "$dir/winget" "$3" "$code" "$(sha256sum "$2" | cut -d' ' -f1)" <<'PY'
import sys, yaml, pathlib
folder, version, code, digest = sys.argv[1:]
found = {p.name: yaml.safe_load(p.read_text()) for p in pathlib.Path(folder).iterdir()}
assert sorted(m["ManifestType"] for m in found.values()) == ["defaultLocale", "installer", "version"], found
assert all(m["PackageVersion"] == version and m["ManifestVersion"] >= "1.6.0" for m in found.values())
assert len({m["PackageIdentifier"] for m in found.values()}) == 1
installer = next(m for m in found.values() if m["ManifestType"] == "installer")
assert installer["ProductCode"] == code and installer["Installers"][0]["InstallerSha256"] == digest.upper()
PY
