#!/usr/bin/env bash
# Runs a test program COUNT times in a row while six busy processes load the machine, as a busy
# desktop does; every run must pass. The load is bounded in time and ended on exit.
set -uo pipefail
count=$1
shift
log=$(mktemp)
busy=()
trap 'kill "${busy[@]}" 2>/dev/null; rm -f "$log"' EXIT
for _ in 1 2 3 4 5 6; do
    timeout 120 yes >/dev/null &
    busy+=($!)
done
failed=0
for run in $(seq "$count"); do
    if ! "$@" >"$log" 2>&1; then
        failed=$((failed + 1))
        echo "run $run failed:" && cat "$log"
    fi
done
echo "$((count - failed)) of $count runs passed"
[ "$failed" -eq 0 ]
