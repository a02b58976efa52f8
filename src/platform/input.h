// Synthetic pointer input, as if the user moved the mouse.
#pragma once

#include "platform/types.h"

namespace glimmora {

class PointerInput {
  public:
    virtual ~PointerInput() = default;

    virtual bool WarpPointer(Point p) = 0;
    // One wheel notch towards the user (the content scrolls down) at the pointer.
    virtual bool WheelNotchDown() = 0;
    // button 1 left, 2 middle, 3 right.
    virtual bool Button(int button, bool down) = 0;
    // Waits until the display has handled everything sent so far.
    virtual void Sync() = 0;
};

}  // namespace glimmora
