#!/usr/bin/env bash
# Runs every benchmark program in the given folder, then any comparison script under bench/.
set -euo pipefail
dir=${1:-build/default/bench}
here=$(cd "$(dirname "$0")/.." && pwd)
for b in "$dir"/*_bench; do
  [[ -x "$b" ]] || continue
  echo "== $(basename "$b")"
  # The real recording needs a sound server: the end-to-end tests' own, started for it.
  if [[ $(basename "$b") == recording_drift_bench || $(basename "$b") == next_slide_bench ]]; then
    "$here/tests/e2e/servers.sh" "$b" --benchmark_counters_tabular=true
  else
    "$b" --benchmark_counters_tabular=true
  fi
done
for s in "$here"/bench/*.sh; do
  [[ -x "$s" ]] || continue
  echo "== $(basename "$s")"
  "$s" "$dir"
done
