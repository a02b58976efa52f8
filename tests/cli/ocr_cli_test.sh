#!/usr/bin/env bash
# glimmora-cli ocr end to end: light and dark text read back, a chosen language, clear failures, and the
# programs themselves never linking the recognition engine (it is a module loaded on first use).
set -u
cli=$1
main=$2
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
text='Glimmora reads 42 words from screens.'
convert -size 420x40 xc:white -font DejaVu-Sans -pointsize 13 -fill black -annotate +8+25 "$text" "$dir/light.png"
convert "$dir/light.png" -negate "$dir/dark.png"
for picture in light dark; do
    check "$picture text read" sh -c "[ \"\$('$cli' ocr '$dir/$picture.png')\" = '$text' ]"
done
check "language chosen" sh -c "[ \"\$('$cli' ocr --lang eng '$dir/light.png')\" = '$text' ]"

expect_failure() { # description, expected part of the message, command...
    local what=$1 message=$2
    shift 2
    local err status
    err=$("$@" 2>&1 >/dev/null)
    status=$?
    [ "$status" -ne 0 ] || { echo "FAIL: $what succeeded"; fail=1; }
    case "$err" in *"$message"*) ;; *) echo "FAIL: $what said: $err"; fail=1 ;; esac
}
mkdir "$dir/empty"
expect_failure "no language data" "tesseract-ocr-eng" env TESSDATA_PREFIX="$dir/empty" "$cli" ocr "$dir/light.png"
expect_failure "language not installed" '"xyz"' "$cli" ocr --lang xyz "$dir/light.png"
expect_failure "missing file" "missing.png" "$cli" ocr "$dir/missing.png"
printf 'not a picture' >"$dir/bad.png"
expect_failure "undecodable file" "bad.png" "$cli" ocr "$dir/bad.png"
# Without the module beside it the program says so instead of failing to start.
cp "$cli" "$dir/alone"
expect_failure "module missing" "libtesseract5" "$dir/alone" ocr "$dir/light.png"

for program in "$cli" "$main"; do
    check "$(basename "$program") does not link the engine" sh -c "! ldd '$program' | grep -q tesseract"
done
exit $fail
