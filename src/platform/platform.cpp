#include "platform/platform.h"

#include "platform/wayland/wayland_platform.h"
#include "platform/x11/x11_platform.h"

namespace glimmora {

std::unique_ptr<Platform> Platform::Open(const std::string& display, std::string* error) {
    // Chosen once, by the session: an X11 grab on a Wayland session would see only Xwayland's black root.
    if (display.empty() && IsWaylandSession()) return OpenWaylandPlatform(error);
    return OpenX11Platform(display, error);
}

}  // namespace glimmora
