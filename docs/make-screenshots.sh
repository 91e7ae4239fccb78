#!/usr/bin/env bash
# Takes the README's screenshots of the real window under Xvfb with openbox: the window as a new
# user first sees it, the live preview of a (fake, local) Quake III server after Step 1, and the
# same server with fewer rows than players.
# Needs xvfb, openbox, imagemagick, x11-utils, xdotool and python3; run after building build/debug.
set -euo pipefail
cd "$(dirname "$0")/.."
tamarin="${1:-build/debug/app/tamarin}"
# shellcheck source=docs/screenshot-lib.sh
source docs/screenshot-lib.sh
on_desktop 1024x768 "$@"

export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
"$tamarin" & app=$!
shoot docs/window.png
kill -TERM $app; wait $app || true

python3 docs/fake-q3-server.py 27961 & server=$!
sleep 0.5
trap 'kill $server 2>/dev/null || true' EXIT
last_server 27961
"$tamarin" & app=$!
shoot docs/window-live.png
# Step 2 (its button's centre, in the window's client area) swaps the preview for the snippet.
xdotool mousemove --window "$(xdotool search --name "^Vireo HTML Generator$" | head -n 1)" 460 86 click 1
shoot docs/window-snippet.png
kill -TERM $app; wait $app || true

# Five rows for seven players: the preview says how many did not fit.
last_server 27961
sed -i 's/^Players=.*/Players=5/' "$XDG_CONFIG_HOME/Tamarin/Tamarin.ini"
"$tamarin" & app=$!
shoot docs/window-more-players.png
kill -TERM $app; wait $app || true
