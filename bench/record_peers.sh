#!/usr/bin/env bash
# Screen recording beside ffmpeg's x11grab on a private 1920x1080 Xvfb showing a changing screen
# (bench/record_scene.py); the figures are a Markdown table (bench/record_peers.py says what each is).
# usage: bench/record_peers.sh [BUILD_DIR]   (a Release build; default build-rel)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$root/build-rel}
CLI="$BUILD/src/app/cli/glimmora-cli"
[ -x "$CLI" ] || { echo "no $CLI: build Release first (ninja -C build-rel glimmora-cli)" >&2; exit 1; }
# shellcheck source=../scripts/common.sh
. "$root/scripts/common.sh"
ensure_packages ffmpeg python3-tk xvfb openbox
OUT=$(mktemp -d)
SCENE=
cleanup() {
    [ -n "$SCENE" ] && kill "$SCENE" 2>/dev/null
    stop_desktop
    rm -rf "$OUT"
}
trap cleanup EXIT
GLIMMORA_SCREEN=1920x1080x24 start_desktop >/dev/null
coproc SCENE_PROC { python3 "$root/bench/record_scene.py"; }
SCENE=$SCENE_PROC_PID
read -r ready <&"${SCENE_PROC[0]}"
[ "$ready" = ready ] || { echo "the scene did not start" >&2; exit 1; }
python3 "$root/bench/record_peers.py" "$CLI" "$OUT"
