// The X11 backend of the platform layer.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace glimmora {

// *xwayland, when given, says whether the display is Xwayland's.
std::unique_ptr<Platform> OpenX11Platform(const std::string& display, std::string* error,
                                          bool* xwayland = nullptr);

}  // namespace glimmora
