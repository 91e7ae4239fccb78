#!/usr/bin/env bash
# Takes the window's screenshots at device pixel ratios 1 and 2 (docs/window-1x.png and
# docs/window-2x.png) under Xvfb with openbox: the live preview of a (fake, local) Quake III
# server after start-up. Needs xvfb, openbox, imagemagick, x11-utils, xdotool and python3; run
# after building build/debug, or name the tamarin executable.
set -euo pipefail
cd "$(dirname "$0")/.."
tamarin="${1:-build/debug/app/tamarin}"
# shellcheck source=docs/screenshot-lib.sh
source docs/screenshot-lib.sh
on_desktop 1600x1200 "$@"

python3 docs/fake-q3-server.py 27962 & server=$!
sleep 0.5
trap 'kill $server 2>/dev/null || true' EXIT
last_server 27962

for ratio in 1 2; do
    QT_SCALE_FACTOR=$ratio "$tamarin" & app=$!
    shoot "docs/window-${ratio}x.png"
    kill -TERM $app
    wait $app || true
done
