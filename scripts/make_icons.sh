#!/bin/bash
# Draws the launcher icon's PNG sizes in res/icons/hicolor from the same shapes as res/icons/glimmora.svg
# (run again after changing the SVG; the PNGs are committed). Needs ImageMagick's convert.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/res/icons/hicolor"
s=16  # the SVG's 64-unit box drawn at 1024 pixels, then scaled down to each size
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
convert -size $((64 * s))x$((64 * s)) xc:none \
    -fill '#d3e3f5' -stroke '#2e3436' -strokewidth $((3 * s)) \
    -draw "roundrectangle $((4 * s)),$((10 * s)) $((60 * s)),$((48 * s)) $((3 * s)),$((3 * s))" \
    -fill none -stroke '#cc0000' -strokewidth $((3 * s)) \
    -draw "stroke-dasharray $((5 * s)) $((3 * s)) rectangle $((14 * s)),$((18 * s)) $((40 * s)),$((38 * s))" \
    -stroke '#2e3436' -strokewidth $((4 * s)) -draw "stroke-linecap round line $((40 * s)),$((38 * s)) $((54 * s)),$((52 * s))" \
    -strokewidth $((3 * s)) -draw "stroke-linecap round line $((26 * s)),$((48 * s)) $((26 * s)),$((56 * s))" \
    -draw "stroke-linecap round line $((16 * s)),$((57 * s)) $((36 * s)),$((57 * s))" \
    "PNG32:$big"
for n in 16 22 24 32 48 64 128 256; do
    mkdir -p "$out/${n}x${n}"
    convert "$big" -filter Box -resize "${n}x${n}" -strip "PNG32:$out/${n}x${n}/glimmora.png"
done
