#!/usr/bin/env bash
# Both programs print the version the build was configured with, and their help texts name it.
set -u
expected=$1 gui=$2 cli=$3
status=0
check() {  # what expected actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected '$2', got '$3'"
        status=1
    fi
}
check "glimmora --version" "glimmora $expected" "$(env -u DISPLAY -u WAYLAND_DISPLAY "$gui" --version)"
check "glimmora-cli --version" "glimmora-cli $expected" "$("$cli" --version)"
check "glimmora-cli -V" "glimmora-cli $expected" "$("$cli" -V)"
"$gui" --help | grep -qF "($expected)" || { echo "FAIL glimmora --help does not name $expected"; status=1; }
"$cli" --help | grep -qF "($expected)" || { echo "FAIL glimmora-cli --help does not name $expected"; status=1; }
exit $status
