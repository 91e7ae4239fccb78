#!/usr/bin/env bash
# Puts the tool's live preview and the web panel that vireo.js draws for the same (fake, local)
# Quake III server side by side, as docs/preview-vs-web.png, the web side through vireo-gateway;
# then the panel at 514 px, in a themed 400 px column and on a 360 px phone, as docs/web-widths.png.
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
"$build/gateway/vireo-gateway" --listen 127.0.0.1:18931 --allow q3:127.0.0.1:27962 \
    --min-refresh 1 --allow-origin '*' & pids+=($!)
{
    printf '<!doctype html><meta charset=utf-8><link rel=stylesheet href=page.css><body>\n'
    "$build/tests/web/web_snippet" "$height" q3 127.0.0.1 27962 30000 1 $((765 + 8 * 195))
    printf '<script src="http://127.0.0.1:18931/vireo.js" defer></script>\n'
} >"$work/site/index.html"
echo 'body { margin: 0; background: #fff; }' >"$work/site/page.css"
(cd "$work/site" && exec python3 -m http.server 18932 --bind 127.0.0.1 >/dev/null 2>&1) & pids+=($!)
sleep 1
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --window-size="600,$((height + 200))" \
    --virtual-time-budget=5000 --screenshot="$work/web.png" http://127.0.0.1:18932/ 2>/dev/null
# Headless windows below a certain height have no room for the page; the panel is cut out after.
convert "$work/web.png" -crop "514x${height}+0+0" +repage "$work/web.png"
convert "$work/preview.png" "$work/web.png" -background white -splice 12x0 +append +repage \
    docs/preview-vs-web.png

# The same panel where pages are narrower: a 400 px column under a theme's aggressive rules for
# divs, spans and buttons, and a 360 px phone, as docs/web-widths.png beside the 514 px one.
snippet=$("$build/tests/web/web_snippet" "$height" q3 127.0.0.1 27962 30000 1 $((765 + 8 * 195)))
column() { # $1: file, $2: column width, $3: the theme's rules
    printf '<!doctype html><meta charset=utf-8><style>body{margin:0;background:#fff} %s</style>' "$3"
    printf '<body><div class="entry-content" style="width:%spx">%s</div>' "$2" "$snippet"
    printf '<script src="http://127.0.0.1:18931/vireo.js" defer></script>\n'
}
column 400 400 'div{margin-bottom:.8em} span{line-height:1.7} .entry-content button{background:pink;padding:9px} *{letter-spacing:2px}' \
    >"$work/site/themed.html"
column 360 360 '' >"$work/site/phone.html"
for page in themed phone; do
    width=$([ $page = themed ] && echo 400 || echo 360)
    chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$work/profile" --hide-scrollbars --window-size="$width,$((height + 200))" \
        --virtual-time-budget=5000 --screenshot="$work/$page.png" "http://127.0.0.1:18932/$page.html" 2>/dev/null
    convert "$work/$page.png" -crop "${width}x${height}+0+0" +repage "$work/$page.png"
done
convert "$work/web.png" "$work/themed.png" "$work/phone.png" -background white -splice 12x0 +append \
    -chop 12x0 +repage docs/web-widths.png

# The panel in both browsers as their tests leave it (514 px, the themed 400 px column, a 360 px
# phone and, in Firefox, text-only zoom at 200 %), under the preview, as docs/web-browsers.png.
mkdir -p "$work/shots"
(cd "$build" && VIREO_SHOTS="$work/shots" ctest -R 'web_(chromium|firefox)' -j2 >/dev/null)
for shot in "$work"/shots/*.png; do
    # The first panel: the panel's own colour in the top of the page.
    convert "$shot" -crop 800x190+0+0 +repage "$shot"
    convert "$shot" -crop "$(convert "$shot" -alpha set +transparent '#1c222e' -format '%@' info:)" +repage "$shot"
done
caption() { # $1: image, $2: its caption, written under it
    convert "$1" -background white -gravity south -splice 0x18 -font DejaVu-Sans -pointsize 12 \
        -annotate +0+2 "$2" "$1"
}
caption "$work/preview.png" 'the preview'
tiles=("$work/preview.png" null: null: null:)
for browser in chromium firefox; do
    caption "$work/shots/$browser-514px.png" "$browser, 514 px"
    caption "$work/shots/$browser-themed.png" "$browser, a themed 400 px column"
    caption "$work/shots/$browser-360px.png" "$browser, a 360 px phone"
    tiles+=("$work/shots/$browser-514px.png" "$work/shots/$browser-themed.png" "$work/shots/$browser-360px.png")
    if [ $browser = firefox ]; then
        caption "$work/shots/firefox-text-zoom-200.png" 'firefox, text-only zoom 200 %'
        tiles+=("$work/shots/firefox-text-zoom-200.png")
    else
        tiles+=(null:)
    fi
done
montage "${tiles[@]}" -tile 4x3 -geometry '+10+6' -gravity northwest -background white \
    docs/web-browsers.png
