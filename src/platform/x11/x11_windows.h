// Window lookups from a snapshot of the window tree, and requests to the window manager (EWMH).
#pragma once

#include <vector>

#include "platform/windows.h"
#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

class X11Windows : public WindowSystem {
  public:
    explicit X11Windows(Connection& conn) : conn_(conn) {}

    WindowId WindowAt(Point p, WindowId exclude) override;
    std::vector<WindowId> WindowGrid(int columns, int rows, int step, WindowId exclude) override;
    bool WindowRect(WindowId window, Rect& out) override;
    bool ClientRect(WindowId window, Rect& out) override;
    WindowId NextInStacking(WindowId window) override;
    WindowId ActiveWindow() override;
    WindowId TopLevel(WindowId window) override;
    bool Activate(WindowId window) override;
    bool Raise(WindowId window) override;
    bool Exists(WindowId window) override;
    bool DrawRow(WindowId window, Point from, int toX, uint32_t rgb) override;
    void Invalidate(WindowId window, const Rect* area = nullptr) override;
    bool DrawFrame(WindowId window, int width, uint32_t rgb) override;
    bool CanBlendWindows() override;

  private:
    struct Node {
        xcb_window_t id = 0;
        Rect outer;  // on the screen, border included
        int border = 0;
        bool managed = false;       // carries WM_STATE: a client window
        std::vector<int> children;  // bottom to top
    };
    class Tree;
    Tree Snapshot(WindowId exclude);
    bool IsManaged(xcb_window_t window);
    // The ancestor just below the root (the window manager's frame of a managed window); the window
    // itself when it is a top-level window or gone.
    xcb_window_t FrameOf(xcb_window_t window);
    bool SendToRoot(xcb_window_t window, const char* message, uint32_t l0, uint32_t l1, uint32_t l2);
    std::vector<xcb_window_t> ReadWindows(xcb_window_t owner, const char* property);
    // The pixel value of rgb in the window's visual; false when the window is gone.
    bool PixelFor(xcb_window_t window, uint32_t rgb, uint32_t& pixel);
    bool FillRects(xcb_window_t window, uint32_t rgb, const std::vector<xcb_rectangle_t>& rects);

    Connection& conn_;
};

}  // namespace glimmora::x11
