#!/bin/sh
# The Group Policy template: both files well-formed, every string and
# presentation the ADMX names in the ADML, and the key and value each policy
# writes the ones a merge reads (src/common/registry_names.h).
# The revision follows VERSION (1.2.3: 1.203).
# usage: policy_test.sh POLICY_FOLDER REGISTRY_NAMES_H VERSION
set -eu
admx=$1/mergebridge.admx adml=$1/en-US/mergebridge.adml
xmllint --noout "$admx" "$adml"
name() { sed -n "s/^inline constexpr char k$1\\[\\] = \"\\(.*\\)\";\$/\\1/p" "$2" | sed 's/\\\\/\\/g'; }
key=$(name VelmoraPolicyKey "$2") value=$(name VelmoraValue "$2")
query() { xmllint --xpath "$1" "$2" | tr ' ' '\n' | sed -n 's/^[a-zA-Z]*="\(.*\)"$/\1/p'; }
fail=0
for ref in $(grep -o '\$([a-z]*\.[A-Za-z_]*)' "$admx" | sort -u); do
  kind=${ref#??} id=${ref#*.}
  grep -q "<${kind%%.*} id=\"${id%)}\"" "$adml" || { echo "$adml lacks $ref"; fail=1; }
done
for found in $(query "//*[local-name()='policy']/@key" "$admx"); do
  [ "$found" = "$key" ] || { echo "a policy writes under $found, not $key"; fail=1; }
done
for found in $(query "//*[local-name()='elements']/*/@valueName" "$admx"); do
  [ "$found" = "$value" ] || { echo "a policy writes $found, not $value"; fail=1; }
done
[ "$(query "//*[local-name()='policy']/@class" "$admx")" = Both ] || { echo "not for computers and users"; fail=1; }
minor=${3#*.}
[ "$(grep -l "revision=\"${3%%.*}.$((${minor%%.*} * 100 + ${minor#*.}))\"" "$admx" "$adml" | wc -l)" = 2 ] ||
  { echo "the revision does not follow $3"; fail=1; }
exit $fail
