#!/bin/sh
# The deployment guide's playbooks and PowerShell scripts, each code block after
# a "<!-- check: ansible -->" or "<!-- check: powershell -->" line: the
# playbooks through ansible-playbook --syntax-check, the scripts through the
# PowerShell grammar of tree-sitter (scripts/install-deps puts it in NODE_DIR).
# usage: deploying_test.sh DEPLOYING_MD NODE_DIR
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Each block into $scratch/N.KIND: its lines without their first four blanks.
awk -v out="$scratch" '
  /^<!-- check: [a-z]+ -->$/ { kind = $3; n++; inside = 0; next }
  kind != "" && /^    / { inside = 1; print substr($0, 5) >> (out "/" n "." kind); next }
  kind != "" && /^$/ { if (inside) print "" >> (out "/" n "." kind); next }
  { kind = ""; inside = 0 }' "$1"
fail=0 count=0
for playbook in "$scratch"/*.ansible; do
  count=$((count + 1))
  mv "$playbook" "$playbook.yml"
  ANSIBLE_LOCALHOST_WARNING=false ANSIBLE_INVENTORY_UNPARSED_WARNING=false \
    ansible-playbook --syntax-check -i localhost, "$playbook.yml" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log"; echo "$playbook: the playbook does not pass"; fail=1; }
done
node - "$2" "$scratch"/*.powershell <<'JS' || fail=1
const [dir, ...files] = process.argv.slice(2);
const { Parser, Language } = require(dir + '/node_modules/web-tree-sitter/tree-sitter.cjs');
const fs = require('fs');
(async () => {
  await Parser.init();
  const parser = new Parser();
  parser.setLanguage(await Language.load(
      dir + '/node_modules/tree-sitter-powershell/tree-sitter-powershell.wasm'));
  let bad = 0;
  for (const file of files) {
    const tree = parser.parse(fs.readFileSync(file, 'utf8'));
    if (tree.rootNode.hasError) console.log(file + ': does not parse:\n' + tree.rootNode.toString());
    bad += tree.rootNode.hasError;
  }
  process.exit(bad ? 1 : 0);
})();
JS
count=$((count + $(ls "$scratch"/*.powershell | wc -l)))
[ "$count" -ge 6 ] || { echo "only $count blocks checked"; fail=1; }
exit $fail
