// Screen text made ready for recognition: grey, larger, and dark on light.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image.h"

namespace glimmora {

// One byte per pixel, rows top-down without padding.
struct GreyPlane {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// The luminance (0..255) of a 24- or 32-bit pixel in BGR order: 0.299 R + 0.587 G + 0.114 B.
inline uint8_t Luminance(const uint8_t* bgr) {
    return static_cast<uint8_t>((bgr[2] * 299u + bgr[1] * 587u + bgr[0] * 114u + 500u) / 1000u);
}

// Screen text is small for a recogniser trained on print: scale 2 or 3 for pictures up to this many
// pixels, scale 2 above (a whole screen at 3x costs more time than it gains).
inline constexpr int64_t kTripleScaleLimit = 1200 * 900;
int TextScaleFor(int width, int height);

// Text that touches the picture's edge is often missed: the prepared picture gets a border this wide
// (in picture pixels, before scaling) of its most common shade, the background.
inline constexpr int kTextBorder = 8;

// The picture (any depth) as luminance, scaled by scale (1..4, bilinear) and inverted when its mean
// luminance is below the middle: a dark theme's light text becomes dark text on light. Then a border of
// kTextBorder * scale pixels all round. Empty for an invalid picture, a scale outside 1..4, or a result
// that would pass the image size bound.
GreyPlane PrepareTextPicture(const Image& picture, int scale);

}  // namespace glimmora
