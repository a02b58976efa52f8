// Event sounds.
#pragma once

#include <memory>
#include <string>

namespace glimmora {

class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    // Starts playing the file and returns at once; a missing file plays the desktop's capture sound.
    // Failures are silent.
    virtual void PlayFile(const std::string& path) = 0;
};

// Plays nothing; stands in where no sound system is wanted.
class SilentSoundPlayer : public SoundPlayer {
  public:
    void PlayFile(const std::string&) override {}
};

// The desktop's event-sound service (libcanberra); never null, silent when no sound can play.
std::unique_ptr<SoundPlayer> CreateDesktopSoundPlayer();

}  // namespace glimmora
