#!/usr/bin/env bash
# A session that ends sends the tool a signal instead of closing its window: the last-used values
# must be written all the same, for each of the signals a desktop or terminal sends.
set -euo pipefail
tamarin="$1"
for signal in TERM HUP INT; do
    home=$(mktemp -d)
    XDG_CONFIG_HOME="$home" QT_QPA_PLATFORM=offscreen "$tamarin" &
    pid=$!
    # Wait until the tool holds all three signals for itself (blocked, to be read on its event
    # loop), under a ceiling of a minute that only a tool that never gets there reaches.
    for _ in $(seq 600); do
        blocked=$(awk '/^SigBlk:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        (( (16#${blocked:-0} & 16#4003) == 16#4003 )) && break
        sleep 0.1
    done
    kill -s "$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    if ! grep -q '^Players=5$' "$home/Tamarin/Tamarin.ini" 2>/dev/null; then
        echo "SIG$signal: the last-used values were not written (exit $status)"
        exit 1
    fi
    [ "$status" -eq 0 ] || { echo "SIG$signal: exit status $status"; exit 1; }
    rm -rf "$home"
done
