// Names of the keys a stored combination may hold, as the desktops' own key-binding notations spell them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace glimmora {

// The X keysym name of a virtual-key code ("f", "F9", "Print", "Page_Down", "KP_1"); empty when the key
// has no name there. Letters are lower case, as the desktops write them in their bindings.
std::string KeysymName(uint32_t key);

// The trigger for the GlobalShortcuts portal ("CTRL+SHIFT+f", "ALT+Print"); empty when the key has no
// name.
std::string PortalTrigger(uint32_t key, uint32_t mask);

// A binding in GNOME's notation ("<Control><Shift>f", "<Alt>Print"); empty when the key has no name.
std::string GnomeBinding(uint32_t key, uint32_t mask);

// The combination a desktop describes in words ("Ctrl+Shift+F", "Alt+Print", "Shift+PgDown",
// "<Control><Shift>f"), as a virtual-key code and modifier mask; nothing when a part is not understood
// or a modifier we cannot store (Meta) takes part.
struct KeyCombination {
    uint32_t key = 0;
    uint32_t mask = 0;
    bool operator==(const KeyCombination&) const = default;
};
std::optional<KeyCombination> ParseDesktopTrigger(const std::string& text);

}  // namespace glimmora
