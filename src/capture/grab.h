// Taking rectangles from the screen or from a frozen snapshot of it.
#pragma once

#include "image/image.h"
#include "platform/platform.h"

namespace glimmora {

// Copies rect of source (a picture of the whole screen, top-left at screen (0, 0)) into out as a 24-bit
// image. Parts outside the source are black. False, out unchanged, for an empty rectangle or a source
// of 8 bits per pixel or fewer.
bool GrabRect(Image& out, const Image& source, const Rect& rect);
// The same from the live screen.
bool GrabScreenRect(Screen& screen, Image& out, const Rect& rect);
// The whole screen; with includeCursor the cursor is blended in at the pointer.
bool GrabFullScreen(Screen& screen, Image& out, bool includeCursor);

// The active window's rectangle with its frame, when it may be captured: a rectangle with a negative
// coordinate (a maximised frame reaching past the edge, a window parked off-screen) or no area is
// refused.
bool ActiveWindowRect(WindowSystem& windows, Rect& out);

}  // namespace glimmora
