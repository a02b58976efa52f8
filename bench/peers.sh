#!/usr/bin/env bash
# Times glimmora-cli apply against ImageMagick, GraphicsMagick and libvips on one 24-megapixel picture:
# whole process each time. Ours and the Magicks read and write BMP; libvips runs twice, on BMP and on
# its own uncompressed .v format (no codec cost at all). The tools take turns within every round, so a
# busy moment hits them all alike; each figure is the median of $RUNS rounds (default 5). Prints
# seconds per tool and our time over the fastest peer's (below 1 means we are faster).
#
#   bench/peers.sh [BUILD_DIR]      (default build folder: /tmp/glimmora-peers-build)
#   ONLY='invert|emboss' bench/peers.sh ...   times only the operations whose names match
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-/tmp/glimmora-peers-build}
work=$(mktemp -d /dev/shm/glimmora-peers.XXXXXX)
trap 'rm -rf "$work"' EXIT

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
if ((${#need[@]})); then
    echo "installing ${need[*]}" >&2
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

echo "building a Release glimmora-cli in $build" >&2
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGLIMMORA_TESTS=OFF >/dev/null
nice ninja -C "$build" -j2 glimmora-cli >/dev/null
cli=$(find "$build" -name glimmora-cli -type f -perm -u+x | head -1)

in=$work/in.bmp
echo "making a 6000x4000 24-bit BMP" >&2
/usr/bin/convert -size 6000x4000 gradient:'#2080c0-#f0a030' -attenuate 0.4 +noise Uniform -type TrueColor "$in"
printf '3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n' >"$work/blur.mat"

printf '3 3 1 128\n0 0 0\n0 1 -1\n0 0 0\n' >"$work/emboss.mat"
vin=$work/in.v
vips copy "$in" "$vin"

runs=${RUNS:-5}
# Milliseconds of one run of a command that must leave a non-empty $1, or "" when it fails.
once() {
    local out=$1
    shift
    rm -f "$out"
    local t0 t1
    t0=$(date +%s%N)
    if "$@" >/dev/null 2>&1 && [ -s "$out" ]; then
        t1=$(date +%s%N)
        echo $(((t1 - t0) / 1000000))
    fi
    rm -f "$out"
}
# Median of the numbers given (milliseconds) in seconds, "n/a" when any run failed.
median() {
    if (($# < runs)); then
        echo n/a
        return
    fi
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1000 }'
}

# name | our apply arguments | ImageMagick options | GraphicsMagick options | vips command (IN OUT as words)
ops=(
    "invert|invert|-negate|-negate|invert IN OUT"
    "greyscale|grey|-colorspace Gray|-colorspace Gray|colourspace IN OUT b-w"
    "brightness|brightness value=130|-evaluate multiply 1.3|-operator All Multiply 1.3|linear --uchar IN OUT 1.3 0"
    "contrast|contrast value=150|-brightness-contrast 0x30|-contrast|linear --uchar IN OUT 1.5 -- -64"
    "convolution 3x3|blur|-convolve 1,2,1,2,4,2,1,2,1|-convolve 1,2,1,2,4,2,1,2,1|conv IN OUT $work/blur.mat --precision integer"
    "emboss|emboss strength=2|-emboss 1|-emboss 1|conv IN OUT $work/emboss.mat --precision integer"
    "oil paint|oil-paint radius=2|-paint 2|-paint 2|"
    "posterize|posterize levels=3|-posterize 3||"
    "resize bilinear|resize width=3000 height=2000 quality=1|-interpolate bilinear -interpolative-resize 3000x2000!|-filter Triangle -resize 3000x2000!|resize IN OUT 0.5 --kernel linear"
    "resize nearest|resize width=3000 height=2000 quality=0|-sample 3000x2000!|-sample 3000x2000!|resize IN OUT 0.5 --kernel nearest"
    "rotate 45|rotate angle=45|-rotate 45|-rotate 45|rotate IN OUT 45"
    "flip horizontal|flip-h|-flop|-flop|flip IN OUT horizontal"
    "flip vertical|flip-v|-flip|-flip|flip IN OUT vertical"
    "rotate 90|rotate90|-rotate 90|-rotate 90|rot IN OUT d90"
    "mosaic|mosaic block=10|-scale 10% -scale 1000%|-scale 10% -scale 1000%|"
    "noise|noise level=100 seed=1|-attenuate 0.4 +noise Uniform|+noise Uniform|"
)

printf '%-18s %8s %8s %8s %8s %8s %8s\n' operation ours magick gm vips vips.v ratio
for entry in "${ops[@]}"; do
    IFS='|' read -r name ours im gm vipscmd <<<"$entry"
    if [ -n "${ONLY:-}" ] && ! [[ $name =~ ^($ONLY)$ ]]; then continue; fi
    out=$work/out.bmp
    vout=$work/out.v
    r_ours=() r_im=() r_gm=() r_vips=() r_v=()
    for _ in $(seq 1 "$runs"); do
        # shellcheck disable=SC2086 # the option strings are word lists
        t=$(once "$out" "$cli" apply $ours "$in" "$out") && [ -n "$t" ] && r_ours+=("$t")
        # shellcheck disable=SC2086
        [ -n "$im" ] && t=$(once "$out" /usr/bin/convert "$in" $im "$out") && [ -n "$t" ] && r_im+=("$t")
        # shellcheck disable=SC2086
        [ -n "$gm" ] && t=$(once "$out" gm convert "$in" $gm "$out") && [ -n "$t" ] && r_gm+=("$t")
        if [ -n "$vipscmd" ]; then
            words=${vipscmd//IN/$in}
            words=${words//OUT/$out}
            # shellcheck disable=SC2086
            t=$(once "$out" vips $words) && [ -n "$t" ] && r_vips+=("$t")
            words=${vipscmd//IN/$vin}
            words=${words//OUT/$vout}
            # shellcheck disable=SC2086
            t=$(once "$vout" vips $words) && [ -n "$t" ] && r_v+=("$t")
        fi
    done
    t_ours=$(median "${r_ours[@]}")
    t_im=$(median "${r_im[@]}")
    t_gm=$(median "${r_gm[@]}")
    t_vips=$(median "${r_vips[@]}")
    t_v=$(median "${r_v[@]}")
    ratio=$(awk -v o="$t_ours" -v a="$t_im" -v b="$t_gm" -v c="$t_vips" -v d="$t_v" 'BEGIN {
        best = ""
        n = split(a " " b " " c " " d, t, " ")
        for (i = 1; i <= n; i++) if (t[i] != "n/a" && (best == "" || t[i] + 0 < best + 0)) best = t[i]
        if (best == "" || o == "n/a" || best + 0 == 0) print "n/a"; else printf "%.2f", o / best }')
    printf '%-18s %8s %8s %8s %8s %8s %8s\n' "$name" "$t_ours" "$t_im" "$t_gm" "$t_vips" "$t_v" "$ratio"
done
