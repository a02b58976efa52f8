#!/usr/bin/env bash
# Back-to-back grabs of a large screen: each glimmora-cli grab, and any client right after one, must get
# its connection. (A server still unmapping the last grab's 33 MB shared segment dropped the next client.)
set -u
cli=$1
dir=$(mktemp -d)
xpid=
trap '[ -n "$xpid" ] && kill "$xpid" 2>/dev/null; rm -rf "$dir"' EXIT
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 3840x2160x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xpid=$!
# Xvfb writes its display number once it accepts clients.
read -r number <"$dir/display" || { echo "FAIL: Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; }
export DISPLAY=":$number"
# The leak check at exit would give the server the time it needs and hide the race.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
fail=0
for i in $(seq 1 25); do
    "$cli" grab "$dir/shot.bmp" 2>"$dir/err" || { echo "FAIL: grab $i: $(cat "$dir/err")"; fail=1; }
    xdpyinfo >/dev/null 2>&1 || { echo "FAIL: a client right after grab $i could not connect"; fail=1; }
done
exit $fail
