// Small value types shared by the platform interfaces.
#pragma once

#include <cstdint>

#include "image/image.h"

namespace glimmora {

// An X window id on X11; 0 is none.
using WindowId = uint32_t;

struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

inline bool IsEmpty(const Rect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
inline bool Contains(const Rect& r, Point p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}
inline Rect Intersect(const Rect& a, const Rect& b) {
    Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (IsEmpty(r)) return Rect{};
    return r;
}

}  // namespace glimmora
