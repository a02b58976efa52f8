// Covering part of a picture so that nothing of the pixels there can be read back: pixelated blocks,
// a blur made of blocks, or a solid colour.
#pragma once

#include <cstdint>
#include <vector>

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
    int method = kRedactSolid;
    int block = kDefaultRedactBlock;       // pixelate: the least edge of a block
    int radius = kDefaultRedactRadius;     // blur: the least edge of the blocks it is made from
    uint8_t blue = 0, green = 0, red = 0;  // solid
    // The random part of a pixelate or blur cover (grid offset, colour shift, per-block variation).
    // 0 draws a fresh one from the system for this call; the editor keeps one per cover so repaints
    // agree. Only tests pick a value; nothing reads it from settings or files.
    uint64_t random = 0;
};

// 64 bits from the system's random source (getrandom), never 0.
uint64_t RedactRandom();

// Whether the style is one Redact accepts: a known method, and a block or radius within
// kMinRedact*..kMaxRedactSize for the methods that use it.
bool ValidRedactStyle(const RedactStyle& style);

// The blocks of a pixelate or blur cover of width x height (cover coordinates) for style.random
// (which must not be 0): a grid at a random offset whose blocks are never thinner than the size on
// either axis (a side shorter than that is one block). Empty for a solid style or an invalid one.
std::vector<Rect> RedactBlocks(int width, int height, const RedactStyle& style);

// Covers rect (clipped to the picture) of a 24- or 32-bit picture in place; at 32 bits the covered
// pixels become opaque. Pixelate: each block of RedactBlocks one colour; blur: the same colours
// blended smoothly between block centres. The colours come from the mean of the whole covered area,
// shifted by a random amount and varied at random per block, so the cover cannot be reproduced from
// a guess of what lies beneath: a brute force over candidate texts learns nothing. Solid: the colour.
// False, picture unchanged, for another depth, an invalid style or nothing left after clipping.
bool Redact(Image& image, Rect rect, const RedactStyle& style);

}  // namespace glimmora
