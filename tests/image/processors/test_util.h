// Small images by hand and a driver that makes only the per-pixel calls.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "image/image.h"
#include "image/processors/processor.h"

namespace glimmora::test {

inline Image MakeImage(int width, int height, int depth) {
    Image image;
    image.Create(width, height, depth);
    return image;
}

inline void SetBgra(Image& image, int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255) {
    uint8_t* p = image.PixelAddress(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (image.Depth() == 32) p[3] = a;
}

inline void Fill(Image& image, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255) {
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) SetBgra(image, x, y, b, g, r, a);
}

struct Bgra {
    int b, g, r, a;
    bool operator==(const Bgra&) const = default;
};

inline Bgra At(const Image& image, int x, int y) {
    const uint8_t* p = image.PixelAddress(x, y);
    return {p[0], p[1], p[2], image.Depth() == 32 ? p[3] : 255};
}

// Random bytes in every pixel byte; levels > 0 limits each byte to that many values (for ties).
inline Image RandomImage(int width, int height, int depth, uint32_t seed, int levels = 0) {
    Image image = MakeImage(width, height, depth);
    std::mt19937 gen(seed);
    const int bytes = (width * depth + 7) / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Row(y);
        for (int i = 0; i < bytes; ++i) {
            const auto v = static_cast<int>(gen() & 0xFF);
            row[i] = static_cast<uint8_t>(levels > 0 ? (v % levels) * (255 / levels) : v);
        }
    }
    return image;
}

// Pixel bytes only (never the line filler).
inline bool SamePixels(const Image& a, const Image& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Depth() != b.Depth()) return false;
    const size_t n = (static_cast<size_t>(a.Width()) * a.Depth() + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), n) != 0) return false;
    return true;
}

// The driver's contract with nothing but ProcessPixel calls.
inline bool RunPerPixel(Image& image, PixelProcessor& processor) {
    if (!processor.ValidateImage(image)) return false;
    processor.OnEnter(image);
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) processor.ProcessPixel(image, x, y, image.PixelAddress(x, y));
    processor.OnLeave(image);
    return true;
}

}  // namespace glimmora::test
