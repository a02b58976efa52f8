#!/usr/bin/env bash
# Whole-process encoding speed of glimmora-cli convert against ImageMagick, GraphicsMagick and libvips, on
# the same BMP input, side by side in one run. Prints seconds (best of N runs), file sizes and our time over
# the fastest peer's. Run from a clone after scripts/test (or any time: it builds what it needs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages imagemagick graphicsmagick libvips-tools libbenchmark-dev
# /usr/bin/convert is ImageMagick itself; a convert earlier on PATH may be a wrapper.
runs=${RUNS:-7}

build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMMORA_BENCH=ON -DGLIMMORA_TESTS=OFF >/dev/null
ninja -C "$build" glimmora-cli codec_bench >/dev/null
cli="$build/src/app/cli/glimmora-cli"
work=$(mktemp -d /dev/shm/glimmora-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/codec_bench" --samples "$work"

best() { # command... -> best wall time in seconds over $runs runs
    local best=999999999999 t0 t1 t
    for _ in $(seq 1 "$runs"); do
        t0=$(date +%s%N)
        "$@" >/dev/null 2>&1
        t1=$(date +%s%N)
        t=$(( (t1 - t0) / 1000 ))
        [ "$t" -lt "$best" ] && best=$t
    done
    awk -v us="$best" 'BEGIN { printf "%.4f", us / 1e6 }'
}
size() { stat -c %s "$1"; }

printf '%-22s %-6s %10s %10s %10s %10s %12s\n' picture format glimmora magick gm vips 'ours/fastest'
for pic in screenshot photo; do
    in="$work/$pic.bmp"
    for fmt in png jpg gif; do
        ours=$(best "$cli" convert "$in" "$work/o.$fmt")
        im=$(best /usr/bin/convert "$in" "$work/m.$fmt")
        gm=$(best gm convert "$in" "$work/g.$fmt")
        if [ "$fmt" = gif ]; then
            vips="-"  # vips writes GIF only through ImageMagick on Debian 12
        else
            vips=$(best vips copy "$in" "$work/v.$fmt")
        fi
        fastest=$(printf '%s\n' "$im" "$gm" "$vips" | grep -v '^-$' | sort -g | head -1)
        ratio=$(awk -v a="$ours" -v b="$fastest" 'BEGIN { printf "%.2f", a / b }')
        printf '%-22s %-6s %10s %10s %10s %10s %12s\n' "$pic" "$fmt" "$ours" "$im" "$gm" "$vips" "$ratio"
        sizes="bytes: ours $(size "$work/o.$fmt"), magick $(size "$work/m.$fmt"), gm $(size "$work/g.$fmt")"
        [ "$vips" != "-" ] && sizes="$sizes, vips $(size "$work/v.$fmt")"
        printf '%-29s %s\n' "" "$sizes"
    done
done
