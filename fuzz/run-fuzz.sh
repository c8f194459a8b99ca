#!/usr/bin/env bash
# run-fuzz.sh TARGET CORPUS_DIR SEEDS_DIR SECONDS
# VORLIX_FUZZ_SECONDS in the environment overrides SECONDS (make fuzz sets it).
# One bounded libFuzzer run: a fresh working corpus grown from the seeds; any crash,
# leak or sanitizer report fails the run and leaves the input in CORPUS_DIR/../findings.
set -euo pipefail
target=$1 corpus=$2 seeds=$3 seconds=${VORLIX_FUZZ_SECONDS:-$4}
findings=$(dirname "$corpus")/findings
mkdir -p "$corpus" "$findings"
args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
      -artifact_prefix="$findings/")
if [[ -d "$seeds" ]]; then
  exec "$target" "${args[@]}" "$corpus" "$seeds"
fi
exec "$target" "${args[@]}" "$corpus"
