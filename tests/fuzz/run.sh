#!/usr/bin/env bash
# Runs each libFuzzer target of the fuzz preset for FUZZ_SECONDS (default 60), starting from its
# committed seeds. New inputs go to build/fuzz/corpus/<target>, anything found to
# build/fuzz/findings/<target>; the first target that finds something fails the run.
#   tests/fuzz/run.sh [target...]      targets: enumerate parse transfer (default: all)
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(enumerate parse transfer)

for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $target for ${seconds}s"
  if ! build/fuzz/tests/fuzz/${target}_fuzz -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" "tests/fuzz/corpus/$target" >"$findings/log" 2>&1; then
    tail -n 60 "$findings/log" >&2
    echo "fuzz: $target found a fault; the input is in $findings/" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$findings/log" | sed "s/^/  /"
done
