#!/bin/sh
# Whole-process screen grabs on a private Xvfb at 1920x1080 and 3840x2160: glimmora-cli grab against
# ImageMagick's import, xwd and scrot, then the in-process benchmark (grab_bench) on the large screen.
# usage: bench/grab_peers.sh [BUILD_DIR]   (a Release build with -DGLIMMORA_BENCH=ON; default build-rel)
set -eu
BUILD=${1:-build-rel}
CLI="$BUILD/src/app/cli/glimmora-cli"
BENCH="$BUILD/bench/grab_bench"
RUNS=${RUNS:-15}
[ -x "$CLI" ] || { echo "no $CLI: build Release with -DGLIMMORA_BENCH=ON first" >&2; exit 1; }
for tool in import xwd scrot Xvfb xterm; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    case $tool in
      xwd) pkg=x11-apps ;; import) pkg=imagemagick ;; Xvfb) pkg=xvfb ;; *) pkg=$tool ;;
    esac
    apt-get install -y --no-install-recommends "$pkg" >/dev/null
  fi
done
OUT=$(mktemp -d)
XPID=
TPID=
cleanup() { kill $TPID $XPID 2>/dev/null || true; rm -rf "$OUT"; }
trap cleanup EXIT

# Median wall time of RUNS runs of a command, in milliseconds.
median_ms() {
  i=0
  : > "$OUT/times"
  while [ $i -lt "$RUNS" ]; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 )) >> "$OUT/times"
    i=$((i + 1))
  done
  sort -n "$OUT/times" | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] / 1000 }'
}

start_display() {
  DISPLAY_NUM=$1
  Xvfb ":$DISPLAY_NUM" -screen 0 "$2" -nolisten tcp >/dev/null 2>&1 &
  XPID=$!
  export DISPLAY=":$DISPLAY_NUM"
  n=0
  until xdpyinfo >/dev/null 2>&1; do
    n=$((n + 1)); [ $n -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  # Something to look at, as on the Wayland bench: a terminal full of text over the whole screen, so the
  # PNG encoders have work to do. (ImageMagick's `display -window root` leaves Xvfb's root black.)
  w=${2%%x*}; rest=${2#*x}; h=${rest%%x*}
  xterm -geometry "$((w / 6))x$((h / 13))+0+0" -e sh -c 'ls -lR /usr/share/doc | head -400; exec sleep 1000' &
  TPID=$!
  sleep 1.5
}

stop_display() {
  kill "$TPID" 2>/dev/null || true
  kill "$XPID" 2>/dev/null || true
  wait "$XPID" 2>/dev/null || true
  XPID=
}

echo "| screen | glimmora-cli grab .bmp | glimmora-cli grab .png | import .bmp | import .png | xwd | scrot .png | .png: ours / scrot | .png bytes: ours, scrot |"
echo "|---|---|---|---|---|---|---|---|---|"
num=91
for size in 1920x1080x24 3840x2160x24; do
  start_display $num "$size"
  g_bmp=$(median_ms "$CLI" grab "$OUT/g.bmp")
  g_png=$(median_ms "$CLI" grab "$OUT/g.png")
  i_bmp=$(median_ms import -window root "$OUT/i.bmp")
  i_png=$(median_ms import -window root "$OUT/i.png")
  xwd_ms=$(median_ms xwd -root -silent -out "$OUT/x.xwd")
  s_png=$(median_ms scrot -o "$OUT/s.png")
  ratio=$(awk -v a="$g_png" -v b="$s_png" 'BEGIN { printf "%.2f", a / b }')
  bytes="$(stat -c %s "$OUT/g.png"), $(stat -c %s "$OUT/s.png")"
  echo "| ${size%x24} | $g_bmp ms | $g_png ms | $i_bmp ms | $i_png ms | $xwd_ms ms | $s_png ms | $ratio | $bytes |"
  if [ "$size" = 3840x2160x24 ] && [ -x "$BENCH" ]; then
    "$BENCH" --benchmark_min_time=0.5 > "$OUT/bench.txt" 2>&1 || true
  fi
  stop_display
  num=$((num + 1))
done
if [ -s "$OUT/bench.txt" ]; then
  echo
  echo "In-process (grab_bench on a 3840x2160 screen):"
  grep -E "^BM_" "$OUT/bench.txt"
fi
