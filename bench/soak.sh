#!/usr/bin/env bash
# One running Glimmora through 2,000 full-screen captures requested over the bus (each tab closed again)
# and 1,000 undo/redo steps, on a private Xvfb + openbox desktop with its own session and accessibility
# buses: resident memory after the first 100 of each against the end, open files and threads.
# Usage: bench/soak.sh [BUILD_DIR] [CAPTURES] [STEPS]   (default build-release, 2000, 1000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../scripts/common.sh
. "$root/scripts/common.sh"
build=${1:-$root/build-release}
glimmora="$build/src/app/main/glimmora"
[ -x "$glimmora" ] || { echo "build $glimmora first (scripts/run does)"; exit 1; }
trap stop_desktop EXIT
start_desktop
dbus-run-session -- sh -c '/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    exec /usr/bin/python3 "$0" "$1" "$2" "$3"' "$root/bench/soak.py" "$glimmora" "${2:-2000}" "${3:-1000}"
