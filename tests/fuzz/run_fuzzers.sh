#!/usr/bin/env bash
# Fuzzes every target of a build for a while, from a scratch copy of its seed
# corpus (the repository is never written). A crashing, hanging or runaway
# input is kept under <build>/fuzz-artifacts/ and the script fails.
#
# usage: tests/fuzz/run_fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
artifacts="$build/fuzz-artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"

status=0
for target in translate reg_file; do
  binary="$build/tests/fuzz/$target"
  echo "== fuzz $target for ${2:-60}s"
  cp -r "$here/corpus/$target" "$scratch/$target"
  if ! "$binary" -max_total_time="${2:-60}" -timeout=10 -rss_limit_mb=2048 \
      -dict="$here/$target.dict" -artifact_prefix="$artifacts/$target-" -print_final_stats=1 \
      "$scratch/$target" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "== fuzz $target FAILED (is it built with MERGEBRIDGE_FUZZ=ON?); inputs in $artifacts"
    status=1
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/$target.log" || true
  fi
done
exit $status
