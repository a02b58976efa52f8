// The desktop behind one interface per facility; the backend is chosen in platform.cpp.
#pragma once

#include <memory>
#include <string>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/app_messages.h"
#include "platform/hotkeys.h"
#include "platform/input.h"
#include "platform/screen.h"
#include "platform/screencast.h"
#include "platform/windows.h"

namespace glimmora {

class Platform {
  public:
    virtual ~Platform() = default;
    virtual Screen& screen() = 0;
    virtual WindowSystem& windows() = 0;
    virtual PointerInput& input() = 0;

    // Global hotkeys on a connection of their own, so a running capture never eats their presses. Null
    // when the display cannot be reached.
    virtual std::unique_ptr<HotkeyGrabber> OpenHotkeys() = 0;
    // Whether this session lets a program take key combinations at all (a Wayland compositor without
    // the GlobalShortcuts portal does not). When not, *reason says why in a few words for the user, and
    // the desktop's own key bindings have to run the capture commands instead.
    virtual bool HotkeysSupported(std::string* reason) {
        (void)reason;
        return true;
    }
    // Runs then once HotkeysSupported knows its answer, which may take asking the desktop; before that
    // it says no. Where the answer needs no asking, at once.
    virtual void WhenHotkeysKnown(std::function<void()> then) { then(); }

    // Names the window that receives other programs' requests (a root window property), so that
    // SendAppMessage finds it.
    virtual bool PublishMainWindow(WindowId window) = 0;
    // Takes the name back, unless another instance has published its own window since.
    virtual void WithdrawMainWindow(WindowId window) = 0;
    // Sends a request to the published main window. False with a reason in *error when no running
    // instance holds the name (none published, or its window is gone).
    virtual bool SendAppMessage(const AppMessage& message, std::string* error) = 0;
    // The request carried by one of Qt's native xcb events, if it is one sent by SendAppMessage.
    virtual std::optional<AppMessage> DecodeAppMessage(const void* xcbEvent) = 0;

    // Puts the bytes on the clipboard under the MIME type without our window having the focus, where
    // the desktop needs that done outside the toolkit (Wayland). False where the toolkit's own clipboard
    // is the way (X11) or the desktop offers no such thing.
    virtual bool OfferClipboard(const std::string& mime, std::vector<uint8_t> bytes) {
        (void)mime;
        (void)bytes;
        return false;
    }
    // Where a screen recording takes its frames from for the request. False with the reason in *error
    // (a window that does not exist, a rectangle off the screen, a desktop that offers no way to record),
    // said before anything starts.
    virtual bool OpenCast(const CastRequest& request, CastSource& out, std::string* error) {
        (void)request;
        (void)out;
        if (error) *error = "this desktop offers no way to record the screen";
        return false;
    }
    // "x11" or "wayland".
    virtual const char* Name() const = 0;

    // Connects to the display named (or $DISPLAY when empty). Null with a reason in *error when
    // there is no display to talk to.
    static std::unique_ptr<Platform> Open(const std::string& display = {}, std::string* error = nullptr);
};

}  // namespace glimmora
