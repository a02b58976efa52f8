#!/usr/bin/env bash
# Glimmora against grim on a headless sway session at 1920x1080 (see wayland_peers.py for what is timed).
# usage: bench/wayland_peers.sh [BUILD_DIR]   (a Release build; default build-rel)
#        ONLY=grab bench/wayland_peers.sh ...   only the full-screen grab to PNG against grim
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-rel}" && pwd)
programs="src/app/main/glimmora src/app/cli/glimmora-cli"
[ "${ONLY:-}" = grab ] && programs=src/app/cli/glimmora-cli
for p in $programs; do
    [ -x "$build/$p" ] || { echo "no $build/$p: build Release first" >&2; exit 1; }
done
# shellcheck source=../scripts/common.sh
. "$root/scripts/common.sh"
trap stop_wayland EXIT
start_wayland
wayland_run env ONLY="${ONLY:-}" /usr/bin/python3 "$root/bench/wayland_peers.py" "$build/src/app/main/glimmora" \
    "$build/src/app/cli/glimmora-cli" "${RUNS:-15}"
