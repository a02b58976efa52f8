#include "platform/x11/x11_input.h"

#include <xcb/xtest.h>

#include "platform/x11/x11_keyboard.h"

#include <vector>

namespace glimmora::x11 {

namespace {
constexpr xcb_keysym_t kEscapeKeysym = 0xFF1B;

// A grab of Esc on the root window: key presses come to our connection instead of the focused window.
class X11EscapeGrab : public EscapeGrab {
  public:
    X11EscapeGrab(Connection& conn, xcb_keycode_t key, std::vector<uint16_t> modifiers)
        : conn_(conn), key_(key), modifiers_(std::move(modifiers)) {}
    ~X11EscapeGrab() override {
        conn_.WatchKey(0);
        for (uint16_t m : modifiers_) xcb_ungrab_key(conn_.get(), key_, conn_.root(), m);
        conn_.Sync();
    }
    bool Pressed() override { return conn_.TakeKeyPresses() > 0; }

  private:
    Connection& conn_;
    xcb_keycode_t key_;
    std::vector<uint16_t> modifiers_;
};

}  // namespace

X11Input::X11Input(Connection& conn) : conn_(conn) {
    xtest_ = conn_.Get(xcb_test_get_version_reply, xcb_test_get_version(conn_.get(), 2, 2)) != nullptr;
}

bool X11Input::WarpPointer(Point p) {
    if (!xtest_) {
        // Without XTest a plain warp still moves the pointer and sends the motion events.
        return conn_.Check(xcb_warp_pointer_checked(conn_.get(), XCB_WINDOW_NONE, conn_.root(), 0, 0, 0, 0,
                                                    static_cast<int16_t>(p.x), static_cast<int16_t>(p.y)));
    }
    return conn_.Check(xcb_test_fake_input_checked(conn_.get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME,
                                                   conn_.root(), static_cast<int16_t>(p.x),
                                                   static_cast<int16_t>(p.y), 0));
}

bool X11Input::Button(int button, bool down) {
    if (!xtest_ || button < 1 || button > 9) return false;
    return conn_.Check(xcb_test_fake_input_checked(conn_.get(), down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                                                   static_cast<uint8_t>(button), XCB_CURRENT_TIME,
                                                   XCB_WINDOW_NONE, 0, 0, 0));
}

bool X11Input::WheelNotchDown() {
    // Button 5 is one notch towards the user.
    const bool ok = Button(5, true) && Button(5, false);
    conn_.Sync();
    return ok;
}

}  // namespace glimmora::x11

namespace glimmora::x11 {

std::unique_ptr<EscapeGrab> X11Input::GrabEscape() {
    const xcb_keycode_t key = Keycode(conn_, kEscapeKeysym);
    if (!key) return nullptr;
    // Plain Esc with the lock keys on or off. Not with any modifier: window managers bind Alt+Esc and the
    // like, and a grab that overlaps theirs is refused whole.
    const uint16_t numLock = NumLockMask(conn_);
    std::vector<uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
    if (numLock)
        variants.insert(variants.end(), {numLock, static_cast<uint16_t>(numLock | XCB_MOD_MASK_LOCK)});
    std::vector<uint16_t> held;
    for (uint16_t m : variants)
        if (conn_.Check(xcb_grab_key_checked(conn_.get(), 0, conn_.root(), m, key, XCB_GRAB_MODE_ASYNC,
                                             XCB_GRAB_MODE_ASYNC)))
            held.push_back(m);
    // Another program holds plain Esc: then there is no grab.
    if (held.empty() || held.front() != 0) {
        for (uint16_t m : held) xcb_ungrab_key(conn_.get(), key, conn_.root(), m);
        conn_.Sync();
        return nullptr;
    }
    conn_.TakeKeyPresses();
    conn_.WatchKey(key);
    return std::make_unique<X11EscapeGrab>(conn_, key, std::move(held));
}

}  // namespace glimmora::x11
