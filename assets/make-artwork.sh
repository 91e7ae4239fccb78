#!/usr/bin/env bash
# Renders the window's artwork from the SVG sources in this folder: the picture (a 218 x 75 GIF
# with a 256-colour palette) and the window icon at 32 x 32 and 16 x 16 with 16 colours each.
# Needs librsvg2-bin and imagemagick. The rendered files are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rsvg-convert -w 218 -h 75 vireo.svg -o "$tmp/vireo.png"
convert "$tmp/vireo.png" -background black -flatten -colors 256 vireo.gif
rsvg-convert -w 436 -h 150 vireo.svg -o vireo@2x.png
for size in 16 32 64 128 256; do
    rsvg-convert -w "$size" -h "$size" icon.svg -o "$tmp/icon-$size.png"
done
convert "$tmp/icon-32.png" -colors 16 PNG8:icon-32.png
convert "$tmp/icon-16.png" -colors 16 PNG8:icon-16.png
for size in 64 128 256; do cp "$tmp/icon-$size.png" "icon-$size.png"; done
