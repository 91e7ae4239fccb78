#!/usr/bin/env bash
# Runs a test program on a fresh X server (Xvfb) with a real window manager (openbox), so that
# the window gets a frame as it would on a desktop.
set -euo pipefail
if [ -z "${TAMARIN_UNDER_XVFB:-}" ]; then
    export TAMARIN_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill $wm 2>/dev/null || true' EXIT
# Wait until the window manager has announced itself on the root window: on a loaded machine that
# may take long, so the ceiling (a minute) is far above any healthy start. Openbox frames windows
# that were mapped before it got to them as well, so the test's own wait covers the rest.
for _ in $(seq 600); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    kill -0 $wm 2>/dev/null || { echo "openbox did not start" >&2; exit 1; }
    sleep 0.1
done
QT_QPA_PLATFORM=xcb "$@"
