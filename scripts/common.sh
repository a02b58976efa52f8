# shellcheck shell=bash
# Shared by scripts/run and scripts/test: packages, and an X server for the tests that need a desktop.

# shellcheck disable=SC2034  # used by the scripts that source this file
GLIMMORA_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libfreeimage-dev libxcb1-dev
libxcb-shm0-dev libxcb-xtest0-dev libxcb-xfixes0-dev libcanberra-dev libgtest-dev libbenchmark-dev xvfb xauth
openbox xdotool xclip x11-utils xterm trayer dbus-x11 fontconfig fonts-dejavu-core fonts-liberation2 zenity imagemagick clang
at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi gir1.2-glib-2.0
libtesseract-dev tesseract-ocr tesseract-ocr-eng
libclang-rt-14-dev libwayland-dev qt6-wayland
sway swaybg grim wtype wl-clipboard foot xwayland pipewire xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk
dbus-daemon dbus-bin passwd util-linux libx11-dev
man-db groff-base lintian desktop-file-utils appstream dpkg-dev file"

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

# The Wayland test session: sway on its headless backend with the screenshot portal beside it. sway
# refuses to run as root, so as root everything runs as an unprivileged user of its own (created when
# missing; GLIMMORA_WAYLAND_USER names it, glimtest by default); run by anyone else, as the caller. Exports WAYLAND_DISPLAY, SWAYSOCK, DBUS_SESSION_BUS_ADDRESS,
# XDG_RUNTIME_DIR and GLIMMORA_WAYLAND_USER (the values they had come back with stop_wayland);
# wayland_run runs a command in the session. On failure everything started so far is stopped again.
GLIMMORA_WAYLAND_BACKGROUND="#336699"

start_wayland() {
    GLIMMORA_WL_SAVED=""
    local var
    for var in WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR; do
        [ -n "${!var+set}" ] && GLIMMORA_WL_SAVED+="export $var=$(printf '%q' "${!var}");"
    done
    GLIMMORA_WL_PIDS=()
    GLIMMORA_WL_NAMES=()
    if [ "$(id -u)" -eq 0 ]; then
        GLIMMORA_WAYLAND_USER=${GLIMMORA_WAYLAND_USER:-glimtest}
        if ! id -u "$GLIMMORA_WAYLAND_USER" >/dev/null 2>&1; then
            useradd --no-create-home --shell /bin/sh "$GLIMMORA_WAYLAND_USER" || {
                echo "could not create the user $GLIMMORA_WAYLAND_USER"
                return 1
            }
        fi
    else
        GLIMMORA_WAYLAND_USER=$(id -un)
    fi
    export GLIMMORA_WAYLAND_USER
    # Private home, runtime and configuration folders, so nothing a run leaves (portal permissions,
    # toolkit settings) reaches the next one.
    GLIMMORA_WL_STATE=$(mktemp -d /tmp/glimmora-wayland.XXXXXX)
    chmod 711 "$GLIMMORA_WL_STATE"
    local dir
    for dir in runtime home config; do
        mkdir -m 700 "$GLIMMORA_WL_STATE/$dir"
    done
    mkdir -p "$GLIMMORA_WL_STATE/config/xdg-desktop-portal"
    cat >"$GLIMMORA_WL_STATE/config/sway.conf" <<CONF
output HEADLESS-1 resolution 1920x1080 position 0 0
output * bg $GLIMMORA_WAYLAND_BACKGROUND solid_color
xwayland disable
CONF
    # Read by the portal releases that choose backends by configuration; older ones go by UseIn.
    printf '[preferred]\ndefault=gtk\norg.freedesktop.impl.portal.Screenshot=wlr\norg.freedesktop.impl.portal.ScreenCast=wlr\n' \
        >"$GLIMMORA_WL_STATE/config/xdg-desktop-portal/sway-portals.conf"
    chown -R "$GLIMMORA_WAYLAND_USER" "$GLIMMORA_WL_STATE/runtime" "$GLIMMORA_WL_STATE/home" \
        "$GLIMMORA_WL_STATE/config"
    export XDG_RUNTIME_DIR="$GLIMMORA_WL_STATE/runtime"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    unset WAYLAND_DISPLAY SWAYSOCK

    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        wayland_spawn sway sway -c "$GLIMMORA_WL_STATE/config/sway.conf"
    # sway names its sockets itself: the display socket and the IPC socket in the runtime folder.
    if ! wait_for_condition 60 _wayland_find_sockets; then
        echo "sway did not start"
        _wayland_fail sway
        return 1
    fi
    if ! wait_for_condition 60 wayland_run swaymsg -t get_version; then
        echo "sway's IPC does not answer"
        _wayland_fail sway
        return 1
    fi
    wayland_spawn dbus env NO_AT_BRIDGE=1 dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
    if ! wait_for_condition 60 wayland_run dbus-send --session --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.GetId; then
        echo "the session bus does not answer"
        _wayland_fail dbus
        return 1
    fi
    wayland_spawn pipewire pipewire
    # The wlr backend ends at once when it finds no PipeWire to connect to.
    if ! wait_for_condition 60 test -S "$XDG_RUNTIME_DIR/pipewire-0"; then
        echo "pipewire did not start"
        _wayland_fail pipewire
        return 1
    fi
    wayland_spawn portal-wlr /usr/libexec/xdg-desktop-portal-wlr
    # The gtk backend supplies the Access interface the Screenshot portal needs.
    wayland_spawn portal-gtk env NO_AT_BRIDGE=1 /usr/libexec/xdg-desktop-portal-gtk -r
    # The backends own their names before the portal looks for them, or it would start second copies.
    if ! wait_for_condition 60 _wayland_has_name org.freedesktop.impl.portal.desktop.wlr ||
        ! wait_for_condition 60 _wayland_has_name org.freedesktop.impl.portal.desktop.gtk; then
        echo "the portal backends did not start"
        _wayland_fail portal-wlr portal-gtk pipewire
        return 1
    fi
    wayland_spawn portal /usr/libexec/xdg-desktop-portal
    # Asked only once the portal owns its name: a call before that would start a second one by activation.
    if ! wait_for_condition 60 _wayland_portal_ready; then
        echo "the Screenshot portal did not come up"
        _wayland_fail portal portal-wlr portal-gtk pipewire
        return 1
    fi
    echo "Wayland: WAYLAND_DISPLAY=$WAYLAND_DISPLAY as $GLIMMORA_WAYLAND_USER (state in $GLIMMORA_WL_STATE)"
}

# Runs a command as the session's user with the session's environment; the X display, if any, is left
# out, so toolkits talk Wayland.
wayland_run() {
    _wayland_prefix
    "${GLIMMORA_WL_PREFIX[@]}" "$@"
}

# Starts a long-running part of the session in the background, its output in NAME.log. The command
# writes its own process id to NAME.pid in the runtime folder: stopping it directly spares runuser's
# two-second grace on a signal.
wayland_spawn() {  # name command...
    local name=$1
    shift
    _wayland_prefix
    # shellcheck disable=SC2016  # expanded by that shell
    "${GLIMMORA_WL_PREFIX[@]}" sh -c 'echo $$ >"$0" && exec "$@"' "$XDG_RUNTIME_DIR/$name.pid" "$@" \
        >"$GLIMMORA_WL_STATE/$name.log" 2>&1 &
    GLIMMORA_WL_PIDS+=("$!")
    GLIMMORA_WL_NAMES+=("$name")
}

_wayland_prefix() {
    GLIMMORA_WL_PREFIX=()
    [ "$(id -u)" -eq 0 ] && GLIMMORA_WL_PREFIX=(runuser -u "$GLIMMORA_WAYLAND_USER" --)
    GLIMMORA_WL_PREFIX+=(env -u DISPLAY -u XAUTHORITY -u QT_QPA_PLATFORM HOME="$GLIMMORA_WL_STATE/home"
        XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" XDG_CONFIG_HOME="$GLIMMORA_WL_STATE/config"
        XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
        GLIMMORA_WAYLAND_USER="$GLIMMORA_WAYLAND_USER" GLIMMORA_WAYLAND_BACKGROUND="$GLIMMORA_WAYLAND_BACKGROUND")
    [ -n "${WAYLAND_DISPLAY:-}" ] && GLIMMORA_WL_PREFIX+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
    [ -n "${SWAYSOCK:-}" ] && GLIMMORA_WL_PREFIX+=(SWAYSOCK="$SWAYSOCK")
    return 0
}

# Runs ctest in the build tree as the session's user; the tree must be readable to it, and its Testing
# folder is lent to it for the run.
wayland_ctest() {  # build-dir ctest-args...
    local build=$1
    shift
    if ! wayland_run test -r "$build/CTestTestfile.cmake"; then
        echo "$GLIMMORA_WAYLAND_USER cannot read $build: the Wayland tests need a build tree others can read"
        return 1
    fi
    mkdir -p "$build/Testing"
    [ "$(id -u)" -eq 0 ] && chown -R "$GLIMMORA_WAYLAND_USER" "$build/Testing"
    local status=0
    (cd "$build" && wayland_run ctest "$@") || status=$?
    [ "$(id -u)" -eq 0 ] && chown -R --reference="$build" "$build/Testing"
    return $status
}

_wayland_find_sockets() {
    local s
    for s in "$XDG_RUNTIME_DIR"/wayland-*; do
        case "$s" in *.lock) continue ;; esac
        [ -S "$s" ] && WAYLAND_DISPLAY=$(basename "$s")
    done
    for s in "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; do
        [ -S "$s" ] && SWAYSOCK=$s
    done
    [ -n "${WAYLAND_DISPLAY:-}" ] && [ -n "${SWAYSOCK:-}" ] || return 1
    export WAYLAND_DISPLAY SWAYSOCK
}

_wayland_has_name() {  # bus name
    wayland_run dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

_wayland_portal_ready() {
    _wayland_has_name org.freedesktop.portal.Desktop &&
        wayland_run dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
            /org/freedesktop/portal/desktop org.freedesktop.DBus.Introspectable.Introspect |
        grep -q '"org.freedesktop.portal.Screenshot"'
}

# True when the process has ended (a zombie no one reaps counts as ended).
_wayland_gone() {  # pid
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    stat=${stat##*) }
    [ "${stat%% *}" = Z ]
}

_wayland_fail() {  # names of the logs to show
    local name
    for name in "$@"; do
        echo "--- $name.log"
        tail -n 30 "$GLIMMORA_WL_STATE/$name.log" 2>/dev/null || true
    done
    stop_wayland
}

# Stops whatever start_wayland started, newest first, and puts the caller's variables back; never
# fails, so a cleanup under set -e always runs to its end.
stop_wayland() {
    [ -n "${GLIMMORA_WL_STATE:-}" ] || return 0
    local i pid
    for ((i = ${#GLIMMORA_WL_PIDS[@]} - 1; i >= 0; i--)); do
        if pid=$(cat "$GLIMMORA_WL_STATE/runtime/${GLIMMORA_WL_NAMES[i]}.pid" 2>/dev/null); then
            kill "$pid" 2>/dev/null || true
            wait_for_condition 10 _wayland_gone "$pid" || kill -9 "$pid" 2>/dev/null || true
        fi
        # runuser ends with its command; one that never got to start it is stopped itself.
        wait_for_condition 5 _wayland_gone "${GLIMMORA_WL_PIDS[i]}" || kill "${GLIMMORA_WL_PIDS[i]}" 2>/dev/null || true
        wait "${GLIMMORA_WL_PIDS[i]}" 2>/dev/null || true
    done
    GLIMMORA_WL_PIDS=()
    GLIMMORA_WL_NAMES=()
    # What the session started on its own (sway's background client, services the bus activated) is
    # found by the configuration folder in its environment (only wayland_run sets it), and stopped too.
    local left="" env
    for env in /proc/[0-9]*/environ; do
        if tr '\0' '\n' 2>/dev/null <"$env" | grep -qxF "XDG_CONFIG_HOME=$GLIMMORA_WL_STATE/config"; then
            pid=${env#/proc/}
            left+=" ${pid%/environ}"
        fi
    done 2>/dev/null
    for pid in $left; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $left; do
        wait_for_condition 10 _wayland_gone "$pid" || kill -9 "$pid" 2>/dev/null || true
    done
    rm -rf "$GLIMMORA_WL_STATE"
    GLIMMORA_WL_STATE=""
    unset WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR
    if [ -n "${GLIMMORA_WL_SAVED:-}" ]; then
        eval "$GLIMMORA_WL_SAVED"
    fi
    GLIMMORA_WL_SAVED=""
    return 0
}
