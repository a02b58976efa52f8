#include "platform/wayland/wayland_platform.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>

#include "platform/wayland/kwin_screenshot.h"
#include "platform/wayland/portal_screenshot.h"
#include "platform/wayland/portal_shortcuts.h"
#include "platform/wayland/sway_windows.h"
#include "platform/wayland/wayland_connection.h"

namespace glimmora {

namespace {

// QT_LOGGING_RULES="glimmora.grab.debug=true" shows which way each picture came.
Q_LOGGING_CATEGORY(lcGrab, "glimmora.grab", QtInfoMsg)

using wayland::Connection;

// How the screen is read: the compositor's own copy where it offers one, else the desktop's portal.
// GLIMMORA_WAYLAND_GRAB=portal or screencopy forces one of them.
enum class GrabRoute { Automatic, Screencopy, Portal, Invalid };

GrabRoute RouteFromEnvironment() {
    const char* value = std::getenv("GLIMMORA_WAYLAND_GRAB");
    if (!value || !*value || std::strcmp(value, "auto") == 0) return GrabRoute::Automatic;
    if (std::strcmp(value, "portal") == 0) return GrabRoute::Portal;
    if (std::strcmp(value, "screencopy") == 0) return GrabRoute::Screencopy;
    return GrabRoute::Invalid;
}

constexpr char kScreencopyRoute[] = "the wlroots screen copy";
constexpr char kPortalRoute[] = "the Screenshot portal";
constexpr char kKWinRoute[] = "KWin's ScreenShot2";

class WaylandScreen : public Screen {
  public:
    explicit WaylandScreen(Connection& conn) : conn_(conn), route_(RouteFromEnvironment()) {}

    Size ScreenSize() override {
        conn_.DispatchPending();  // outputs come and go
        return conn_.LayoutSize();
    }

    bool Grab(const Rect& rect, Image& out) override {
        error_.clear();
        if (IsEmpty(rect)) return false;
        Image screen;
        if (!GrabScreen(screen)) return false;
        if (rect.left == 0 && rect.top == 0 && rect.right == screen.Width() &&
            rect.bottom == screen.Height()) {
            out = std::move(screen);
            return true;
        }
        Image picture;
        if (!picture.Create(rect.Width(), rect.Height(), 24)) {
            error_ = "not enough memory for the picture";
            return false;
        }
        // Parts outside the screen stay black, as on X11.
        const Rect on = Intersect(rect, Rect{0, 0, screen.Width(), screen.Height()});
        for (int y = on.top; y < on.bottom; ++y)
            std::memcpy(picture.Row(y - rect.top) + static_cast<ptrdiff_t>(on.left - rect.left) * 3,
                        screen.Row(y) + static_cast<ptrdiff_t>(on.left) * 3,
                        static_cast<size_t>(on.Width()) * 3);
        out = std::move(picture);
        return true;
    }

    // Wayland tells a client where the pointer is only over its own windows.
    bool PointerPosition(Point&) override { return false; }
    // No client may read the cursor's shape; the compositor draws it into a copy of its own. The portal
    // gives no such copy.
    bool DrawCursor(Image& image, Point origin) override {
        Image withCursor;
        if (!image.IsValid() || image.Depth() != 24 || !UsesScreencopy() ||
            !conn_.GrabLayout(withCursor, true, &error_))
            return false;
        const Rect on =
            Intersect(Rect{origin.x, origin.y, origin.x + image.Width(), origin.y + image.Height()},
                      Rect{0, 0, withCursor.Width(), withCursor.Height()});
        for (int y = on.top; y < on.bottom; ++y)
            std::memcpy(image.Row(y - origin.y) + static_cast<ptrdiff_t>(on.left - origin.x) * 3,
                        withCursor.Row(y) + static_cast<ptrdiff_t>(on.left) * 3,
                        static_cast<size_t>(on.Width()) * 3);
        return true;
    }
    std::string LastError() const override { return error_; }
    std::string Route() const override { return lastRoute_; }

    bool CanGrabWindows() override { return KWinOffersScreenshots(); }
    bool GrabPickedWindow(Image& out) override { return GrabWindow(KWinWindow::Picked, out); }
    bool GrabActiveWindow(Image& out) override { return GrabWindow(KWinWindow::Active, out); }

  private:
    bool UsesScreencopy() const {
        return route_ == GrabRoute::Screencopy || (route_ == GrabRoute::Automatic && conn_.HasScreencopy());
    }

    bool GrabScreen(Image& screen) {
        lastRoute_.clear();
        if (route_ == GrabRoute::Invalid) {
            error_ = "GLIMMORA_WAYLAND_GRAB is set to '" + std::string(std::getenv("GLIMMORA_WAYLAND_GRAB")) +
                     "'; use portal, screencopy or leave it unset";
            return false;
        }
        const char* route = UsesScreencopy() ? kScreencopyRoute : kPortalRoute;
        bool done = false;
        if (route == kScreencopyRoute) {
            if (!conn_.HasScreencopy()) {
                error_ = "this compositor offers no wlroots screen copy (GLIMMORA_WAYLAND_GRAB=screencopy)";
                return false;
            }
            done = conn_.GrabLayout(screen, false, &error_);
        } else {
            done = PortalScreenshot(screen, &error_);
        }
        qCDebug(lcGrab, "screen %s through %s", done ? "read" : "not read", route);
        if (done) lastRoute_ = route;
        return done;
    }

    bool GrabWindow(KWinWindow which, Image& out) {
        error_.clear();
        lastRoute_.clear();
        qCDebug(lcGrab, "asking KWin for the window %s",
                which == KWinWindow::Picked ? "clicked next" : "active");
        const bool done = KWinWindowScreenshot(which, out, &error_);
        qCDebug(lcGrab, "window %s through KWin's ScreenShot2", done ? "read" : "not read");
        if (done) lastRoute_ = kKWinRoute;
        return done;
    }

    Connection& conn_;
    const GrabRoute route_;
    std::string error_;
    std::string lastRoute_;
};

// Where the compositor names no windows: every lookup finds none.
class NoWindows : public WindowSystem {
  public:
    bool CanPickWindows() override { return false; }
    WindowId WindowAt(Point, WindowId) override { return 0; }
    std::vector<WindowId> WindowGrid(int columns, int rows, int, WindowId) override {
        if (columns <= 0 || rows <= 0) return {};
        return std::vector<WindowId>(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0);
    }
    bool WindowRect(WindowId, Rect&) override { return false; }
    bool ClientRect(WindowId, Rect&) override { return false; }
    WindowId NextInStacking(WindowId) override { return 0; }
    WindowId ActiveWindow() override { return 0; }
    WindowId TopLevel(WindowId window) override { return window; }
    bool Activate(WindowId) override { return false; }
    bool Raise(WindowId) override { return false; }
    bool Exists(WindowId) override { return false; }
    bool DrawRow(WindowId, Point, int, uint32_t) override { return false; }
    bool DrawFrame(WindowId, int, uint32_t) override { return false; }
    void Invalidate(WindowId, const Rect*) override {}
};

class WaylandInput : public PointerInput {
  public:
    explicit WaylandInput(Connection& conn) : conn_(conn) {}
    bool CanScroll() override { return conn_.HasVirtualPointer(); }
    bool WarpPointer(Point p) override { return conn_.PointerMotion(p); }
    bool WheelNotchDown() override { return conn_.PointerWheel(1); }
    bool Button(int button, bool down) override { return conn_.PointerButton(button, down); }
    void Sync() override { conn_.Roundtrip(); }
    // No client can take a key from the window that has the focus.
    std::unique_ptr<EscapeGrab> GrabEscape() override { return nullptr; }

  private:
    Connection& conn_;
};

class WaylandPlatform : public Platform {
  public:
    explicit WaylandPlatform(std::unique_ptr<Connection> conn)
        : conn_(std::move(conn)), screen_(*conn_), input_(*conn_) {
        const std::string sway = wayland::SwayWindows::SocketPath();
        if (!sway.empty())
            windows_ = std::make_unique<wayland::SwayWindows>(sway);
        else
            windows_ = std::make_unique<NoWindows>();
        // The clipboard we hold is answered whenever another program asks, not only during our calls.
        if (QCoreApplication::instance()) {
            notifier_ = std::make_unique<QSocketNotifier>(conn_->Fd(), QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                             [this] { conn_->DispatchPending(); });
        }
    }

    const char* Name() const override { return "wayland"; }
    Screen& screen() override { return screen_; }
    WindowSystem& windows() override { return *windows_; }
    PointerInput& input() override { return input_; }
    // The desktop's shortcut portal where it has one; elsewhere users bind keys to `glimmora --capture`.
    // The portal is asked once per process, without waiting (WhenHotkeysKnown).
    bool HotkeysSupported(std::string* reason) override {
        const PortalOffer offer = PortalShortcutsOffer(reason);
        if (offer == PortalOffer::Unknown && reason) *reason = "the desktop portal has not answered yet";
        return offer == PortalOffer::Offered;
    }
    void WhenHotkeysKnown(std::function<void()> then) override { WhenPortalShortcutsKnown(std::move(then)); }
    std::unique_ptr<HotkeyGrabber> OpenHotkeys() override {
        if (PortalShortcutsOffer(nullptr) != PortalOffer::Offered) return nullptr;
        return PortalShortcutGrabber::Open();
    }
    // Requests from other programs come over D-Bus here; there is no window property to publish.
    bool PublishMainWindow(WindowId) override { return false; }
    void WithdrawMainWindow(WindowId) override {}
    bool SendAppMessage(const AppMessage&, std::string* error) override {
        if (error) *error = "a Wayland session has no X11 window to send the request to";
        return false;
    }
    std::optional<AppMessage> DecodeAppMessage(const void*) override { return std::nullopt; }
    bool OfferClipboard(const std::string& mime, std::vector<uint8_t> bytes) override {
        return conn_->OfferClipboard(mime, std::move(bytes));
    }

  private:
    std::unique_ptr<Connection> conn_;
    WaylandScreen screen_;
    WaylandInput input_;
    std::unique_ptr<WindowSystem> windows_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

bool IsWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

std::unique_ptr<Platform> OpenWaylandPlatform(std::string* error) {
    std::unique_ptr<Connection> conn = Connection::Open(error);
    if (!conn) return nullptr;
    return std::make_unique<WaylandPlatform>(std::move(conn));
}

}  // namespace glimmora
