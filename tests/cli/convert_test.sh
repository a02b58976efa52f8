#!/usr/bin/env bash
# glimmora-cli info/convert end to end: every written format reads back at the right size in FreeImage
# (through info) and in ImageMagick; failures exit non-zero and leave no output file.
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() { # description, command...
    local what=$1
    shift
    if ! "$@"; then
        echo "FAIL: $what"
        fail=1
    fi
}

convert -size 97x61 gradient:'#ff0000'-'#0000ff' -alpha set -channel A -fx 'i/w' "$dir/in.png"
check "input made" test -s "$dir/in.png"
check "info of the input" sh -c "'$cli' info '$dir/in.png' | grep -qx 'size: 97x61'"

for name in out.bmp out.jpg out.jpeg out.gif out.tif out.tiff out.tga out.png out.pcx OUT.PCX Out.Pcx; do
    check "convert to $name" "$cli" convert "$dir/in.png" "$dir/$name"
    check "$name read back by FreeImage" sh -c "'$cli' info '$dir/$name' | grep -qx 'size: 97x61'"
    check "$name read back by ImageMagick" sh -c "[ \"\$(identify -format '%wx%h' '$dir/$name' 2>/dev/null)\" = 97x61 ]"
done
check "alpha kept in PNG" sh -c "'$cli' info '$dir/out.png' | grep -qx 'depth: 32'"

# Failures: message on stderr, non-zero status, no file.
expect_failure() { # description, output path, command...
    local what=$1 out=$2
    shift 2
    if "$@" 2>"$dir/err"; then
        echo "FAIL: $what succeeded"
        fail=1
    fi
    [ -s "$dir/err" ] || { echo "FAIL: $what printed no message"; fail=1; }
    [ -e "$out" ] && { echo "FAIL: $what left $out behind"; fail=1; }
}
expect_failure "missing input" "$dir/a.png" "$cli" convert "$dir/missing.png" "$dir/a.png"
expect_failure "unknown extension" "$dir/a.xyz" "$cli" convert "$dir/in.png" "$dir/a.xyz"
expect_failure "no extension" "$dir/noext" "$cli" convert "$dir/in.png" "$dir/noext"
expect_failure "missing folder" "$dir/no/a.png" "$cli" convert "$dir/in.png" "$dir/no/a.png"
head -c 100 /dev/urandom >"$dir/junk.png"
head -c 200 "$dir/in.png" >"$dir/damaged.png"
expect_failure "junk input" "$dir/b.png" "$cli" convert "$dir/junk.png" "$dir/b.png"
expect_failure "info of junk" "$dir/none" "$cli" info "$dir/junk.png"
expect_failure "unknown command" "$dir/none" "$cli" frobnicate
# As a Unix user expects: help on stdout with status 0, reasons in the messages, "--" ending the
# options, decimal numbers, the format named from the content.
expect_output() { # description, expected status, text the output must hold, command...
    local what=$1 status=$2 text=$3
    shift 3
    "$@" >"$dir/out" 2>&1
    local got=$?
    [ "$got" = "$status" ] || { echo "FAIL: $what exited $got, not $status"; fail=1; }
    [ -z "$text" ] || grep -qF -- "$text" "$dir/out" || { echo "FAIL: $what: no '$text' in: $(cat "$dir/out")"; fail=1; }
}
check "--help on stdout" sh -c "'$cli' --help 2>/dev/null | grep -q 'glimmora-cli apply'"
check "COMMAND --help on stdout" sh -c "'$cli' convert --help 2>/dev/null | grep -qx 'usage: glimmora-cli convert IN OUT'"
check "apply OPERATION --help on stdout" sh -c "'$cli' apply rotate --help 2>/dev/null | grep -q 'apply --list'"
cp "$dir/in.png" "$dir/-dash.png"
cp "$dir/in.png" "$dir/named.bmp"
mkdir "$dir/folder"
(
    cd "$dir" || exit 1
    expect_output "missing input" 1 "missing.png: No such file or directory" "$cli" info missing.png
    expect_output "a folder" 1 "folder: Is a directory" "$cli" convert folder a.png
    expect_output "damaged PNG" 1 "PNG data that could not be decoded" "$cli" info damaged.png
    expect_output "a file name after --" 0 "size: 97x61" "$cli" info -- -dash.png
    expect_output "an option that is not one" 2 "unknown option '-dash.png'" "$cli" info -dash.png
    expect_output "apply after --" 0 "" "$cli" apply invert -- -dash.png -out.png
    expect_output "format from the content" 0 "format: PNG" "$cli" info named.bmp
    expect_output "a resize past the size bound" 1 "the picture would be too large: 65535x65535 at 32 bits is 16384 MiB" \
        "$cli" apply resize width=65535 height=65535 in.png huge.png
    expect_output "COMMAND --help explains the options" 0 "--progress   prints percentages" "$cli" apply --help
    # 09 is a decimal 9, not a broken octal number: the rectangle is refused for its zero height only.
    expect_output "decimal numbers" 1 "is empty or too large" env -u DISPLAY "$cli" grab --rect 0,0,09,0 x.png
    exit $fail
) || fail=1
check "apply after -- wrote its file" test -s "$dir/-out.png"
rm -f "$dir/-out.png"

# A BMP output of a large picture has its space reserved while the input loads: the file comes out at
# exactly its size, and a load that fails after the reservation leaves nothing behind.
convert -size 2048x1200 gradient:'#102030'-'#f0e0d0' -type TrueColor "$dir/big.bmp"
check "apply to a large BMP" "$cli" apply invert "$dir/big.bmp" "$dir/big-out.bmp"
check "large BMP at its exact size" test "$(stat -c %s "$dir/big-out.bmp")" = $((54 + 2048 * 1200 * 4))
check "large BMP read back by ImageMagick" sh -c "[ \"\$(identify -format '%wx%h' '$dir/big-out.bmp' 2>/dev/null)\" = 2048x1200 ]"
# "BM", then a header for 4000 x 4000 at 7 bits a pixel, which no reader takes.
printf 'BM\x36\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xa0\x0f\0\0\xa0\x0f\0\0\x01\0\x07\0' >"$dir/odd.bmp"
head -c 100 /dev/zero >>"$dir/odd.bmp"
expect_failure "a BMP header no reader takes" "$dir/odd-out.bmp" "$cli" apply invert "$dir/odd.bmp" "$dir/odd-out.bmp"

# Nothing but our own files remain: no temporary files beside the targets.
leftovers=$(find "$dir" -name '*.??????' -o -name 'glimmora-*' | head -1)
[ -z "$leftovers" ] || { echo "FAIL: temporary file left: $leftovers"; fail=1; }
exit $fail
