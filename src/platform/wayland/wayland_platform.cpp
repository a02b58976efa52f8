#include "platform/wayland/wayland_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <cmath>
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

// Our connection to the compositor, opened anew at the next use once it broke (the compositor left, or
// ended it for a protocol error): one broken connection must not fail every later grab.
class Link {
  public:
    Link(std::unique_ptr<Connection> conn, std::string display) : display_(std::move(display)) {
        Adopt(std::move(conn));
    }
    ~Link() { Drop(); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Null with a reason when no compositor answers.
    Connection* Get(std::string* error) {
        if (conn_ && !conn_->Broken()) return conn_.get();
        Drop();
        std::unique_ptr<Connection> fresh = Connection::Open(error, display_);
        if (!fresh) return nullptr;
        Adopt(std::move(fresh));
        return conn_.get();
    }

  private:
    void Adopt(std::unique_ptr<Connection> conn) {
        conn_ = std::move(conn);
        // The clipboard we hold is answered whenever another program asks, not only during our calls.
        if (!QCoreApplication::instance()) return;
        notifier_ = std::make_unique<QSocketNotifier>(conn_->Fd(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
            // A broken connection stays readable for ever: stop listening until the next use opens a new one.
            if (!conn_->DispatchPending()) notifier_->setEnabled(false);
        });
    }
    void Drop() {
        notifier_.reset();  // before its descriptor closes
        conn_.reset();
    }

    std::string display_;  // empty for $WAYLAND_DISPLAY
    std::unique_ptr<Connection> conn_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

class WaylandScreen : public Screen {
  public:
    explicit WaylandScreen(Link& link) : link_(link), route_(RouteFromEnvironment()) {}

    Size ScreenSize() override {
        Connection* conn = link_.Get(&error_);
        if (!conn) return Size{};
        conn->DispatchPending();  // outputs come and go
        return conn->LayoutSize();
    }

    ScreenLayout Layout() override {
        Connection* conn = link_.Get(&error_);
        if (!conn) return ScreenLayout{};
        conn->DispatchPending();
        return conn->Layout();
    }

    // Wayland shows a client the pointer only over its own windows. sway's focused output and KWin's
    // active one follow the pointer from output to output; GNOME says nothing (-1 with several outputs).
    int CurrentMonitor() override {
        const ScreenLayout layout = Layout();
        if (layout.monitors.size() < 2) return layout.monitors.empty() ? -1 : 0;
        const std::string current = sway_ ? sway_->FocusedOutput() : KWinActiveOutput();
        for (size_t i = 0; i < layout.monitors.size(); ++i)
            if (!current.empty() && layout.monitors[i].name == current) return static_cast<int>(i);
        return -1;
    }
    void SetSway(wayland::SwayWindows* sway) { sway_ = sway; }

    // As `grim -o NAME`: the output alone, at its own scale.
    bool GrabMonitor(size_t index, Image& out) override {
        error_.clear();
        const ScreenLayout layout = Layout();
        if (index >= layout.monitors.size()) return false;
        Connection* conn = link_.Get(&error_);
        if (!conn || !UsesScreencopy(conn)) return Screen::GrabMonitor(index, out);
        const Monitor& m = layout.monitors[index];
        const bool done = conn->Compose(m.logical, m.scale, false, out, &error_);
        if (done) lastRoute_ = kScreencopyRoute;
        return done;
    }

    bool Grab(const Rect& rect, Image& out) override {
        error_.clear();
        if (IsEmpty(rect)) return false;
        if (GrabAtOwnScale(rect, out)) return true;
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
        if (!image.IsValid() || image.Depth() != 24) return false;
        Connection* conn = link_.Get(&error_);
        if (!conn || !UsesScreencopy(conn) || !conn->GrabLayout(withCursor, true, &error_)) return false;
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
    bool UsesScreencopy(const Connection* conn) const {
        return route_ == GrabRoute::Screencopy ||
               (route_ == GrabRoute::Automatic && conn && conn->HasScreencopy());
    }

    // A window or region wholly on outputs of a lower scale than the picture's comes at their scale, in
    // their device pixels, as `grim -g` gives it; false when the picture's scale is the right one.
    bool GrabAtOwnScale(const Rect& rect, Image& out) {
        Connection* conn = link_.Get(&error_);
        if (!conn || !UsesScreencopy(conn)) return false;
        conn->DispatchPending();
        const ScreenLayout layout = conn->Layout();
        const Point a = layout.ToLogical(Point{rect.left, rect.top});
        const Rect b = layout.Bounds();
        const Rect box{a.x, a.y, b.left + static_cast<int>(std::lround(rect.right / layout.scale)),
                       b.top + static_cast<int>(std::lround(rect.bottom / layout.scale))};
        const Rect back = layout.ToPicture(box);
        if (IsEmpty(box) || back.left != rect.left || back.top != rect.top || back.right != rect.right ||
            back.bottom != rect.bottom)
            return false;
        const double scale = layout.ScaleOver(box);
        if (scale >= layout.scale) return false;
        const bool done = conn->Compose(box, scale, false, out, &error_);
        qCDebug(lcGrab, "part of the screen %s at its own scale", done ? "read" : "not read");
        if (done) lastRoute_ = kScreencopyRoute;
        return done;
    }

    bool GrabScreen(Image& screen) {
        lastRoute_.clear();
        if (route_ == GrabRoute::Invalid) {
            error_ = "GLIMMORA_WAYLAND_GRAB is set to '" + std::string(std::getenv("GLIMMORA_WAYLAND_GRAB")) +
                     "'; use portal, screencopy or leave it unset";
            return false;
        }
        Connection* conn = link_.Get(&error_);
        const char* route = UsesScreencopy(conn) ? kScreencopyRoute : kPortalRoute;
        bool done = false;
        if (route == kScreencopyRoute) {
            if (!conn) return false;
            if (!conn->HasScreencopy()) {
                error_ = "this compositor offers no wlroots screen copy (GLIMMORA_WAYLAND_GRAB=screencopy)";
                return false;
            }
            done = conn->GrabLayout(screen, false, &error_);
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

    Link& link_;
    wayland::SwayWindows* sway_ = nullptr;
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
    explicit WaylandInput(Link& link) : link_(link) {}
    bool CanScroll() override {
        Connection* conn = link_.Get(nullptr);
        return conn && conn->HasVirtualPointer();
    }
    bool WarpPointer(Point p) override {
        Connection* conn = link_.Get(nullptr);
        return conn && conn->PointerMotion(p);
    }
    bool WheelNotchDown() override {
        Connection* conn = link_.Get(nullptr);
        return conn && conn->PointerWheel(1);
    }
    bool Button(int button, bool down) override {
        Connection* conn = link_.Get(nullptr);
        return conn && conn->PointerButton(button, down);
    }
    void Sync() override {
        if (Connection* conn = link_.Get(nullptr)) conn->Roundtrip();
    }
    // No client can take a key from the window that has the focus.
    std::unique_ptr<EscapeGrab> GrabEscape() override { return nullptr; }

  private:
    Link& link_;
};

class WaylandPlatform : public Platform {
  public:
    WaylandPlatform(std::unique_ptr<Connection> conn, std::string display)
        : link_(std::move(conn), std::move(display)), screen_(link_), input_(link_) {
        const std::string sway = wayland::SwayWindows::SocketPath();
        if (!sway.empty()) {
            auto windows = std::make_unique<wayland::SwayWindows>(sway, [this] { return screen_.Layout(); });
            screen_.SetSway(windows.get());
            windows_ = std::move(windows);
        } else
            windows_ = std::make_unique<NoWindows>();
    }

    const char* Name() const override { return "wayland"; }
    // Recording through the wlroots screen copy, one copy per frame pushed to the recorder: it works in
    // a headless session with no chooser to answer, where the ScreenCast portal of xdg-desktop-portal-wlr
    // asks which output to share. Desktops without the screen copy (GNOME, KDE) would need the
    // ScreenCast portal, which is not used yet: they are told so before anything starts.
    bool OpenCast(const CastRequest& request, CastSource& out, std::string* error) override {
        auto fail = [&](const std::string& why) {
            if (error) *error = why;
            return false;
        };
        Connection* conn = link_.Get(error);
        if (!conn) return false;
        if (!conn->HasScreencopy() || RouteFromEnvironment() == GrabRoute::Portal)
            return fail(
                "this desktop can be recorded only through its ScreenCast portal, which Glimmora does not "
                "use yet; X11 and compositors with the wlroots screen copy (sway, Hyprland) can be recorded");
        const ScreenLayout layout = screen_.Layout();
        const Size size = layout.PictureSize();
        const Rect whole{0, 0, size.width, size.height};
        Rect rect = whole;
        WindowId window = 0;
        switch (request.kind) {
            case CastRequest::Kind::Screen:
                break;
            case CastRequest::Kind::Monitor:
                if (request.monitor < 0 || static_cast<size_t>(request.monitor) >= layout.monitors.size())
                    return fail("there is no screen " + std::to_string(request.monitor) +
                                " (this desktop has " + std::to_string(layout.monitors.size()) +
                                ", numbered from 0)");
                rect = layout.PlaceOf(static_cast<size_t>(request.monitor));
                break;
            case CastRequest::Kind::Rect: {
                const Rect inside = Intersect(request.rect, whole);
                if (inside.left != request.rect.left || inside.top != request.rect.top ||
                    inside.right != request.rect.right || inside.bottom != request.rect.bottom)
                    return fail("the rectangle reaches outside the screen (" + std::to_string(size.width) +
                                "x" + std::to_string(size.height) + ")");
                rect = request.rect;
                break;
            }
            case CastRequest::Kind::Window:
                if (!windows_->WindowRect(request.window, rect) || IsEmpty(rect))
                    return fail("there is no window " + std::to_string(request.window) + " on this desktop");
                window = request.window;
                break;
        }
        if (rect.Width() < 2 || rect.Height() < 2)
            return fail("the area to record is smaller than 2x2 pixels");
        CastSource source;
        source.kind = CastSource::Kind::Frames;
        source.size = Size{rect.Width(), rect.Height()};
        const bool cursor = request.cursor;
        // Only the recorder's feeding thread calls this; nothing else uses the connection meanwhile.
        source.grab = [this, rect, window, cursor](Image& image) {
            Rect at = rect;
            if (window) {
                Rect now;
                if (!windows_->WindowRect(window, now) || IsEmpty(now)) return false;
                at = Rect{now.left, now.top, now.left + rect.Width(), now.top + rect.Height()};
            }
            if (!screen_.Grab(at, image)) return false;
            if (cursor) screen_.DrawCursor(image, Point{at.left, at.top});
            return true;
        };
        source.goneReason = window ? "the window was closed" : "the screen could not be read";
        out = std::move(source);
        return true;
    }
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
        Connection* conn = link_.Get(nullptr);
        return conn && conn->OfferClipboard(mime, std::move(bytes));
    }

  private:
    Link link_;
    WaylandScreen screen_;
    WaylandInput input_;
    std::unique_ptr<WindowSystem> windows_;
};

}  // namespace

bool IsWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

std::unique_ptr<Platform> OpenWaylandPlatform(std::string* error, const std::string& display) {
    std::unique_ptr<Connection> conn = Connection::Open(error, display);
    if (!conn) return nullptr;
    return std::make_unique<WaylandPlatform>(std::move(conn), display);
}

std::string FindWaylandDisplay() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder =
        runtime && *runtime ? std::string(runtime) : "/run/user/" + std::to_string(getuid());
    const char* named = std::getenv("WAYLAND_DISPLAY");
    if (named && *named) return named[0] == '/' ? std::string(named) : folder + "/" + named;
    // Compositors take the first free of wayland-0 to wayland-31.
    for (int n = 0; n < 32; ++n) {
        const std::string path = folder + "/wayland-" + std::to_string(n);
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return path;
    }
    return {};
}

}  // namespace glimmora
