#!/usr/bin/env bash
# Whole-process timings of the main program against flameshot and ksnip (Debian), median of 5, interleaved:
#   1. cold start to the main window mapped (glimmora, flameshot launcher, ksnip);
#   2. a capture hotkey (XTest) to the selection overlay mapped (glimmora's own hotkey; the peers started as a
#      desktop key binding starts them: flameshot gui, ksnip -r), at 1920 x 1080 and 3840 x 2160;
#   3. a full-screen capture saved to PNG, from the command to the file complete (glimmora --capture full with
#      auto-save; flameshot full -p and ksnip -f -p, which exit once they have written it).
# Each size runs on a private Xvfb + openbox desktop. Usage: bench/app_peers.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../scripts/common.sh
. "$root/scripts/common.sh"
ensure_packages flameshot ksnip
build=${1:-$root/build-release}
glimmora="$build/src/app/main/glimmora"
[ -x "$glimmora" ] || { echo "build $glimmora first (scripts/run does)"; exit 1; }
work=$(mktemp -d)
trap 'pkill -f "$work" 2>/dev/null; pkill flameshot 2>/dev/null; pkill ksnip 2>/dev/null; stop_desktop; rm -rf "$work"' EXIT
g++ -std=c++20 -O2 -o "$work/map_wait" "$root/bench/map_wait.cpp" -lxcb -lxcb-xtest
mw="$work/map_wait"
runs=5

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# A portable copy of glimmora with its own config.ini.
prog="$work/prog"
mkdir -p "$prog/shots"
cp "$glimmora" "$prog/glimmora"
ln -s "$(dirname "$glimmora")/glimmora-gui.so" "$prog/glimmora-gui.so"
ln -s "$(dirname "$glimmora")/stamps" "$prog/stamps"
write_config() {
    cat >"$prog/config.ini" <<EOF
[AppSet]
IsEnableHotkey=1
[CapRegion]
Hotkey=82
HotkeyMask=6
[CaptureSet]
CapDelayTime=0
HideWndBeforCap=0
CapAppViewMode=2
[AudoSaveSet]
IsAudoSave=1
ImageFormat=2
ImageSavePath=$prog/shots
ImageSaveTitle=Snap
StartNum=1
EOF
}

stop_all() {
    pkill -f "$prog/glimmora" 2>/dev/null || true
    pkill flameshot 2>/dev/null || true
    pkill ksnip 2>/dev/null || true
    while pgrep -f "$prog/glimmora" >/dev/null || pgrep flameshot >/dev/null || pgrep ksnip >/dev/null; do
        sleep 0.05
    done
}

one() {  # map_wait arguments; prints the milliseconds, leaves the pid in $last_pid
    local out
    out=$("$mw" "$@")
    last_pid=$(echo "$out" | sed -n 2p)
    echo "$out" | sed -n 1p
}

bench_size() {
    local size=$1
    stop_desktop 2>/dev/null || true
    GLIMMORA_SCREEN=$size start_desktop >/dev/null
    declare -A t
    for _ in $(seq $runs); do
        # 1. cold start
        write_config
        t[start_glimmora]+="$(one -- "$prog/glimmora") "
        stop_all
        t[start_flameshot]+="$(one -- flameshot launcher) "
        stop_all
        t[start_ksnip]+="$(one -- ksnip) "
        stop_all
        # 2. hotkey to overlay (glimmora running, hotkeys on)
        "$prog/glimmora" >/dev/null 2>&1 &
        local pid=$!
        while ! xdotool search --all --onlyvisible --pid $pid --name '^Glimmora' >/dev/null 2>&1; do sleep 0.05; done
        t[overlay_glimmora]+="$(one --key ctrl+shift+r) "
        xdotool key Escape
        # 3. capture to PNG through the running instance
        rm -f "$prog/shots/"*
        t[save_glimmora]+="$(one --no-map --file "$prog/shots/Snap1.png" -- "$prog/glimmora" --capture full) "
        stop_all
        t[overlay_flameshot]+="$(one -- flameshot gui) "
        stop_all
        t[overlay_ksnip]+="$(one -- ksnip -r) "
        stop_all
        rm -rf "$work/fs" && mkdir -p "$work/fs"
        t[save_flameshot]+="$(one --no-map --exit -- flameshot full -p "$work/fs") "
        stop_all
        t[save_ksnip]+="$(one --no-map --exit -- ksnip -f -p "$work/ks.png") "
        stop_all
    done
    echo "## $size (median of $runs, ms)"
    echo "| measure | glimmora | flameshot | ksnip |"
    echo "|---|---|---|---|"
    for m in start overlay save; do
        printf '| %s | %s | %s | %s |\n' "$m" \
            "$(echo "${t[${m}_glimmora]}" | tr ' ' '\n' | grep . | median)" \
            "$(echo "${t[${m}_flameshot]}" | tr ' ' '\n' | grep . | median)" \
            "$(echo "${t[${m}_ksnip]}" | tr ' ' '\n' | grep . | median)"
    done
}

bench_size 1920x1080x24
bench_size 3840x2160x24
