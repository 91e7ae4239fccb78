#!/usr/bin/env bash
# Runs a test program on a fresh X server (Xvfb) with a real window manager (openbox), so that
# the window gets a frame as it would on a desktop.
set -euo pipefail
if [ -z "${TAMARIN_UNDER_XVFB:-}" ]; then
    export TAMARIN_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
log=$(mktemp)
wm=""
trap 'kill $wm 2>/dev/null || true; rm -f "$log"' EXIT
# Wait until the window manager has announced itself on the root window: on a loaded machine that
# may take long, so the ceiling (a minute) is far above any healthy start. Openbox frames windows
# that were mapped before it got to them as well, so the test's own wait covers the rest. An
# openbox that ends before it announced itself (a fresh X server may still refuse a client for a
# moment) is started again, a few times.
starts=0
for _ in $(seq 600); do
    if [ -z "$wm" ] || ! kill -0 "$wm" 2>/dev/null; then
        if [ "$starts" -ge 5 ]; then
            echo "openbox did not start:" >&2
            cat "$log" >&2
            exit 1
        fi
        openbox --sm-disable >"$log" 2>&1 &
        wm=$!
        starts=$((starts + 1))
    fi
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
QT_QPA_PLATFORM=xcb "$@"
