// The Wayland backend of the platform layer: wlroots protocols on our own connection, sway's IPC for
// windows, portals through D-Bus where the compositor offers no protocol of its own.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace glimmora {

// A Wayland session: $WAYLAND_DISPLAY is set or the session says it is one, even when Xwayland offers
// an X display beside it (its root window shows none of the Wayland windows).
bool IsWaylandSession();

// On the compositor of $WAYLAND_DISPLAY, or of the display named (a socket's path).
std::unique_ptr<Platform> OpenWaylandPlatform(std::string* error, const std::string& display = {});

// The socket of $WAYLAND_DISPLAY, or else the first compositor's socket in $XDG_RUNTIME_DIR; empty
// when there is none.
std::string FindWaylandDisplay();

}  // namespace glimmora
