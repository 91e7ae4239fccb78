#!/usr/bin/env bash
# Puts the tool's live preview and the web panel that vireo.js draws for the same (fake, local)
# Quake III server side by side, as docs/preview-vs-web.png. The web side comes from the real
# vireo-gateway when it is built, otherwise from a saved status answer of the same server.
# Needs what docs/make-screenshots.sh needs, plus chromium; run after building build/debug
# (TAMARIN=path shoots another build of the tool).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/debug}"
tamarin="${TAMARIN:-$build/app/tamarin}"
# shellcheck source=docs/screenshot-lib.sh
source docs/screenshot-lib.sh
on_desktop 1024x768 "$@"

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
python3 docs/fake-q3-server.py 27962 & pids+=($!)
sleep 0.5

# The preview: the window after Step 1, cut down to the control's own dark panel.
last_server 27962
"$tamarin" & app=$!
shoot "$work/window.png"
kill -TERM $app; wait $app || true
box=$(convert "$work/window.png" -alpha set +transparent '#1c222e' -format '%@' info:)
convert "$work/window.png" -crop "$box" +repage "$work/preview.png"

# The web panel: the snippet that Step 2 writes for the same values, in a page of its own.
height=$(identify -format '%h' "$work/preview.png")
mkdir -p "$work/site"
cp web/vireo.js web/vireo.css "$work/site/"
if [ -x "$build/gateway/vireo-gateway" ]; then
    "$build/gateway/vireo-gateway" --listen 127.0.0.1:18931 --allow q3:127.0.0.1:27962 \
        --min-refresh 1 --allow-origin '*' & pids+=($!)
    gateway=http://127.0.0.1:18931
else
    gateway=http://127.0.0.1:18932
    rows='{"name":"RedBaron","score":31,"ping":48},{"name":"Kestrel","score":27,"ping":62},
{"name":"BlueJay","score":22,"ping":35},{"name":"Nightjar","score":18,"ping":71},
{"name":"Wren","score":15,"ping":40},{"name":"Goldfinch","score":9,"ping":88},
{"name":"Tanager","score":4,"ping":55}'
    printf '{"game":"q3","host":"127.0.0.1","port":27962,"state":"online","name":"Vireo Test Arena",
"map":"q3dm17","players":7,"maxPlayers":16,"rows":[%s],"stale":false,"minRefresh":5}' "$rows" \
        >"$work/site/status.json"
fi
{
    printf '<!doctype html><meta charset=utf-8><link rel=stylesheet href=page.css><body>\n'
    "$build/tests/web/web_snippet" "$height" q3 127.0.0.1 27962 30000 1 $((765 + 8 * 195))
    printf '<script src="%s/vireo.js" defer></script>\n' "$gateway"
} >"$work/site/index.html"
echo 'body { margin: 0; background: #fff; }' >"$work/site/page.css"
(cd "$work/site" && exec python3 -m http.server 18932 --bind 127.0.0.1 >/dev/null 2>&1) & pids+=($!)
sleep 1
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --window-size="514,$height" \
    --virtual-time-budget=5000 --screenshot="$work/web.png" http://127.0.0.1:18932/ 2>/dev/null
convert "$work/preview.png" "$work/web.png" -background white -splice 12x0 +append \
    docs/preview-vs-web.png
