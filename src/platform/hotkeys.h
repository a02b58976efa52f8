// Key combinations taken for the whole desktop, whatever window has the focus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimmora {

// Modifier bits of a stored combination.
inline constexpr uint32_t kHotkeyAlt = 1;
inline constexpr uint32_t kHotkeyCtrl = 2;
inline constexpr uint32_t kHotkeyShift = 4;

class HotkeyGrabber {
  public:
    virtual ~HotkeyGrabber() = default;
    // Takes the combination of a virtual-key code (70 for F, 112 for F1, ...) and a modifier mask for the
    // whole desktop, with Num Lock and Caps Lock either way. False when the key has no counterpart on this
    // keyboard or another program holds the combination; nothing stays taken then. An id registered
    // again is released first.
    virtual bool Register(int id, uint32_t key, uint32_t mask) = 0;
    virtual void Unregister(int id) = 0;
    // What the combination does, where the desktop lists the bindings to the user (the GlobalShortcuts
    // portal does); given before Register.
    virtual void Describe(int id, const std::string& text) {
        (void)id;
        (void)text;
    }
    // Becomes readable when presses may be waiting; TakePressed then collects them. Presses that came in
    // while Register waited for the server are already read from it: call TakePressed after registering.
    virtual int EventFd() const = 0;
    // The ids of the combinations pressed since the last call, oldest first.
    virtual std::vector<int> TakePressed() = 0;
};

}  // namespace glimmora
