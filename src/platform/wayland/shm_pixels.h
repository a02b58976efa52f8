// The pixels of a screen copy in shared memory, into our 24-bit pictures: the formats compositors hand
// out, the output's transform and rows stored bottom up. Pure pixel math, tested without a compositor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace glimmora::wayland {

// A frame as the compositor wrote it: wl_shm format, size in pixels, bytes per row.
struct ShmFrame {
    const uint8_t* data = nullptr;
    uint32_t format = 0;
    int width = 0, height = 0;
    size_t stride = 0;
    bool yInvert = false;
};

// Buffer pixel (bx, by) that shows the output's logical pixel (x, y) under a wl_output transform, for a
// buffer of bw x bh pixels.
Point BufferPixelFor(int transform, int x, int y, int bw, int bh);

// Whether CopyShmFrame reads the format (8 bits a channel, or 10 as deep-colour outputs give).
bool ReadableShmFormat(uint32_t format);

// Writes the frame of an output with this transform to its place in `into` (device pixels, transform
// applied; only the part inside `into`). False with a reason and `into` untouched when the format is
// unknown or the frame does not cover the place: never a picture with black where the screen was.
bool CopyShmFrame(const ShmFrame& frame, int transform, const Rect& place, Image& into, std::string* error);

}  // namespace glimmora::wayland
