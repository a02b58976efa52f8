#include "platform/wayland/shm_pixels.h"

#include <wayland-client-protocol.h>

#include <algorithm>

namespace glimmora::wayland {

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// Blue, green and red at byte offsets of a 32-bit pixel.
struct EightBits {
    int b, g, r;
    void operator()(const uint8_t* s, uint8_t* d) const {
        d[0] = s[b];
        d[1] = s[g];
        d[2] = s[r];
    }
};

// Three 10-bit channels in a little-endian 32-bit pixel, green always in the middle.
struct TenBits {
    int blueShift, redShift;
    void operator()(const uint8_t* s, uint8_t* d) const {
        const uint32_t p = s[0] | static_cast<uint32_t>(s[1]) << 8 | static_cast<uint32_t>(s[2]) << 16 |
                           static_cast<uint32_t>(s[3]) << 24;
        // The top 8 of the 10 bits, as pixman narrows them: our pictures then agree with grim's.
        d[0] = static_cast<uint8_t>(p >> (blueShift + 2));
        d[1] = static_cast<uint8_t>(p >> 12);
        d[2] = static_cast<uint8_t>(p >> (redShift + 2));
    }
};

template <class Read>
void Copy(const ShmFrame& f, int transform, const Rect& place, int lw, int lh, Image& into, Read read) {
    for (int y = 0; y < lh; ++y) {
        uint8_t* d = into.Row(place.top + y) + static_cast<ptrdiff_t>(place.left) * 3;
        if (transform == 0) {
            // The usual case, row by row.
            const uint8_t* s = f.data + static_cast<size_t>(f.yInvert ? f.height - 1 - y : y) * f.stride;
            for (int x = 0; x < lw; ++x, s += 4, d += 3) read(s, d);
            continue;
        }
        for (int x = 0; x < lw; ++x, d += 3) {
            Point b = BufferPixelFor(transform, x, y, f.width, f.height);
            if (f.yInvert) b.y = f.height - 1 - b.y;
            read(f.data + static_cast<size_t>(b.y) * f.stride + static_cast<size_t>(b.x) * 4, d);
        }
    }
}

}  // namespace

Point BufferPixelFor(int transform, int x, int y, int bw, int bh) {
    const bool turned = transform % 2 == 1;
    const int lw = turned ? bh : bw, lh = turned ? bw : bh;
    if (transform >= 4) x = lw - 1 - x;  // the flipped transforms mirror first
    switch (transform % 4) {
        case 1:
            return Point{y, lw - 1 - x};
        case 2:
            return Point{lw - 1 - x, lh - 1 - y};
        case 3:
            return Point{lh - 1 - y, x};
        default:
            return Point{x, y};
    }
}

bool ReadableShmFormat(uint32_t format) {
    switch (format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888:
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888:
        case WL_SHM_FORMAT_ARGB2101010:
        case WL_SHM_FORMAT_XRGB2101010:
        case WL_SHM_FORMAT_ABGR2101010:
        case WL_SHM_FORMAT_XBGR2101010:
            return true;
        default:
            return false;
    }
}

bool CopyShmFrame(const ShmFrame& f, int transform, const Rect& place, Image& into, std::string* error) {
    if (!ReadableShmFormat(f.format)) {
        SetError(error, "the compositor offers the screen in a pixel format Glimmora cannot read");
        return false;
    }
    if (!f.data || f.stride < static_cast<size_t>(f.width) * 4) {
        SetError(error, "the compositor's copy of a screen has rows shorter than its width");
        return false;
    }
    // Whatever the frame lacks would be black in the picture.
    const bool turned = transform % 2 == 1;
    const int coverW = turned ? f.height : f.width, coverH = turned ? f.width : f.height;
    if (coverW < place.Width() || coverH < place.Height()) {
        SetError(error, "the compositor's copy of a screen (" + std::to_string(coverW) + "x" +
                            std::to_string(coverH) + ") is smaller than that screen (" +
                            std::to_string(place.Width()) + "x" + std::to_string(place.Height()) + ")");
        return false;
    }
    const int lw = std::min(place.Width(), into.Width() - place.left),
              lh = std::min(place.Height(), into.Height() - place.top);
    if (place.left < 0 || place.top < 0) {
        SetError(error, "a screen lies outside the desktop's layout");
        return false;
    }
    if (lw <= 0 || lh <= 0) return true;
    switch (f.format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888:
            Copy(f, transform, place, lw, lh, into, EightBits{0, 1, 2});
            break;
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888:
            Copy(f, transform, place, lw, lh, into, EightBits{2, 1, 0});
            break;
        case WL_SHM_FORMAT_ARGB2101010:
        case WL_SHM_FORMAT_XRGB2101010:
            Copy(f, transform, place, lw, lh, into, TenBits{0, 20});
            break;
        default:  // the 10-bit formats with red in the low bits
            Copy(f, transform, place, lw, lh, into, TenBits{20, 0});
            break;
    }
    return true;
}

}  // namespace glimmora::wayland
