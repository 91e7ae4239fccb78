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
# Wait (bounded) until the window manager has announced itself on the root window.
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
done
sleep 0.3  # the window manager announces itself a moment before it manages new windows
QT_QPA_PLATFORM=xcb "$@"
