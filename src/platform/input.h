// Synthetic pointer input, as if the user moved the mouse, and the one key a running capture listens for.
#pragma once

#include <memory>

#include "platform/types.h"

namespace glimmora {

// Esc taken for ourselves while this lives: the window that has the focus never sees it.
class EscapeGrab {
  public:
    virtual ~EscapeGrab() = default;
    // True when Esc was pressed since the last call.
    virtual bool Pressed() = 0;
};

class PointerInput {
  public:
    virtual ~PointerInput() = default;

    // False where no program may move the pointer or turn the wheel (some Wayland desktops): the
    // scrolling capture is not offered there.
    virtual bool CanScroll() { return true; }
    virtual bool WarpPointer(Point p) = 0;
    // One wheel notch towards the user (the content scrolls down) at the pointer.
    virtual bool WheelNotchDown() = 0;
    // button 1 left, 2 middle, 3 right.
    virtual bool Button(int button, bool down) = 0;
    // Waits until the display has handled everything sent so far.
    virtual void Sync() = 0;
    // Null when Esc cannot be had (another program holds it).
    virtual std::unique_ptr<EscapeGrab> GrabEscape() = 0;
};

}  // namespace glimmora
