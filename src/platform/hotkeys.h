// Key combinations taken for the whole desktop, whatever window has the focus.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace glimmora {

// What the desktop made of a combination, where the desktop itself binds the keys and may ask the user,
// refuse, or bind other keys than the ones asked for (the GlobalShortcuts portal).
struct DesktopBinding {
    enum class State {
        Waiting,  // asked, no answer yet
        Bound,    // bound to the keys asked for
        Changed,  // bound to other keys (the user's or the desktop's choice): trigger says which
        Unbound,  // listed without keys
        Failed,   // the desktop refused or could not be asked: reason says why
    };
    State state = State::Waiting;
    // The desktop's own words for the keys it bound ("Ctrl+Shift+F").
    std::string trigger;
    std::string reason;
};

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
    // Whether the desktop decides which keys are bound (Register then only asks; Binding tells the
    // outcome later).
    virtual bool DesktopBindsKeys() const { return false; }
    virtual DesktopBinding Binding(int id) const {
        (void)id;
        return {DesktopBinding::State::Bound, {}, {}};
    }
    // Called from the event loop whenever what the desktop binds may have changed.
    virtual void SetBindingsChanged(std::function<void()> changed) { (void)changed; }
    // Asks the desktop again what it binds now; the answer comes through the callback above.
    virtual void RefreshBindings() {}
    // Becomes readable when presses may be waiting; TakePressed then collects them. Presses that came in
    // while Register waited for the server are already read from it: call TakePressed after registering.
    virtual int EventFd() const = 0;
    // The ids of the combinations pressed since the last call, oldest first.
    virtual std::vector<int> TakePressed() = 0;
};

}  // namespace glimmora
