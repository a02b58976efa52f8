// The desktop's event-sound service through libcanberra, which plays in the background and picks the sound
// system itself (PulseAudio, ALSA, ...).
#include <canberra.h>
#include <sys/stat.h>

#include "platform/sound.h"

namespace glimmora {

namespace {
class CanberraSoundPlayer : public SoundPlayer {
  public:
    ~CanberraSoundPlayer() override {
        if (context_) ca_context_destroy(context_);
    }

    void PlayFile(const std::string& path) override {
        // Made on first use, so start-up does not wait for the sound system.
        if (!context_ && !tried_) {
            tried_ = true;
            if (ca_context_create(&context_) != CA_SUCCESS) {
                context_ = nullptr;
            } else {
                ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Glimmora", nullptr);
            }
        }
        if (!context_) return;
        struct stat info;
        const bool present = !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        // Errors (no sound server, an unreadable file, a theme without the sound) stay silent.
        if (present)
            ca_context_play(context_, 0, CA_PROP_MEDIA_FILENAME, path.c_str(), CA_PROP_CANBERRA_CACHE_CONTROL,
                            "volatile", nullptr);
        else
            ca_context_play(context_, 0, CA_PROP_EVENT_ID, "screen-capture", nullptr);
    }

  private:
    ca_context* context_ = nullptr;
    bool tried_ = false;
};
}  // namespace

std::unique_ptr<SoundPlayer> CreateDesktopSoundPlayer() {
    return std::make_unique<CanberraSoundPlayer>();
}

}  // namespace glimmora
