#!/usr/bin/env bash
# Fuzzes every target of a build for a while, starting from its seed corpus.
# The corpus is copied to a scratch folder first, so the repository is never
# written; a crashing input is kept under <build>/fuzz-artifacts/ and the
# script fails.
#
# usage: tests/fuzz/run_fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
for target in translate reg_file; do
  binary="$build/tests/fuzz/$target"
  if [ ! -x "$binary" ]; then
    echo "== fuzz $target: $binary is missing (configure with MERGEBRIDGE_FUZZ=ON)"
    status=1
    continue
  fi
  mkdir -p "$scratch/$target"
  cp "$here/corpus/$target"/* "$scratch/$target/"
  echo "== fuzz $target for ${seconds}s"
  # -rss_limit_mb and -timeout turn a runaway allocation or a hang into a
  # failure with its input saved, like a crash.
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -dict="$here/$target.dict" -artifact_prefix="$artifacts/$target-" -print_final_stats=1 \
      "$scratch/$target" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "== fuzz $target FAILED; inputs in $artifacts"
    status=1
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$scratch/$target.log" || true
  fi
done
exit $status
