#!/usr/bin/env bash
# Whole-process encoding speed of glimmora-cli convert against ImageMagick, GraphicsMagick and libvips, on
# the same BMP input, side by side in one run. Prints seconds (best of N runs), file sizes and our time over
# the fastest peer's. Then our PNG of the 24-megapixel picture against libvips' pngsave at the same zlib level,
# and that file read back by libpng, FreeImage and ImageMagick. Run from a clone after scripts/test (or any
# time: it builds what it needs).
#   bench/codec_peers.sh [BUILD_DIR]   (a Release tree with -DGLIMMORA_BENCH=ON; default build-bench)
#   ONLY=png bench/codec_peers.sh ...  the 24-megapixel PNG part alone
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages imagemagick graphicsmagick libvips-tools libbenchmark-dev
# /usr/bin/convert is ImageMagick itself; a convert earlier on PATH may be a wrapper.
runs=${RUNS:-7}

build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMMORA_BENCH=ON -DGLIMMORA_TESTS=OFF >/dev/null
ninja -j1 -C "$build" glimmora-cli codec_bench png_readback >/dev/null
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

[ "${ONLY:-}" = png ] || printf '%-22s %-6s %10s %10s %10s %10s %12s\n' picture format glimmora magick gm vips 'ours/fastest'
for pic in screenshot photo; do
    [ "${ONLY:-}" = png ] && break
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

# PNG of the 24-megapixel picture: ours (glimmora-cli convert from BMP) against vips pngsave from its own
# uncompressed format, both RGB, at the zlib level our writer chose (the FLEVEL bits of our zlib header),
# vips with its default filter (none) and with the one our writer uses on such rows (up).
echo
photo="$work/photo.bmp"
vips extract_band "$photo" "$work/photo.v" 0 --n 3
"$cli" convert "$photo" "$work/o.png"
flevel=$(($(od -An -tu1 -j63 -N1 "$work/o.png") >> 6))
level=$([ "$flevel" -ge 2 ] && echo 6 || echo 1)
ours=$(best "$cli" convert "$photo" "$work/o.png")
v_none=$(best vips pngsave "$work/photo.v" "$work/vn.png" --compression "$level")
v_up=$(best vips pngsave "$work/photo.v" "$work/vu.png" --compression "$level" --filter up)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "| 6000 x 4000 to PNG, zlib level $level | seconds | bytes | ours / it |"
echo "|---|---|---|---|"
echo "| glimmora-cli convert | $ours | $(size "$work/o.png") | |"
echo "| vips pngsave, filter none (its default) | $v_none | $(size "$work/vn.png") | $(ratio "$ours" "$v_none") |"
echo "| vips pngsave, filter up | $v_up | $(size "$work/vu.png") | $(ratio "$ours" "$v_up") |"
echo
"$build/bench/png_readback" "$photo" "$work/o.png" || echo "FAIL: our PNG does not read back as the picture"
im=$(compare -metric AE "$photo" "$work/o.png" null: 2>&1 || true)
echo "ImageMagick: $im pixels differ"
