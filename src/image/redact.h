// Covering part of a picture so that nothing of the pixels there can be read back: pixelated blocks,
// a blur made of block means, or a solid colour.
#pragma once

#include <cstdint>

#include "image/image.h"

namespace glimmora {

enum RedactMethod : int {
    kRedactPixelate = 0,
    kRedactBlur = 1,
    kRedactSolid = 2,
};

// Below these sizes text stays readable through the cover, so they are refused.
inline constexpr int kMinRedactBlock = 12;
inline constexpr int kMinRedactRadius = 12;
inline constexpr int kMaxRedactSize = 256;
inline constexpr int kDefaultRedactBlock = 16;
inline constexpr int kDefaultRedactRadius = 16;

struct RedactStyle {
    int method = kRedactPixelate;
    int block = kDefaultRedactBlock;       // pixelate: the least edge of a block
    int radius = kDefaultRedactRadius;     // blur: the least edge of the blocks it is made from
    uint8_t blue = 0, green = 0, red = 0;  // solid
};

// Whether the style is one Redact accepts: a known method, and a block or radius within
// kMinRedact*..kMaxRedactSize for the methods that use it.
bool ValidRedactStyle(const RedactStyle& style);

// Covers rect (clipped to the picture) of a 24- or 32-bit picture in place; at 32 bits the covered
// pixels become opaque. Pixelate: each block holds its mean only, every block at least style.block
// pixels on each side (a rectangle smaller than that is one block). Blur: the same block means at
// style.radius, blended smoothly between block centres, so again only means survive. Solid: the colour.
// False, picture unchanged, for another depth, an invalid style or nothing left after clipping.
bool Redact(Image& image, Rect rect, const RedactStyle& style);

}  // namespace glimmora
