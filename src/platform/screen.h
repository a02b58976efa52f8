// Reading pixels and the pointer from the screen.
#pragma once

#include <string>

#include "platform/layout.h"
#include "platform/types.h"

namespace glimmora {

class Screen {
  public:
    virtual ~Screen() = default;

    // The whole screen (all monitors), in pixels.
    virtual Size ScreenSize() = 0;
    // Fills out with the rectangle of the screen as a 24-bit image. Parts outside the screen are black.
    // False (out unchanged) for an empty rectangle or a refused request.
    virtual bool Grab(const Rect& rect, Image& out) = 0;
    // The monitors, where they lie and their scales; by default one monitor the size of the screen.
    virtual ScreenLayout Layout() {
        const Size size = ScreenSize();
        Monitor m;
        m.logical = Rect{0, 0, size.width, size.height};
        m.device = size;
        return ScreenLayout::Of({m});
    }
    // The monitor under the pointer (an index into Layout().monitors); -1 when there is none, or when
    // the desktop does not say where the pointer is.
    virtual int CurrentMonitor() {
        Point p;
        if (!PointerPosition(p)) return Layout().monitors.empty() ? -1 : 0;
        return Layout().MonitorAt(p);
    }
    // One monitor of Layout() at its own device resolution.
    virtual bool GrabMonitor(size_t index, Image& out) {
        const ScreenLayout layout = Layout();
        if (index >= layout.monitors.size()) return false;
        return Grab(layout.PlaceOf(index), out);
    }
    virtual bool PointerPosition(Point& out) = 0;
    // Blends the current cursor shape into image, whose top-left pixel shows the screen point origin.
    // The cursor's top-left corner lands on the pointer (the hot spot is not subtracted).
    virtual bool DrawCursor(Image& image, Point origin) = 0;
    // Why the last Grab failed, in words for the user; empty when it did not or nobody knows.
    virtual std::string LastError() const { return {}; }
    // How the last successful Grab read the screen ("the wlroots screen copy", "the Screenshot portal"),
    // for a verbose line that shows which way a picture came.
    virtual std::string Route() const { return {}; }

    // Where the compositor itself picks and copies windows (KWin) while no program may learn where
    // they are: the window the user clicks next, or the active one, with its frame. False with
    // LastError(), or with LastError() empty when the user cancelled the pick.
    virtual bool CanGrabWindows() { return false; }
    virtual bool GrabPickedWindow(Image& out) {
        (void)out;
        return false;
    }
    virtual bool GrabActiveWindow(Image& out) {
        (void)out;
        return false;
    }
};

}  // namespace glimmora
