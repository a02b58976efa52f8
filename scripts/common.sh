# shellcheck shell=bash
# Shared by scripts/run and scripts/test: packages, and an X server for the tests that need a desktop.

# shellcheck disable=SC2034  # used by the scripts that source this file
GLIMMORA_PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libfreeimage-dev libxcb1-dev
libxcb-shm0-dev libxcb-xtest0-dev libxcb-xfixes0-dev libxcb-randr0-dev libcanberra-dev libgtest-dev libbenchmark-dev xvfb xauth
openbox xdotool xclip x11-utils x11-xserver-utils xterm trayer dbus-x11 fontconfig fonts-dejavu-core fonts-liberation2 zenity imagemagick clang
at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi gir1.2-glib-2.0
libtesseract-dev tesseract-ocr tesseract-ocr-eng libdbus-1-dev libdeflate-dev libpng-dev libzxing-dev
libclang-rt-14-dev libwayland-dev wayland-protocols libpixman-1-dev qt6-wayland
sway swaybg grim wtype wl-clipboard foot xwayland pipewire xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk
dbus-daemon dbus-bin passwd util-linux acl libx11-dev plasma-wayland-protocols
gnome-shell xdg-desktop-portal-gnome python3-dbusmock libglib2.0-bin kwin-wayland xdg-desktop-portal-kde qtwayland5
qml-module-org-kde-kirigami2 plasma-workspace
man-db groff-base lintian desktop-file-utils appstream dpkg-dev file
libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly libmagickwand-6.q16-dev libgif-dev zlib1g-dev ffmpeg python3-tk"

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

# The Wayland test sessions: headless sway (the default), GNOME Shell headless, or KWin on its virtual
# backend, each on one 1920x1080 output with its desktop's Screenshot portal. sway refuses to run as
# root, so as root everything runs as an unprivileged user of its own (created when missing;
# GLIMMORA_WAYLAND_USER names it, glimtest by default); run by anyone else, as the caller. The launchers
# given are installed in the session's applications folder before the desktop starts: KWin grants its
# restricted interfaces by them. Exports WAYLAND_DISPLAY, SWAYSOCK (sway only), DBUS_SESSION_BUS_ADDRESS,
# XDG_RUNTIME_DIR, GLIMMORA_WAYLAND_USER and GLIMMORA_WAYLAND_DESKTOP (the values they had come back with
# stop_wayland); wayland_run runs a command in the session. On failure everything started so far is
# stopped again. GLIMMORA_WL_SECOND_MONITOR=WxH gives GNOME a second monitor of that size right of the
# first, and KDE a second one the size of the first (KWin's virtual outputs are all one size).
GLIMMORA_WAYLAND_BACKGROUND="#336699"

start_wayland() {  # [sway|gnome|kde] [launcher.desktop...]
    local desktop=${1:-sway}
    [ $# -gt 0 ] && shift
    case "$desktop" in
    sway | gnome | kde) ;;
    *)
        echo "start_wayland: no session for the desktop '$desktop' (sway, gnome or kde)"
        return 1
        ;;
    esac
    local started=$SECONDS
    GLIMMORA_WL_SAVED=""
    local var
    for var in WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR GLIMMORA_WAYLAND_DESKTOP; do
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
    export GLIMMORA_WAYLAND_DESKTOP=$desktop
    # Private home, runtime and configuration folders, so nothing a run leaves (portal permissions,
    # toolkit settings, the desktop's own state) reaches the next one.
    GLIMMORA_WL_STATE=$(mktemp -d /tmp/glimmora-wayland.XXXXXX)
    chmod 711 "$GLIMMORA_WL_STATE"
    local dir
    for dir in runtime home config; do
        mkdir -m 700 "$GLIMMORA_WL_STATE/$dir"
    done
    # The KDE portal saves its pictures there and fails when the folder is missing.
    mkdir -p "$GLIMMORA_WL_STATE/home/Pictures" "$GLIMMORA_WL_STATE/home/.local/share/applications"
    GLIMMORA_WL_APPLICATIONS="$GLIMMORA_WL_STATE/home/.local/share/applications"
    local launcher
    for launcher in "$@"; do
        cp "$launcher" "$GLIMMORA_WL_APPLICATIONS/" || {
            stop_wayland
            return 1
        }
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
    if [ "$desktop" = gnome ]; then
        # GNOME Shell tells once per user that it cannot lock the screen without its display manager;
        # the notice would cover the top of every picture.
        mkdir -p "$GLIMMORA_WL_STATE/home/.local/share/gnome-shell"
        touch "$GLIMMORA_WL_STATE/home/.local/share/gnome-shell/lock-warning-shown"
    fi
    if [ "$desktop" = kde ]; then
        # No screen edge or corner reacts to the pointer: a drag from the top left corner would open
        # the overview.
        printf '[%s]\nBorderActivate=9\nBorderActivateAll=9\nBorderActivateClass=9\nBorderAlternativeActivate=9\n\n' \
            Effect-overview Effect-windowview Effect-desktopgrid TabBox >"$GLIMMORA_WL_STATE/config/kwinrc"
        echo '[ElectricBorders]' >>"$GLIMMORA_WL_STATE/config/kwinrc"
        printf '%s=None\n' Top TopRight Right BottomRight Bottom BottomLeft Left TopLeft \
            >>"$GLIMMORA_WL_STATE/config/kwinrc"
        # kwin_wayland carries a file capability an unprivileged exec refuses; a copy has none.
        mkdir "$GLIMMORA_WL_STATE/bin"
        cp /usr/bin/kwin_wayland "$GLIMMORA_WL_STATE/bin/kwin_wayland" || {
            stop_wayland
            return 1
        }
    fi
    chown -R "$GLIMMORA_WAYLAND_USER" "$GLIMMORA_WL_STATE/runtime" "$GLIMMORA_WL_STATE/home" \
        "$GLIMMORA_WL_STATE/config"
    export XDG_RUNTIME_DIR="$GLIMMORA_WL_STATE/runtime"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    GLIMMORA_WL_SYSTEM_BUS=""
    unset WAYLAND_DISPLAY SWAYSOCK

    "_wayland_start_$desktop" || return 1
    # Asked only once the portal owns its name: a call before that would start a second one by activation.
    if ! wait_for_condition 60 _wayland_portal_ready; then
        echo "the Screenshot portal did not come up"
        _wayland_fail portal "${GLIMMORA_WL_NAMES[@]}"
        return 1
    fi
    echo "Wayland ($desktop): WAYLAND_DISPLAY=$WAYLAND_DISPLAY as $GLIMMORA_WAYLAND_USER, up in" \
        "$((SECONDS - started)) s (state in $GLIMMORA_WL_STATE)"
}

_wayland_start_sway() {
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
    _wayland_start_session_bus || return 1
    _wayland_start_pipewire || return 1
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
}

_wayland_start_gnome() {
    # Known before the bus starts, so the services it starts find the display and the system bus.
    export WAYLAND_DISPLAY=wayland-0
    _wayland_start_system_bus && _wayland_start_session_bus || return 1
    # A plain background, no animations (the overview then opens and closes at once), no hot corner (a
    # drag from the top left would open the overview) and no screen blanking however long the tests take;
    # dconf takes the settings before the shell reads them.
    local schema key value
    while read -r schema key value; do
        if ! wayland_run gsettings set "$schema" "$key" "$value"; then
            echo "could not set $schema $key"
            _wayland_fail dbus
            return 1
        fi
    done <<SETTINGS
org.gnome.desktop.background picture-options 'none'
org.gnome.desktop.background primary-color '$GLIMMORA_WAYLAND_BACKGROUND'
org.gnome.desktop.background color-shading-type 'solid'
org.gnome.desktop.interface enable-animations false
org.gnome.desktop.interface enable-hot-corners false
org.gnome.desktop.session idle-delay uint32 0
SETTINGS
    local monitors=(--virtual-monitor 1920x1080)
    [ -n "${GLIMMORA_WL_SECOND_MONITOR:-}" ] && monitors+=(--virtual-monitor "$GLIMMORA_WL_SECOND_MONITOR")
    wayland_spawn gnome-shell gnome-shell --headless --wayland --no-x11 "${monitors[@]}" \
        --wayland-display "$WAYLAND_DISPLAY"
    # The portal's backend asks the shell for pictures; the pointer tool uses mutter's remote desktop.
    local name
    for name in org.gnome.Shell.Screenshot org.gnome.Mutter.RemoteDesktop org.gnome.Mutter.ScreenCast; do
        if ! wait_for_condition 120 _wayland_has_name "$name"; then
            echo "GNOME Shell did not start ($name missing)"
            _wayland_fail gnome-shell
            return 1
        fi
    done
    # The shell starts in its overview: wait for it, then close it so the desktop shows.
    if ! wait_for_condition 60 _gnome_overview_is true || ! wait_for_condition 60 _gnome_close_overview; then
        echo "GNOME Shell's overview did not open and close"
        _wayland_fail gnome-shell
        return 1
    fi
    _wayland_start_pipewire || return 1
    wayland_spawn portal-gnome /usr/libexec/xdg-desktop-portal-gnome -r
    if ! wait_for_condition 60 _wayland_has_name org.freedesktop.impl.portal.desktop.gnome; then
        echo "the GNOME portal backend did not start"
        _wayland_fail portal-gnome gnome-shell
        return 1
    fi
    # Without this entry the Screenshot portal asks the user first, even when told not to ask; the bus
    # starts the permission store.
    if ! wayland_run dbus-send --session --print-reply --dest=org.freedesktop.impl.portal.PermissionStore \
        /org/freedesktop/impl/portal/PermissionStore org.freedesktop.impl.portal.PermissionStore.SetPermission \
        string:screenshot boolean:true string:screenshot string: array:string:yes >/dev/null; then
        echo "the permission store did not take the screenshot permission"
        _wayland_fail portal-gnome
        return 1
    fi
    wayland_spawn portal /usr/libexec/xdg-desktop-portal -r
}

_wayland_start_kde() {
    export WAYLAND_DISPLAY=wayland-0
    _wayland_start_system_bus && _wayland_start_session_bus || return 1
    wayland_spawn kwin env QT_QPA_PLATFORM=wayland "$GLIMMORA_WL_STATE/bin/kwin_wayland" --virtual \
        --width 1920 --height 1080 --output-count "$([ -n "${GLIMMORA_WL_SECOND_MONITOR:-}" ] && echo 2 || echo 1)" \
        --socket "$WAYLAND_DISPLAY" --no-lockscreen
    if ! wait_for_condition 120 _wayland_has_name org.kde.KWin ||
        ! wait_for_condition 60 _wayland_has_object org.kde.KWin /org/kde/KWin/ScreenShot2; then
        echo "KWin did not start"
        _wayland_fail kwin
        return 1
    fi
    _wayland_start_pipewire || return 1
    wayland_spawn portal-kde env QT_QPA_PLATFORM=wayland /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
    if ! wait_for_condition 60 _wayland_has_name org.freedesktop.impl.portal.desktop.kde; then
        echo "the KDE portal backend did not start"
        _wayland_fail portal-kde kwin
        return 1
    fi
    wayland_spawn portal /usr/libexec/xdg-desktop-portal -r
}

# GNOME Shell stops at start without logind: a private bus stands for the system bus, with logind and
# upower played by dbusmock.
_wayland_start_system_bus() {
    GLIMMORA_WL_SYSTEM_BUS="unix:path=$XDG_RUNTIME_DIR/system_bus"
    wayland_spawn system-bus dbus-daemon --session --nofork --address="$GLIMMORA_WL_SYSTEM_BUS"
    if ! wait_for_condition 60 wayland_run dbus-send --system --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.GetId; then
        echo "the private system bus does not answer"
        _wayland_fail system-bus
        return 1
    fi
    wayland_spawn logind /usr/bin/python3 -m dbusmock --system --template logind
    wayland_spawn upower /usr/bin/python3 -m dbusmock --system --template upower
    if ! wait_for_condition 60 _wayland_has_name org.freedesktop.login1 system ||
        ! wait_for_condition 60 _wayland_has_name org.freedesktop.UPower system; then
        echo "the stand-ins for logind and upower did not start"
        _wayland_fail logind upower
        return 1
    fi
}

_wayland_start_session_bus() {
    wayland_spawn dbus env NO_AT_BRIDGE=1 dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS"
    if ! wait_for_condition 60 wayland_run dbus-send --session --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.GetId; then
        echo "the session bus does not answer"
        _wayland_fail dbus
        return 1
    fi
}

_wayland_start_pipewire() {
    wayland_spawn pipewire pipewire
    # The portal backends end at once, or cannot share the screen, without PipeWire.
    if ! wait_for_condition 60 test -S "$XDG_RUNTIME_DIR/pipewire-0"; then
        echo "pipewire did not start"
        _wayland_fail pipewire
        return 1
    fi
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
    local current=sway
    case "${GLIMMORA_WAYLAND_DESKTOP:-sway}" in
    gnome) current=GNOME ;;
    kde) current=KDE ;;
    esac
    GLIMMORA_WL_PREFIX+=(env -u DISPLAY -u XAUTHORITY -u QT_QPA_PLATFORM
        HOME="$GLIMMORA_WL_STATE/home" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" XDG_CONFIG_HOME="$GLIMMORA_WL_STATE/config"
        XDG_CURRENT_DESKTOP="$current" XDG_SESSION_TYPE=wayland DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"
        GLIMMORA_WAYLAND_USER="$GLIMMORA_WAYLAND_USER" GLIMMORA_WAYLAND_DESKTOP="${GLIMMORA_WAYLAND_DESKTOP:-sway}"
        GLIMMORA_WAYLAND_APPLICATIONS="$GLIMMORA_WL_APPLICATIONS")
    # Only where the desktop shows nothing but its background colour.
    [ "${GLIMMORA_WAYLAND_DESKTOP:-sway}" = sway ] &&
        GLIMMORA_WL_PREFIX+=(GLIMMORA_WAYLAND_BACKGROUND="$GLIMMORA_WAYLAND_BACKGROUND")
    [ -n "${GLIMMORA_WL_SYSTEM_BUS:-}" ] && GLIMMORA_WL_PREFIX+=(DBUS_SYSTEM_BUS_ADDRESS="$GLIMMORA_WL_SYSTEM_BUS")
    [ -n "${WAYLAND_DISPLAY:-}" ] && GLIMMORA_WL_PREFIX+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
    [ -n "${SWAYSOCK:-}" ] && GLIMMORA_WL_PREFIX+=(SWAYSOCK="$SWAYSOCK")
    return 0
}

# Runs ctest in the build tree as the session's user; the tree must be readable to it, and its Testing
# folder is lent to it for the run. A tree under a folder closed to that user (a clone in root's 0700
# home) gets, for the run, an ACL letting that one user pass through each closed folder above it: it can
# then reach the tree by its path but list or read nothing else there.
wayland_ctest() {  # build-dir ctest-args...
    local build
    build=$(cd "$1" && pwd -P)
    shift
    local opened=() plain=() dir=$build
    if [ "$(id -u)" -eq 0 ] && ! wayland_run test -r "$build/CTestTestfile.cmake"; then
        while [ "$dir" != / ]; do
            dir=$(dirname "$dir")
            wayland_run test -x "$dir" && continue
            # A folder without an ACL of its own gets none back afterwards, not even the mask entry.
            [ -z "$(getfacl --skip-base --absolute-names "$dir" 2>/dev/null)" ] && plain+=("$dir")
            setfacl -m "u:$GLIMMORA_WAYLAND_USER:--x" "$dir" && opened+=("$dir")
        done
    fi
    local status=0
    if ! wayland_run test -r "$build/CTestTestfile.cmake"; then
        echo "$GLIMMORA_WAYLAND_USER cannot read $build: the Wayland tests need a build tree others can read"
        status=1
    else
        mkdir -p "$build/Testing"
        [ "$(id -u)" -eq 0 ] && chown -R "$GLIMMORA_WAYLAND_USER" "$build/Testing"
        (cd "$build" && wayland_run ctest "$@") || status=$?
        [ "$(id -u)" -eq 0 ] && chown -R --reference="$build" "$build/Testing"
    fi
    for dir in "${opened[@]}"; do
        setfacl -x "u:$GLIMMORA_WAYLAND_USER" "$dir"
    done
    for dir in "${plain[@]}"; do
        setfacl -b "$dir"
    done
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

_wayland_has_name() {  # bus-name [session|system]
    wayland_run dbus-send "--${2:-session}" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

_wayland_has_object() {  # bus-name object-path
    wayland_run dbus-send --session --print-reply --dest="$1" "$2" org.freedesktop.DBus.Introspectable.Introspect |
        grep -q '<interface'
}

_gnome_overview_is() {  # true|false
    wayland_run dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell \
        org.freedesktop.DBus.Properties.Get string:org.gnome.Shell string:OverviewActive | grep -q "boolean $1"
}

_gnome_close_overview() {
    wayland_run dbus-send --session --print-reply --dest=org.gnome.Shell /org/gnome/Shell \
        org.freedesktop.DBus.Properties.Set string:org.gnome.Shell string:OverviewActive variant:boolean:false &&
        _gnome_overview_is false
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
    GLIMMORA_WL_SYSTEM_BUS="" GLIMMORA_WL_APPLICATIONS=""
    unset WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR GLIMMORA_WAYLAND_DESKTOP
    if [ -n "${GLIMMORA_WL_SAVED:-}" ]; then
        eval "$GLIMMORA_WL_SAVED"
    fi
    GLIMMORA_WL_SAVED=""
    return 0
}
