#include "platform/x11/x11_input.h"

#include <xcb/xtest.h>

namespace glimmora::x11 {

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
