#include "platform/x11/x11_cast.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

namespace {
XErrorHandler g_previousHandler = nullptr;

// Xlib's own handler ends the process on any error, and ximagesrc gets BadWindow or BadMatch as soon as
// the window it records closes or unmaps. Those are expected: the recording notices the window is gone
// and ends cleanly; its Damage and XFixes resources for the window are gone too when it lets them go.
// Everything else goes to the handler that was there before.
int IgnoreVanishedWindow(Display* display, XErrorEvent* event) {
    if (event->error_code == BadWindow || event->error_code == BadDrawable || event->error_code == BadMatch ||
        event->error_code >= FirstExtensionError)
        return 0;
    return g_previousHandler ? g_previousHandler(display, event) : 0;
}

void InstallXlibErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { g_previousHandler = XSetErrorHandler(IgnoreVanishedWindow); });
}

std::string RectText(const Rect& r) {
    char text[96];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}
}  // namespace

bool OpenX11Cast(const std::string& display, X11Screen& screen, X11Windows& windows,
                 const CastRequest& request, CastSource& out, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const Size screenSize = screen.ScreenSize();
    const Rect whole{0, 0, screenSize.width, screenSize.height};
    CastSource source;
    source.kind = CastSource::Kind::XImage;
    source.display = display;
    source.cursor = request.cursor;
    switch (request.kind) {
        case CastRequest::Kind::Screen:
            source.rect = whole;
            break;
        case CastRequest::Kind::Monitor: {
            const ScreenLayout layout = screen.Layout();
            if (request.monitor < 0 || static_cast<size_t>(request.monitor) >= layout.monitors.size())
                return fail("there is no screen " + std::to_string(request.monitor) + " (this display has " +
                            std::to_string(layout.monitors.size()) + ", numbered from 0)");
            source.rect = Intersect(layout.PlaceOf(static_cast<size_t>(request.monitor)), whole);
            break;
        }
        case CastRequest::Kind::Rect:
            if (const Rect inside = Intersect(request.rect, whole);
                inside.left != request.rect.left || inside.top != request.rect.top ||
                inside.right != request.rect.right || inside.bottom != request.rect.bottom)
                return fail("the rectangle " + RectText(request.rect) + " reaches outside the screen (" +
                            std::to_string(screenSize.width) + "x" + std::to_string(screenSize.height) + ")");
            source.rect = request.rect;
            break;
        case CastRequest::Kind::Window: {
            Rect client;
            if (!windows.ClientRect(request.window, client) || IsEmpty(client))
                return fail("there is no window " + std::to_string(request.window) + " on this display");
            source.xid = request.window;
            source.rect = Rect{};
            source.size = Size{client.right - client.left, client.bottom - client.top};
            // A connection of its own: the recorder asks from its own thread.
            std::shared_ptr<Connection> watch(Connection::Open(display, error).release());
            if (!watch) return false;
            const WindowId window = request.window;
            source.alive = [watch, window] {
                Reply<xcb_get_window_attributes_reply_t> attributes = watch->Get(
                    xcb_get_window_attributes_reply, xcb_get_window_attributes(watch->get(), window));
                return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            };
            source.goneReason = "the window was closed or hidden";
            break;
        }
    }
    if (source.xid == 0) {
        if (IsEmpty(source.rect)) return fail("the area to record is empty");
        source.size = Size{source.rect.right - source.rect.left, source.rect.bottom - source.rect.top};
    }
    // ximagesrc's end corner is inclusive, and 0 there means the screen's edge.
    if (source.size.width < 2 || source.size.height < 2)
        return fail("the area to record is smaller than 2x2 pixels");
    InstallXlibErrorHandler();
    out = std::move(source);
    return true;
}

}  // namespace glimmora::x11
