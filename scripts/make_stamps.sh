#!/bin/bash
# Draws the stamp pictures shipped in res/stamps (run again after changing one; the PNGs are committed).
# Needs ImageMagick's convert and the Liberation Sans / DejaVu Sans fonts.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/res/stamps"
mkdir -p "$out"
W=128
H=96
bold=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
[ -f "$bold" ] || bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

canvas() { convert -size ${W}x${H} xc:none "$@"; }

canvas -stroke '#1a8f2a' -strokewidth 14 -fill none -draw "stroke-linecap round stroke-linejoin round polyline 28,50 52,74 100,20" \
    -strip "$out/check.png"
canvas -stroke '#d0202a' -strokewidth 14 -draw "stroke-linecap round line 34,18 94,78" -draw "stroke-linecap round line 94,18 34,78" \
    -strip "$out/cross.png"
canvas -fill '#1f5fd0' -stroke '#0d2f70' -strokewidth 2 \
    -draw "polygon 10,38 72,38 72,16 118,48 72,80 72,58 10,58" -strip "$out/arrow.png"
canvas -fill '#ffd21f' -stroke '#b07800' -strokewidth 3 \
    -draw "polygon 64,6 76,36 108,38 84,58 92,90 64,72 36,90 44,58 20,38 52,36" -strip "$out/star.png"
for n in 1 2 3 4 5; do
    canvas -fill '#e02020' -stroke white -strokewidth 4 -draw "circle 64,48 64,8" \
        -fill white -stroke none -font "$bold" -pointsize 56 -gravity center -annotate +0+2 "$n" \
        -strip "$out/circle$n.png"
done
label() {  # name text colour pointsize
    canvas -fill "$3" -stroke none -draw "roundrectangle 4,18 123,77 14,14" \
        -fill white -font "$bold" -pointsize "$4" -gravity center -annotate +0+0 "$2" -strip "$out/$1.png"
}
label ok OK '#1a8f2a' 44
label new NEW '#1f5fd0' 40
label todo TODO '#e07000' 34
