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
    check "$picture text read" sh -c "[ \"\$('$cli' ocr '$dir/$picture.png' 2>'$dir/$picture.err')\" = '$text' ]"
    # The engine's own notes ("Detected 31 diacritics") are not ours to print.
    check "$picture read says nothing on stderr" test ! -s "$dir/$picture.err"
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
# Mistakes in the command line: status 2 and what is wrong, then the usage. Each row: what, the text the
# message must hold, the words after "ocr" (file names relative to the scratch folder).
cp "$dir/light.png" "$dir/second.png"
while IFS='|' read -r what message words; do
    read -r -a argv <<<"$words"
    err=$(cd "$dir" && "$cli" ocr "${argv[@]}" 2>&1 >/dev/null)
    status=$?
    [ "$status" -eq 2 ] || { echo "FAIL: $what exited $status, not 2"; fail=1; }
    for part in "$message" "usage: glimmora-cli ocr"; do
        case "$err" in *"$part"*) ;; *) echo "FAIL: $what said: $err"; fail=1 ;; esac
    done
done <<'ROWS'
--lang without a value|the option --lang needs a value|light.png --lang
--lang followed by an option|the option --lang needs a value|--lang --help-me light.png
no picture|no picture given|--lang eng
two pictures|one picture at a time, but 2 were given|light.png second.png
an unknown option|unknown option '--language'|--language eng light.png
ROWS
expect_failure "a language without its data names its package" "tesseract-ocr-deu" \
    "$cli" ocr --lang deu "$dir/light.png"
expect_failure "a language code with a script part" "tesseract-ocr-chi-sim" "$cli" ocr --lang chi_sim "$dir/light.png"
help=$("$cli" ocr --help)
case "$help" in *"usage: glimmora-cli ocr"*"--lang L"*"tesseract-ocr-"*) ;; *) echo "FAIL: ocr --help said: $help"; fail=1 ;; esac

# Without the module beside it the program says so instead of failing to start.
cp "$cli" "$dir/alone"
expect_failure "module missing" "libtesseract5" "$dir/alone" ocr "$dir/light.png"

for program in "$cli" "$main"; do
    check "$(basename "$program") does not link the engine" sh -c "! ldd '$program' | grep -q tesseract"
done
exit $fail
