#!/bin/sh
# The deployment guide's blocks after "<!-- check: ansible|powershell -->": the
# playbooks through ansible-playbook --syntax-check, the scripts through
# tree-sitter's PowerShell grammar (from npm: scripts/install-deps, NODE_DIR).
# usage: deploying_test.sh DEPLOYING_MD NODE_DIR
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
awk -v out="$scratch" '/^<!-- check: [a-z]+ -->$/ { file = out "/" ++n "." $3 ".yml"; next }
  file && /^(    |$)/ { print substr($0, 5) >> file; next } { file = "" }' "$1"
[ "$(ls "$scratch" | wc -l)" -ge 6 ]
for playbook in "$scratch"/*.ansible.yml; do
  ANSIBLE_INVENTORY_UNPARSED_WARNING=false ansible-playbook --syntax-check -i localhost, "$playbook"
done
node - "$2/node_modules" "$scratch"/*.powershell.yml <<'JS'
const [modules, ...files] = process.argv.slice(2);
const { Parser, Language } = require(modules + '/web-tree-sitter/tree-sitter.cjs');
Parser.init().then(async () => {
  const parser = new Parser();
  parser.setLanguage(await Language.load(modules + '/tree-sitter-powershell/tree-sitter-powershell.wasm'));
  for (const root of files.map((file) => parser.parse(require('fs').readFileSync(file, 'utf8')).rootNode))
    if (root.hasError) process.exitCode = console.log('does not parse: ' + root.toString()) || 1;
});
JS
