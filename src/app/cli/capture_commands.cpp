// grab and scroll: the capture routines without the main window, for scripts, tests and benchmarks.
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "capture/grab.h"
#include "capture/scroll_capture.h"
#include "platform/platform.h"

namespace glimmora::cli {

// Decimal only: a leading zero is not octal.
bool ParseInt(const std::string& text, long long& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out, 10);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// "A,B[,C,D]" into count integers.
bool ParseInts(const std::string& text, int count, long long* out) {
    size_t start = 0;
    for (int i = 0; i < count; ++i) {
        const size_t comma = text.find(',', start);
        const bool last = i == count - 1;
        if (last != (comma == std::string::npos)) return false;
        if (!ParseInt(text.substr(start, last ? std::string::npos : comma - start), out[i])) return false;
        start = comma + 1;
    }
    return true;
}

// Decimal, or 0x... as xwininfo and xdotool print window ids.
bool ParseWindow(const std::string& text, WindowId& out) {
    long long id = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
        const char* end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data() + 2, end, id, 16);
        if (ec != std::errc() || ptr != end) return false;
    } else if (!ParseInt(text, id)) {
        return false;
    }
    if (id <= 0 || id > 0xFFFFFFFFll) return false;
    out = static_cast<WindowId>(id);
    return true;
}

namespace {

std::unique_ptr<Platform> OpenDisplay() {
    std::string error;
    std::unique_ptr<Platform> platform = Platform::Open({}, &error);
    if (!platform) std::fprintf(stderr, "glimmora-cli: %s\n", error.c_str());
    return platform;
}
}  // namespace

int RunGrab(const Args& args) {
    enum class Source { Screen, Rect, Window, Active } source = Source::Screen;
    Rect rect;
    WindowId window = 0;
    bool cursor = false;
    bool verbose = false;
    std::string out;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (optionsEnd || (a.size() <= 1 || a[0] != '-')) {
            if (!out.empty()) {
                PrintUsage("grab", stderr);
                return 2;
            }
            out = a;
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--rect" && hasValue && source == Source::Screen) {
            long long v[4];
            if (!ParseInts(args[++i], 4, v)) {
                std::fprintf(stderr, "glimmora-cli: bad rectangle '%s' (X,Y,W,H)\n", args[i].c_str());
                return 2;
            }
            if (v[2] <= 0 || v[3] <= 0 || v[2] > 65535 || v[3] > 65535 || v[0] < -65535 || v[0] > 65535 ||
                v[1] < -65535 || v[1] > 65535) {
                std::fprintf(stderr, "glimmora-cli: the rectangle '%s' is empty or too large\n",
                             args[i].c_str());
                return 1;
            }
            rect = Rect{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
                        static_cast<int>(v[1] + v[3])};
            source = Source::Rect;
        } else if (a == "--window" && hasValue && source == Source::Screen) {
            if (!ParseWindow(args[++i], window)) {
                std::fprintf(stderr, "glimmora-cli: bad window id '%s'\n", args[i].c_str());
                return 2;
            }
            source = Source::Window;
        } else if (a == "--active" && source == Source::Screen) {
            source = Source::Active;
        } else if (a == "--cursor") {
            cursor = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            PrintUsage("grab", stderr);
            return 2;
        }
    }
    if (out.empty()) {
        PrintUsage("grab", stderr);
        return 2;
    }
    std::unique_ptr<Platform> platform = OpenDisplay();
    if (!platform) return 1;
    Screen& screen = platform->screen();
    switch (source) {
        case Source::Screen: {
            const Size size = screen.ScreenSize();
            rect = Rect{0, 0, size.width, size.height};
            break;
        }
        case Source::Rect:
            break;
        case Source::Window:
            if (!platform->windows().WindowRect(window, rect) || IsEmpty(rect)) {
                std::fprintf(stderr, "glimmora-cli: no window 0x%x on this display\n", window);
                return 1;
            }
            break;
        case Source::Active:
            // KWin hands over the active window itself; no client may learn where it is.
            if (!platform->windows().CanPickWindows() && screen.CanGrabWindows()) {
                Image window;
                if (!screen.GrabActiveWindow(window)) {
                    std::fprintf(stderr, "glimmora-cli: the active window could not be read: %s\n",
                                 screen.LastError().empty() ? "cancelled" : screen.LastError().c_str());
                    return 1;
                }
                if (verbose)
                    std::fprintf(stderr, "glimmora-cli: window read through %s\n", screen.Route().c_str());
                return SaveLikeDocument(window, out) ? 0 : 1;
            }
            if (!ActiveWindowRect(platform->windows(), rect)) {
                std::fputs(
                    "glimmora-cli: no active window that can be captured (none, no area, or reaching past "
                    "the screen's top or left edge)\n",
                    stderr);
                return 1;
            }
            cursor = false;  // the active-window capture never shows the cursor
            break;
    }
    Image image;
    if (!GrabScreenRect(screen, image, rect)) {
        const std::string why = screen.LastError();
        std::fprintf(stderr, "glimmora-cli: the screen could not be read%s%s\n", why.empty() ? "" : ": ",
                     why.c_str());
        return 1;
    }
    if (verbose) std::fprintf(stderr, "glimmora-cli: screen read through %s\n", screen.Route().c_str());
    if (cursor && !screen.DrawCursor(image, Point{rect.left, rect.top}) && verbose)
        std::fputs("glimmora-cli: the cursor could not be drawn in\n", stderr);
    return SaveLikeDocument(image, out) ? 0 : 1;
}

int RunScroll(const Args& args) {
    WindowId window = 0;
    bool hasAt = false;
    Point at;
    std::string out;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (optionsEnd || (a.size() <= 1 || a[0] != '-')) {
            if (!out.empty()) {
                PrintUsage("scroll", stderr);
                return 2;
            }
            out = a;
        } else if (a == "--") {
            optionsEnd = true;
        } else if (a == "--window" && hasValue) {
            if (!ParseWindow(args[++i], window)) {
                std::fprintf(stderr, "glimmora-cli: bad window id '%s'\n", args[i].c_str());
                return 2;
            }
        } else if (a == "--at" && hasValue) {
            long long v[2];
            if (!ParseInts(args[++i], 2, v) || v[0] < -65535 || v[0] > 65535 || v[1] < -65535 ||
                v[1] > 65535) {
                std::fprintf(stderr, "glimmora-cli: bad point '%s' (X,Y)\n", args[i].c_str());
                return 2;
            }
            at = Point{static_cast<int>(v[0]), static_cast<int>(v[1])};
            hasAt = true;
        } else {
            PrintUsage("scroll", stderr);
            return 2;
        }
    }
    if (!window || out.empty()) {
        PrintUsage("scroll", stderr);
        return 2;
    }
    std::unique_ptr<Platform> platform = OpenDisplay();
    if (!platform) return 1;
    Rect client;
    if (!platform->windows().ClientRect(window, client) || IsEmpty(client)) {
        std::fprintf(stderr, "glimmora-cli: no window 0x%x on this display\n", window);
        return 1;
    }
    if (!hasAt) at = Point{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ScrollCapture scroll(*platform);
    Image image;
    if (!scroll.Run(window, at, image)) {
        std::fprintf(stderr, "glimmora-cli: window 0x%x could not be captured\n", window);
        return 1;
    }
    return SaveLikeDocument(image, out) ? 0 : 1;
}

}  // namespace glimmora::cli
