// Windows on compositors that tell clients about them: sway (and i3-compatible IPC) through its socket.
// Wayland itself gives a client no other program's window; elsewhere windows cannot be picked.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/layout.h"
#include "platform/windows.h"

namespace glimmora::wayland {

// One window as the compositor lays it out, in layout pixels.
struct LaidOutWindow {
    WindowId id = 0;
    Rect frame;   // decorations included
    Rect client;  // the program's own area
    bool focused = false;
    int pid = 0;
};

// The windows shown on the visible workspaces, topmost first, from a sway `get_tree` reply. Views of the
// process `ownPid` are left out. Also used by the tests.
std::vector<LaidOutWindow> ParseSwayTree(const std::string& json, int ownPid);

class SwayWindows : public WindowSystem {
  public:
    // The socket of $SWAYSOCK (or $I3SOCK); empty when the compositor has none.
    static std::string SocketPath();
    // sway's rectangles are logical; `layout` tells where they lie in our pictures.
    SwayWindows(std::string socketPath, std::function<ScreenLayout()> layout)
        : socket_(std::move(socketPath)), layout_(std::move(layout)) {}

    bool CanPickWindows() override { return !socket_.empty(); }
    WindowId WindowAt(Point p, WindowId exclude) override;
    std::vector<WindowId> WindowGrid(int columns, int rows, int step, WindowId exclude) override;
    bool WindowRect(WindowId window, Rect& out) override;
    bool ClientRect(WindowId window, Rect& out) override;
    WindowId NextInStacking(WindowId) override { return 0; }
    WindowId ActiveWindow() override;
    WindowId TopLevel(WindowId window) override { return window; }
    bool Activate(WindowId window) override;
    bool Raise(WindowId window) override { return Activate(window); }
    bool Exists(WindowId window) override;
    // The output sway has focused: the one the pointer last entered, or a window was focused on. Empty
    // when sway does not answer.
    std::string FocusedOutput();
    // Nothing can draw into another program's window here.
    bool DrawRow(WindowId, Point, int, uint32_t) override { return false; }
    bool DrawFrame(WindowId, int, uint32_t) override { return false; }
    void Invalidate(WindowId, const Rect* = nullptr) override {}

  private:
    // One request and its reply; false when the socket is gone or answers nonsense.
    bool Request(uint32_t type, const std::string& payload, std::string& reply);
    // In the pixels of our pictures.
    std::vector<LaidOutWindow> Windows();
    const LaidOutWindow* Find(const std::vector<LaidOutWindow>& all, WindowId window);

    std::string socket_;
    std::function<ScreenLayout()> layout_;
};

// The windows' rectangles from the desktop's coordinates to the pixels of the layout's pictures.
void MapToPicture(std::vector<LaidOutWindow>& windows, const ScreenLayout& layout);

}  // namespace glimmora::wayland
