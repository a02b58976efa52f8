// The X11 backend of the platform layer.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace glimmora {

std::unique_ptr<Platform> OpenX11Platform(const std::string& display, std::string* error);

}  // namespace glimmora
