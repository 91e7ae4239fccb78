#!/usr/bin/env bash
# A session that ends sends the tool a signal instead of closing its window: the last-used values
# must be written all the same, for each of the signals a desktop or terminal sends.
set -euo pipefail
tamarin="$1"
for signal in TERM HUP INT; do
    home=$(mktemp -d)
    XDG_CONFIG_HOME="$home" QT_QPA_PLATFORM=offscreen "$tamarin" &
    pid=$!
    # Bounded wait until the tool is up (its status control has written its game list).
    for _ in $(seq 100); do
        [ -f "$home/Vireo/Vireo.ini" ] && break
        sleep 0.1
    done
    sleep 0.3
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
