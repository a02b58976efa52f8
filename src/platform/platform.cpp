#include "platform/platform.h"

#include "platform/wayland/wayland_platform.h"
#include "platform/x11/x11_platform.h"

namespace glimmora {

std::unique_ptr<Platform> Platform::Open(const std::string& display, std::string* error) {
    // Chosen once, by the session: an X11 grab on a Wayland session would see only Xwayland's black root.
    if (display.empty() && IsWaylandSession()) return OpenWaylandPlatform(error);
    bool xwayland = false;
    std::unique_ptr<Platform> x11 = OpenX11Platform(display, error, &xwayland);
    if (!xwayland) return x11;
    // Only Xwayland's display reached us (a start by bus activation, say): the compositor is asked instead.
    const std::string wayland = FindWaylandDisplay();
    if (wayland.empty()) {
        if (error)
            *error =
                "the X display is Xwayland's, whose screen shows none of the Wayland windows, and no Wayland "
                "display was found to capture from (WAYLAND_DISPLAY is not set and XDG_RUNTIME_DIR holds no "
                "wayland socket)";
        return nullptr;
    }
    return OpenWaylandPlatform(error, wayland);
}

}  // namespace glimmora
