#include "platform/layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace glimmora {

namespace {
int Scaled(int v, double scale) {
    return static_cast<int>(std::lround(v * scale));
}
}  // namespace

ScreenLayout ScreenLayout::Of(std::vector<Monitor> monitors) {
    ScreenLayout layout;
    layout.monitors = std::move(monitors);
    for (const Monitor& m : layout.monitors) layout.scale = std::max(layout.scale, m.scale);
    return layout;
}

Rect ScreenLayout::Bounds() const {
    if (!IsEmpty(area)) return area;
    if (monitors.empty()) return Rect{};
    Rect b{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (const Monitor& m : monitors) {
        b.left = std::min(b.left, m.logical.left);
        b.top = std::min(b.top, m.logical.top);
        b.right = std::max(b.right, m.logical.right);
        b.bottom = std::max(b.bottom, m.logical.bottom);
    }
    return b;
}

Size ScreenLayout::PictureSize() const {
    const Rect b = Bounds();
    // Truncated, as grim sizes its picture.
    return Size{static_cast<int>(b.Width() * scale), static_cast<int>(b.Height() * scale)};
}

Rect ScreenLayout::ToPicture(const Rect& r) const {
    const Rect b = Bounds();
    return Rect{Scaled(r.left - b.left, scale), Scaled(r.top - b.top, scale), Scaled(r.right - b.left, scale),
                Scaled(r.bottom - b.top, scale)};
}

Point ScreenLayout::ToPicture(Point p) const {
    const Rect b = Bounds();
    return Point{Scaled(p.x - b.left, scale), Scaled(p.y - b.top, scale)};
}

Point ScreenLayout::ToLogical(Point p) const {
    const Rect b = Bounds();
    return Point{b.left + static_cast<int>(std::floor(p.x / scale)),
                 b.top + static_cast<int>(std::floor(p.y / scale))};
}

int ScreenLayout::MonitorAt(Point p) const {
    int best = -1;
    long long bestDistance = LLONG_MAX;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Rect r = PlaceOf(i);
        const long long dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
        const long long dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
        const long long d = dx * dx + dy * dy;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

double ScreenLayout::ScaleOver(const Rect& logical) const {
    double s = 0;
    for (const Monitor& m : monitors)
        if (!IsEmpty(Intersect(m.logical, logical))) s = std::max(s, m.scale);
    return s > 0 ? s : 1;
}

}  // namespace glimmora
