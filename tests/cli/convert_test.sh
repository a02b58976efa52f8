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
expect_failure "junk input" "$dir/b.png" "$cli" convert "$dir/junk.png" "$dir/b.png"
expect_failure "info of junk" "$dir/none" "$cli" info "$dir/junk.png"
expect_failure "unknown command" "$dir/none" "$cli" frobnicate
# Nothing but our own files remain: no temporary files beside the targets.
leftovers=$(find "$dir" -name '*.??????' -o -name 'glimmora-*' | head -1)
[ -z "$leftovers" ] || { echo "FAIL: temporary file left: $leftovers"; fail=1; }
exit $fail
