#include "platform/platform.h"
#include "platform/sound.h"

#include "platform/x11/x11_platform.h"

namespace glimmora {

std::unique_ptr<Platform> Platform::Open(const std::string& display, std::string* error) {
    return OpenX11Platform(display, error);
}

}  // namespace glimmora

namespace glimmora {
// TODO: libcanberra player not wired yet.
std::unique_ptr<SoundPlayer> CreateDesktopSoundPlayer() { return std::make_unique<SilentSoundPlayer>(); }
}  // namespace glimmora
