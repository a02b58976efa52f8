// Finding, measuring and steering other programs' windows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace glimmora {

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // False where the desktop tells no program about other programs' windows (Wayland outside sway):
    // the window modes then fall back to a region.
    virtual bool CanPickWindows() { return true; }
    // Whether a window can show see-through now; on X only while a compositing manager runs.
    virtual bool CanBlendWindows() { return true; }

    // The deepest viewable window under a screen point, skipping `exclude` and everything inside it.
    // A point on a window manager's decoration names the client window it frames. 0 for none.
    virtual WindowId WindowAt(Point p, WindowId exclude) = 0;
    // WindowAt of the points (step * c, step * r), row-major, columns * rows entries, from one look at
    // the window tree.
    virtual std::vector<WindowId> WindowGrid(int columns, int rows, int step, WindowId exclude) = 0;
    // The window's rectangle on the screen; for a managed top-level window the window manager's frame
    // with its decorations. False when the window does not exist.
    virtual bool WindowRect(WindowId window, Rect& out) = 0;
    // The window's own area on the screen, without any frame.
    virtual bool ClientRect(WindowId window, Rect& out) = 0;
    // The managed window just below `window` in stacking order; the topmost one when `window` is not
    // managed. 0 for none.
    virtual WindowId NextInStacking(WindowId window) = 0;
    virtual WindowId ActiveWindow() = 0;
    // The managed top-level window that is or holds `window`; the window itself when there is none.
    virtual WindowId TopLevel(WindowId window) = 0;
    // Asks the window manager to focus and raise the window.
    virtual bool Activate(WindowId window) = 0;
    // Asks the window manager to put the window on top, without focusing it.
    virtual bool Raise(WindowId window) = 0;
    virtual bool Exists(WindowId window) = 0;
    // Paints the pixels from `from` up to, not including, `to` on one row of the window, in window
    // coordinates, through any child windows. rgb is 0xRRGGBB.
    virtual bool DrawRow(WindowId window, Point from, int toX, uint32_t rgb) = 0;
    // Outlines the window's whole rectangle, decorations included, with a pen `width` pixels wide. False
    // when the window is gone; the outline lasts until the window repaints (Invalidate removes it).
    virtual bool DrawFrame(WindowId window, int width, uint32_t rgb) = 0;
    // Makes the window and everything inside it repaint; with area (window coordinates) only that part.
    virtual void Invalidate(WindowId window, const Rect* area = nullptr) = 0;
};

}  // namespace glimmora
