#!/usr/bin/env bash
# Screen recording on headless sway beside wf-recorder: 10 s of the 1920x1080 output, where a terminal
# prints as fast as it can, to H.264 (x264 veryfast, quality 21 for both). CPU time (user + sys of the
# whole process), frames in the file, and the longest gap between two frames.
# usage: bench/record_wayland_peers.sh [BUILD_DIR]   (a Release build; default build-rel)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$root/build-rel}
[ -x "$BUILD/src/app/cli/glimmora-cli" ] || { echo "build Release first (ninja -C build-rel glimmora-cli)" >&2; exit 1; }
# shellcheck source=../scripts/common.sh
. "$root/scripts/common.sh"
ensure_packages wf-recorder ffmpeg sway foot
unset DISPLAY
start_wayland >/dev/null
trap stop_wayland EXIT
home="$GLIMMORA_WL_STATE/home"
cp "$BUILD/src/app/cli/glimmora-cli" "$home/"
chown "$GLIMMORA_WAYLAND_USER" "$home/glimmora-cli"
wayland_spawn busy foot sh -c 'while :; do ls -l /usr/bin; done'
foot_up() { wayland_run swaymsg -t get_tree | grep -q '"app_id": "foot"'; }
wait_for_condition 60 foot_up

report() {  # name file cpu
    local frames gap
    frames=$(wayland_run ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$2")
    gap=$(wayland_run ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time \
        -of csv=p=0 "$2" | awk 'NR > 1 && $1 - p > g { g = $1 - p } { p = $1 } END { printf "%.0f", g * 1000 }')
    echo "| $1 | $3 | $frames | $gap | $(($(stat -c %s "$2") / 1024)) |"
}
echo "| recorder (sway, 1920x1080, 10 s) | CPU s (user+sys) | frames | longest gap, ms | KiB |"
echo "|---|---|---|---|---|"
cpu=$(wayland_run /usr/bin/time -f "%U %S" "$home/glimmora-cli" record --duration 10 "$home/ours.mp4" 2>&1 |
    tail -1 | awk '{ print $1 + $2 }')
report "glimmora-cli record (screen copy, 30 fps)" "$home/ours.mp4" "$cpu"
cpu=$(wayland_run /usr/bin/time -f "%U %S" timeout -s INT 10 wf-recorder -D -c libx264 -x yuv420p \
    -p preset=veryfast -p tune=zerolatency -p crf=21 -f "$home/wf.mp4" 2>&1 | tail -1 | awk '{ print $1 + $2 }')
report "wf-recorder -D (every frame the compositor gives)" "$home/wf.mp4" "$cpu"
