// GNOME's own custom key bindings (the settings daemon's media-keys schema), for desktops that let no
// program take hotkeys: ours are entries whose path ends in glimmora-MODE/, the user's others stay as
// they are. Through the gsettings command, which waits on the settings service: call these off the
// window's thread.
#pragma once

#include <string>
#include <vector>

namespace glimmora {

struct GnomeKeyBinding {
    std::string id;  // "glimmora-full": the last part of its settings path
    std::string name, command, binding;
    bool operator==(const GnomeKeyBinding&) const = default;
};

// Whether this is a GNOME session with the custom key bindings schema installed (no process is run).
bool GnomeKeyBindingsOffered();
// Ours as the desktop holds them; false with a reason when they cannot be read.
bool ReadGnomeKeyBindings(std::vector<GnomeKeyBinding>& ours, std::string* error);
// Puts these in place of ours (an empty list removes ours), keeping every other custom binding.
bool WriteGnomeKeyBindings(const std::vector<GnomeKeyBinding>& ours, std::string* error);

// The parts of it that need no desktop.
// The strings of gsettings' printed string array ("['/a/', '/b/']", "@as []"); false when it is not one.
bool ParseGVariantStrings(const std::string& text, std::vector<std::string>& out);
// A string in GVariant text notation, quoted.
std::string GVariantString(const std::string& s);
// The command line for a program path and its arguments, quoted for the desktop's command parser where
// a part needs it.
std::string DesktopCommandLine(const std::vector<std::string>& argv);

}  // namespace glimmora
