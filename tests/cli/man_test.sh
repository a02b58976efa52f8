#!/usr/bin/env bash
# The manual pages: groff finds nothing to warn about, lexgrog reads their NAME line, and every option and
# command the programs' help texts name is in them.
set -u
man_dir=$1 gui=$2 cli=$3
status=0
fail() {
    echo "FAIL $*"
    status=1
}
for page in glimmora glimmora-cli; do
    file="$man_dir/$page.1"
    warnings=$(groff -man -ww -z "$file" 2>&1)
    [ -z "$warnings" ] || fail "$page.1: groff: $warnings"
    lexgrog "$file" >/dev/null 2>&1 || fail "$page.1: lexgrog finds no whatis line"
    zcat "$file.gz" | cmp -s - "$file" || fail "$page.1.gz is not the page"
done
# Every word of the help texts that looks like an option, a command or an operation.
text() { MANWIDTH=200 man -l "$1" 2>/dev/null; }
for option in $("$gui" --help | grep -o -- '--[a-z-]*' | sort -u); do
    text "$man_dir/glimmora.1" | grep -qF -- "$option" || fail "glimmora.1 lacks $option"
done
for mode in full window region active scroll fixed; do
    text "$man_dir/glimmora.1" | grep -qw -- "$mode" || fail "glimmora.1 lacks the mode $mode"
done
for word in $("$cli" --help | grep -o -- '--[a-z-]*' | sort -u) info convert apply grab scroll record \
    $("$cli" apply --list | awk '{print $1}'); do
    text "$man_dir/glimmora-cli.1" | grep -qF -- "$word" || fail "glimmora-cli.1 lacks $word"
done
for page in glimmora glimmora-cli; do
    for section in "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
        text "$man_dir/$page.1" | grep -q "^$section" || fail "$page.1 has no $section"
    done
    text "$man_dir/$page.1" | grep -q GLIMMORA_WAYLAND_GRAB || fail "$page.1 lacks GLIMMORA_WAYLAND_GRAB"
done
text "$man_dir/glimmora.1" | grep -q GLIMMORA_NO_HOTKEYS || fail "glimmora.1 lacks GLIMMORA_NO_HOTKEYS"
exit $status
