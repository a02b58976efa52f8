// Global hotkeys as passive key grabs on the root window, on a connection of their own.
#pragma once

#include <memory>
#include <vector>

#include "platform/hotkeys.h"
#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

// The keysym a virtual-key code stands for (letters as their lower-case keysym); 0 for codes without one.
xcb_keysym_t KeysymOfVirtualKey(uint32_t key);

class X11HotkeyGrabber : public HotkeyGrabber {
  public:
    // conn must be a connection nobody else reads events from.
    explicit X11HotkeyGrabber(std::unique_ptr<Connection> conn);
    ~X11HotkeyGrabber() override;

    bool Register(int id, uint32_t key, uint32_t mask) override;
    void Unregister(int id) override;
    int EventFd() const override;
    std::vector<int> TakePressed() override;

  private:
    struct Grab {
        int id;
        xcb_keycode_t key;
        uint16_t modifiers;  // without the lock bits
    };
    void Ungrab(const Grab& grab);
    std::vector<uint16_t> LockVariants() const;

    std::unique_ptr<Connection> conn_;
    uint16_t numLock_ = 0;
    uint16_t alt_ = XCB_MOD_MASK_1;
    std::vector<Grab> grabs_;
};

}  // namespace glimmora::x11
