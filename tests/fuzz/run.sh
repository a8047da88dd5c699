#!/usr/bin/env bash
# Runs one libFuzzer target of the fuzz preset for FUZZ_SECONDS (default 60), starting from its
# committed seeds and from what earlier runs found. New inputs go to CORPUS, anything found to
# FINDINGS, where the log stays too; a finding fails the run. The fuzz build's tests call it, one
# per target (`make fuzz`).
#   tests/fuzz/run.sh TARGET-BINARY SEEDS CORPUS FINDINGS
set -euo pipefail
[ $# -eq 4 ] || { sed -n '2,6s/^# //p' "$0" >&2; exit 2; }
binary=$1 seeds=$2 corpus=$3 findings=$4
seconds=${FUZZ_SECONDS:-60}

mkdir -p "$corpus" "$findings"
echo "fuzz: $(basename "$binary") for ${seconds}s"
if ! "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" >"$findings/log" 2>&1; then
  tail -n 60 "$findings/log" >&2
  echo "fuzz: $(basename "$binary") found a fault; the input is in $findings/" >&2
  exit 1
fi
grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$findings/log" | sed "s/^/  /"
