#!/usr/bin/env bash
# Takes the window's screenshots at device pixel ratios 1 and 2 (docs/window-1x.png and
# docs/window-2x.png) under Xvfb with openbox: the live preview of a (fake, local) Quake III
# server after start-up. Needs xvfb, openbox, imagemagick, x11-utils, xdotool and python3; run
# after building build/debug, or name the tamarin executable.
set -euo pipefail
cd "$(dirname "$0")/.."
tamarin="${1:-build/debug/app/tamarin}"
if [ -z "${TAMARIN_UNDER_XVFB:-}" ]; then
    export TAMARIN_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$@"
fi
openbox --sm-disable >/dev/null 2>&1 &
sleep 1

python3 docs/fake-q3-server.py 27962 & server=$!
sleep 0.5
trap 'kill $server 2>/dev/null || true' EXIT
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
mkdir -p "$XDG_CONFIG_HOME/Tamarin"
cat > "$XDG_CONFIG_HOME/Tamarin/Tamarin.ini" <<'INI'
[LastServer]
Game=4
Players=8
IP=127.0.0.1
Port=27962
Refresh=30
Details=1
INI

for ratio in 1 2; do
    QT_SCALE_FACTOR=$ratio "$tamarin" & app=$!
    id=$(xdotool search --sync --name "^Vireo HTML Generator$" | head -n 1)
    sleep 1.5
    # The window with the frame the window manager put around it.
    frame=$(xwininfo -id "$id" -tree | awk '/Parent window id/ {print $4}')
    geometry=$(xwininfo -id "$frame" |
        awk '/Width:/ {w=$2} /Height:/ {h=$2} /Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "docs/window-${ratio}x.png"
    kill -TERM $app
    wait $app || true
done
