# Shared by scripts/run and scripts/test: packages, and an X server for the tests that need a desktop.

GLIMMORA_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libfreeimage-dev libxcb1-dev
libxcb-shm0-dev libxcb-xtest0-dev libxcb-xfixes0-dev libcanberra-dev libgtest-dev libbenchmark-dev xvfb xauth
openbox xdotool xclip x11-utils xterm trayer dbus-x11 fontconfig fonts-dejavu-core fonts-liberation2 zenity imagemagick clang
at-spi2-core python3-pyatspi gir1.2-atspi-2.0
libclang-rt-14-dev"

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

# Starts Xvfb on a free display (GLIMMORA_SCREEN, default 1920x1080x24) and openbox without its Print
# bindings; exports DISPLAY.
start_desktop() {
    local n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    GLIMMORA_STATE=$(mktemp -d)
    chmod 700 "$GLIMMORA_STATE"
    export XDG_RUNTIME_DIR="$GLIMMORA_STATE/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    export NO_AT_BRIDGE=1
    Xvfb ":$n" -screen 0 "${GLIMMORA_SCREEN:-1920x1080x24}" -nolisten tcp >"$GLIMMORA_STATE/xvfb.log" 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && break
        sleep 0.1
    done
    xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start"; cat "$GLIMMORA_STATE/xvfb.log"; return 1; }
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
            wait "$ob"
            echo "openbox exited with status $?; restarting" >>"$GLIMMORA_STATE/openbox.log"
            sleep 0.2
        done
    ) &
    OPENBOX_PID=$!
    for _ in $(seq 1 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
        { echo "openbox did not start"; cat "$GLIMMORA_STATE/openbox.log"; return 1; }
    echo "Desktop: DISPLAY=$DISPLAY (Xvfb $XVFB_PID, openbox $OPENBOX_PID)"
}

stop_desktop() {
    if [ -n "${GLIMMORA_STATE:-}" ] && grep -q 'restarting' "$GLIMMORA_STATE/openbox.log" 2>/dev/null; then
        echo "Note: the window manager had to be restarted during the tests:"
        grep -B3 'restarting' "$GLIMMORA_STATE/openbox.log" | tail -20
    fi
    [ -n "${OPENBOX_PID:-}" ] && kill "$OPENBOX_PID" 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    [ -n "${GLIMMORA_STATE:-}" ] && rm -rf "$GLIMMORA_STATE"
    return 0
}
