#!/bin/sh
# The Wayland test session itself: one output at 1920x1080 showing nothing but the configured
# background, as grim sees it. Run inside the session (scripts/common.sh: start_wayland, wayland_run).
set -eu
: "${WAYLAND_DISPLAY:?not in a Wayland session}"
: "${GLIMMORA_WAYLAND_BACKGROUND:?the session sets the background colour}"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
grim -t png "$dir/screen.png"
# Size, number of distinct colours, the colour of the first pixel.
got=$(convert "$dir/screen.png" -alpha off -format '%w %h %k #%[hex:p{0,0}]' info:)
want="1920 1080 1 $(echo "$GLIMMORA_WAYLAND_BACKGROUND" | tr 'a-f' 'A-F')"
if [ "$got" != "$want" ]; then
    echo "grim's picture: $got; expected $want"
    exit 1
fi
echo "session ok: $got"
