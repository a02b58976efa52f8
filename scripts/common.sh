# shellcheck shell=bash
# Shared by scripts/run and scripts/test: packages, and an X server for the tests that need a desktop.

# shellcheck disable=SC2034  # used by the scripts that source this file
GLIMMORA_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libfreeimage-dev libxcb1-dev
libxcb-shm0-dev libxcb-xtest0-dev libxcb-xfixes0-dev libcanberra-dev libgtest-dev libbenchmark-dev xvfb xauth
openbox xdotool xclip x11-utils xterm trayer dbus-x11 fontconfig fonts-dejavu-core fonts-liberation2 zenity imagemagick clang
at-spi2-core python3-pyatspi gir1.2-atspi-2.0
libtesseract-dev tesseract-ocr tesseract-ocr-eng
libclang-rt-14-dev libwayland-dev qt6-wayland"

# Installs whatever of the given packages is missing (needs root on a fresh machine).
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# Waits until the command succeeds, up to the limit in seconds (generous: a loaded machine is slow).
wait_for_condition() {  # limit command...
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}

# Starts Xvfb on a display it picks itself (-displayfd, so a display another program holds is never
# tried), at GLIMMORA_SCREEN (default 1920x1080x24), and openbox without its Print bindings; exports
# DISPLAY. On failure everything started so far is stopped again.
start_desktop() {
    GLIMMORA_STATE=$(mktemp -d)
    chmod 700 "$GLIMMORA_STATE"
    export XDG_RUNTIME_DIR="$GLIMMORA_STATE/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export NO_AT_BRIDGE=1
    # Xvfb writes its display number to the file once it takes connections.
    Xvfb -displayfd 5 -screen 0 "${GLIMMORA_SCREEN:-1920x1080x24}" -nolisten tcp \
        5>"$GLIMMORA_STATE/display" >"$GLIMMORA_STATE/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local n=""
    local end=$((SECONDS + 60))
    while [ -z "$n" ] && [ "$SECONDS" -lt "$end" ] && kill -0 "$XVFB_PID" 2>/dev/null; do
        sleep 0.1
        n=$(head -n 1 "$GLIMMORA_STATE/display" 2>/dev/null || true)
    done
    if [ -z "$n" ]; then
        echo "Xvfb did not start"
        cat "$GLIMMORA_STATE/xvfb.log"
        stop_desktop
        return 1
    fi
    export DISPLAY=":$n"
    if ! wait_for_condition 60 xdpyinfo; then
        echo "Xvfb on $DISPLAY does not answer"
        stop_desktop
        return 1
    fi
    # Our own hotkeys must be able to take Print and Alt+Print.
    sed -e '/<keybind key="A-Print">/,/<\/keybind>/d' -e '/<keybind key="Print">/,/<\/keybind>/d' \
        /etc/xdg/openbox/rc.xml >"$GLIMMORA_STATE/rc.xml"
    # A window manager that dies would leave every later desktop test waiting for frames: it is restarted
    # (it adopts the windows already there), and the log says so.
    (
        trap 'kill "$ob" 2>/dev/null; exit 0' TERM
        while :; do
            openbox --config-file "$GLIMMORA_STATE/rc.xml" >>"$GLIMMORA_STATE/openbox.log" 2>&1 &
            ob=$!
            # Under the caller's set -e a failed wait would end this loop instead of restarting.
            status=0
            wait "$ob" || status=$?
            echo "openbox exited with status $status; restarting" >>"$GLIMMORA_STATE/openbox.log"
            sleep 0.2
        done
    ) &
    OPENBOX_PID=$!
    if ! wait_for_condition 60 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"; then
        echo "openbox did not start"
        cat "$GLIMMORA_STATE/openbox.log"
        stop_desktop
        return 1
    fi
    echo "Desktop: DISPLAY=$DISPLAY (Xvfb $XVFB_PID, openbox $OPENBOX_PID)"
}

# A session bus of our own when there is none (the tray and the accessibility bridge look for one).
start_session_bus() {
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] && return 0
    local info
    info=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || return 1
    DBUS_SESSION_BUS_ADDRESS=$(printf '%s\n' "$info" | sed -n 1p)
    export DBUS_SESSION_BUS_ADDRESS
    GLIMMORA_BUS_PID=$(printf '%s\n' "$info" | sed -n 2p)
}

# Stops whatever start_desktop and start_session_bus started; never fails, so a cleanup under set -e
# always runs to its end.
stop_desktop() {
    if [ -n "${GLIMMORA_STATE:-}" ] && grep -q 'restarting' "$GLIMMORA_STATE/openbox.log" 2>/dev/null; then
        echo "Note: the window manager had to be restarted during the tests:"
        grep -B3 'restarting' "$GLIMMORA_STATE/openbox.log" | tail -20
    fi
    # The window manager's loop goes first and is waited for, so it does not restart openbox against an
    # X server that is going away.
    local pid
    for pid in "${OPENBOX_PID:-}" "${XVFB_PID:-}" "${GLIMMORA_BUS_PID:-}"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ -n "${GLIMMORA_STATE:-}" ]; then
        rm -rf "$GLIMMORA_STATE"
    fi
    OPENBOX_PID="" XVFB_PID="" GLIMMORA_BUS_PID="" GLIMMORA_STATE=""
    return 0
}
