#!/usr/bin/env bash
# repeat-busy.sh COUNT PROGRAM...: runs PROGRAM COUNT times in a row, and every run must pass, while
# six busy processes load the machine as a busy desktop does (bounded in time, ended on exit).
set -u
for _ in 1 2 3 4 5 6; do timeout 120 yes >/dev/null & done
trap 'kill $(jobs -p) 2>/dev/null' EXIT
failed=0
for run in $(seq "$1"); do
    out=$("${@:2}" 2>&1) || { failed=$((failed + 1)); echo "run $run: $(grep -A4 Failure <<<"$out")"; }
done
echo "$failed of $1 runs failed"
[ "$failed" -eq 0 ]
