#include "platform/platform.h"

#include "platform/x11/x11_platform.h"

namespace glimmora {

std::unique_ptr<Platform> Platform::Open(const std::string& display, std::string* error) {
    return OpenX11Platform(display, error);
}

}  // namespace glimmora
