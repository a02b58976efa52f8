#include "image/redact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <set>
#include <vector>

using glimmora::Image;
using glimmora::Rect;
using glimmora::RedactStyle;

namespace {

Image Noise(int w, int h, int depth, unsigned seed) {
    Image image;
    image.Create(w, h, depth);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int i = 0; i < w * depth / 8; ++i) p[i] = static_cast<uint8_t>(random());
    }
    return image;
}

bool SamePixel(const Image& a, const Image& b, int x, int y) {
    return std::memcmp(a.PixelAddress(x, y), b.PixelAddress(x, y), static_cast<size_t>(a.Depth() / 8)) == 0;
}

RedactStyle Style(int method, int size) {
    RedactStyle s;
    s.method = method;
    s.block = s.radius = size;
    s.blue = 10, s.green = 20, s.red = 30;
    return s;
}

}  // namespace

// With its random part fixed a cover depends on nothing but block means: pixels shuffled inside every
// block give the same cover, and each pixelated block is one colour.
TEST(Redact, WithTheRandomPartFixedOnlyBlockMeansMatter) {
    for (int method : {glimmora::kRedactPixelate, glimmora::kRedactBlur}) {
        for (int depth : {24, 32}) {
            RedactStyle style = Style(method, 16);
            style.random = 0x5EED5EED5EEDull;
            const Rect rect{5, 7, 70, 52};
            const Image original = Noise(80, 60, depth, 7);
            Image shuffled = original;
            std::mt19937 random(9);
            const std::vector<Rect> blocks = glimmora::RedactBlocks(65, 45, style);
            ASSERT_FALSE(blocks.empty());
            for (const Rect& b : blocks) {
                // A random permutation of the block's pixels keeps its mean exactly.
                std::vector<std::pair<int, int>> at;
                for (int y = b.top; y < b.bottom; ++y)
                    for (int x = b.left; x < b.right; ++x) at.push_back({rect.left + x, rect.top + y});
                std::vector<std::pair<int, int>> to = at;
                std::shuffle(to.begin(), to.end(), random);
                for (size_t i = 0; i < at.size(); ++i)
                    std::memcpy(shuffled.PixelAddress(to[i].first, to[i].second),
                                original.PixelAddress(at[i].first, at[i].second),
                                static_cast<size_t>(depth / 8));
            }
            ASSERT_NE(std::memcmp(shuffled.Bits(), original.Bits(), original.PixelBytes()), 0);
            Image a = original, b = shuffled;
            ASSERT_TRUE(glimmora::Redact(a, rect, style));
            ASSERT_TRUE(glimmora::Redact(b, rect, style));
            EXPECT_EQ(std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()), 0) << method << " " << depth;
            if (method == glimmora::kRedactPixelate) {
                for (const Rect& k : blocks)
                    for (int y = k.top; y < k.bottom; ++y)
                        for (int x = k.left; x < k.right; ++x) {
                            ASSERT_EQ(std::memcmp(a.PixelAddress(rect.left + x, rect.top + y),
                                                  a.PixelAddress(rect.left + k.left, rect.top + k.top), 3),
                                      0);
                        }
            }
            if (depth == 32) {
                EXPECT_EQ(a.PixelAddress(rect.left, rect.top)[3], 255);
            }
            // Without the fixed part every cover is drawn anew.
            style.random = 0;
            Image c = original, d = original;
            ASSERT_TRUE(glimmora::Redact(c, rect, style));
            ASSERT_TRUE(glimmora::Redact(d, rect, style));
            EXPECT_NE(std::memcmp(c.Bits(), d.Bits(), c.PixelBytes()), 0);
            // Outside the rectangle nothing moved.
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 80; ++x)
                    if (x < rect.left || x >= rect.right || y < rect.top || y >= rect.bottom) {
                        ASSERT_TRUE(SamePixel(a, original, x, y));
                    }
        }
    }
}

TEST(Redact, BlocksTileTheCoverNeverThinnerThanTheSizeAtARandomOffset) {
    std::set<std::vector<int>> grids;
    for (uint64_t random = 1; random <= 40; ++random) {
        for (const auto [w, h, size] :
             {std::array{40, 20, 12}, std::array{7, 4, 12}, std::array{200, 90, 16}}) {
            RedactStyle style = Style(glimmora::kRedactPixelate, size);
            style.random = random * 0x9E3779B97F4A7C15ull;
            const std::vector<Rect> blocks = glimmora::RedactBlocks(w, h, style);
            std::vector<int> cover(static_cast<size_t>(w * h), 0), lefts;
            for (const Rect& b : blocks) {
                EXPECT_TRUE(b.right - b.left >= size || b.right - b.left == w);
                EXPECT_TRUE(b.bottom - b.top >= size || b.bottom - b.top == h);
                for (int y = b.top; y < b.bottom; ++y)
                    for (int x = b.left; x < b.right; ++x) ++cover[static_cast<size_t>(y * w + x)];
                lefts.push_back(b.left);
            }
            EXPECT_EQ(std::count(cover.begin(), cover.end(), 1), w * h) << w << "x" << h;
            if (w == 200) grids.insert(lefts);
        }
    }
    // The grid moves with the random part.
    EXPECT_GT(grids.size(), 8u);
}

TEST(Redact, NoOriginalPixelSurvivesInNoise) {
    const struct {
        int method, size;
    } cases[] = {{glimmora::kRedactPixelate, 12},
                 {glimmora::kRedactPixelate, 40},
                 {glimmora::kRedactBlur, 12},
                 {glimmora::kRedactBlur, 30},
                 {glimmora::kRedactSolid, 0}};
    for (int depth : {24, 32}) {
        for (const auto& c : cases) {
            const Image original = Noise(200, 120, depth, 11);
            Image image = original;
            // Partly outside the picture: the part inside is covered.
            ASSERT_TRUE(glimmora::Redact(image, {-20, 10, 150, 200}, Style(c.method, c.size)));
            int survivors = 0;
            std::set<uint32_t> colours;
            for (int y = 10; y < 120; ++y)
                for (int x = 0; x < 150; ++x) {
                    survivors += SamePixel(image, original, x, y);
                    const uint8_t* p = image.PixelAddress(x, y);
                    colours.insert(p[0] | p[1] << 8 | p[2] << 16);
                }
            EXPECT_EQ(survivors, 0) << "method " << c.method << " size " << c.size << " depth " << depth;
            // Far fewer colours than pixels: what is left is means, not detail (the blur blends them).
            if (c.method != glimmora::kRedactBlur) {
                EXPECT_LT(colours.size(), 150u * 110u / 10u) << c.method;
            }
        }
    }
}

TEST(Redact, RefusesWhatWouldLeaveTextReadable) {
    const Image original = Noise(64, 64, 24, 5);
    const struct {
        RedactStyle style;
        Rect rect;
        int depth;
    } cases[] = {
        {Style(glimmora::kRedactPixelate, 11), {0, 0, 64, 64}, 24},
        {Style(glimmora::kRedactBlur, 11), {0, 0, 64, 64}, 24},
        {Style(glimmora::kRedactBlur, 0), {0, 0, 64, 64}, 24},
        {Style(7, 16), {0, 0, 64, 64}, 24},
        {Style(glimmora::kRedactPixelate, 16), {64, 0, 90, 64}, 24},
        {Style(glimmora::kRedactPixelate, 16), {10, 10, 10, 40}, 24},
        {Style(glimmora::kRedactPixelate, 16), {0, 0, 64, 64}, 8},
    };
    for (const auto& c : cases) {
        Image image = original;
        if (c.depth != 24) image.Create(64, 64, c.depth);
        const Image before = image;
        EXPECT_FALSE(glimmora::Redact(image, c.rect, c.style)) << c.style.method << " " << c.style.block;
        EXPECT_EQ(std::memcmp(image.Bits(), before.Bits(), before.PixelBytes()), 0);
    }
}
