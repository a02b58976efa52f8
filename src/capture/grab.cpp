#include "capture/grab.h"

namespace glimmora {

bool GrabRect(Image& out, const Image& source, const Rect& rect) {
    if (IsEmpty(rect) || !source.IsValid() || source.Depth() <= 8) return false;
    Image fresh;
    if (!fresh.Create(rect.Width(), rect.Height(), 24)) return false;
    if (source.Depth() == 24) {
        fresh.Paste(source, -rect.left, -rect.top);  // no overlap leaves it black
    } else {
        Image converted(source);
        if (!converted.ConvertDepth(24)) return false;
        fresh.Paste(converted, -rect.left, -rect.top);
    }
    out = std::move(fresh);
    return true;
}

bool GrabScreenRect(Screen& screen, Image& out, const Rect& rect) {
    return screen.Grab(rect, out);
}

bool GrabFullScreen(Screen& screen, Image& out, bool includeCursor) {
    const Size size = screen.ScreenSize();
    if (!GrabScreenRect(screen, out, Rect{0, 0, size.width, size.height})) return false;
    if (includeCursor) screen.DrawCursor(out, Point{0, 0});
    return true;
}

bool ActiveWindowRect(WindowSystem& windows, Rect& out) {
    const WindowId active = windows.ActiveWindow();
    Rect rect;
    if (!active || !windows.WindowRect(active, rect)) return false;
    if (rect.left < 0 || rect.top < 0 || rect.right < 0 || rect.bottom < 0 || IsEmpty(rect)) return false;
    out = rect;
    return true;
}

}  // namespace glimmora
