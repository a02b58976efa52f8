#!/usr/bin/env bash
# The bash completion of glimmora-cli, driven as bash drives it: COMP_WORDS in, COMPREPLY out.
set -u
completion=$1 cli=$2
# shellcheck source=/dev/null
. "$completion"
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/shot.png" "$work/sheet.tif"
mkdir "$work/shots"
cd "$work" || exit 1

[[ $(complete -p glimmora-cli) == *"-F _glimmora_cli"* ]] || { echo "FAIL not registered"; status=1; }

complete_words() {  # the command line up to the cursor, the last word being completed
    COMP_WORDS=("$cli" "${@:2}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _glimmora_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
check() {  # expected -- words...
    local expected=$1
    shift
    local got
    got=$(complete_words "$@")
    if [ "$got" != "$expected" ]; then
        echo "FAIL '${*:2}': expected '$expected', got '$got'"
        status=1
    fi
}
every_apply_word=$({ "$cli" apply --list | awk '{print $1}'; printf '%s\n' --help --list; } | sort | tr '\n' ' ' |
    sed 's/ $//')

check "--help --version apply convert grab info ocr record scroll" -- ""
check "convert" -- "co"
check "$every_apply_word" -- apply ""
check "rotate rotate270 rotate90" -- apply rot
check "angle=" -- apply rotate ""
check "hue= saturation=" -- apply hue-saturation ""
check "seed=" -- apply noise level=3 s
check "--progress" -- apply rotate --p
check "sheet.tif shot.png shots" -- apply grey sh
check "shot.png shots" -- grab sho
check "--active" -- grab --a
check "--cursor" -- grab --rect 0,0,8,8 --c
check "" -- grab --rect ""
check "--at" -- scroll --window 0x1 --a
check "--fps" -- record --rect 0,0,8,8 --f
check "" -- record --duration ""
check "shot.png shots" -- record --cursor sho
check "sheet.tif" -- info she
check "shot.png shots" -- convert -- sho
exit $status
