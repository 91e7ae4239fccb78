#!/usr/bin/env bash
# Takes the README's screenshots of the real window under Xvfb with openbox: the window as a new
# user first sees it, and the live preview of a (fake, local) Quake III server after Step 1.
# Needs xvfb, openbox, imagemagick, x11-utils, xdotool and python3; run after building build/debug.
set -euo pipefail
cd "$(dirname "$0")/.."
tamarin="${1:-build/debug/app/tamarin}"
if [ -z "${TAMARIN_UNDER_XVFB:-}" ]; then
    export TAMARIN_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
openbox --sm-disable >/dev/null 2>&1 &
sleep 1

shoot() {  # shoot <output.png>: the window with its frame
    local id geometry
    id=$(xdotool search --sync --name "^Vireo HTML Generator$" | head -n 1)
    sleep 1.5
    geometry=$(xwininfo -id "$(xwininfo -id "$id" -children | awk '/Parent window id/ {print $4}')" |
        awk '/Width:/ {w=$2} /Height:/ {h=$2} /Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$1"
}

export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
"$tamarin" & app=$!
shoot docs/window.png
kill -TERM $app; wait $app || true

python3 docs/fake-q3-server.py 27961 & server=$!
sleep 0.5
trap 'kill $server 2>/dev/null || true' EXIT
mkdir -p "$XDG_CONFIG_HOME/Tamarin"
cat > "$XDG_CONFIG_HOME/Tamarin/Tamarin.ini" <<'INI'
[LastServer]
Game=4
Players=8
IP=127.0.0.1
Port=27961
Refresh=30
Details=1
INI
"$tamarin" & app=$!
shoot docs/window-live.png
# Step 2 (its button's centre, in the window's client area) swaps the preview for the snippet.
xdotool mousemove --window "$(xdotool search --name "^Vireo HTML Generator$" | head -n 1)" 460 86 click 1
shoot docs/window-snippet.png
kill -TERM $app; wait $app || true
