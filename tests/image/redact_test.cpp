#include "image/redact.h"

#include <gtest/gtest.h>

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

TEST(Redact, EveryPixelOfABlockIsTheBlocksRoundedMean) {
    for (int depth : {24, 32}) {
        const Image original = Noise(80, 60, depth, 7);
        Image image = original;
        ASSERT_TRUE(glimmora::Redact(image, {5, 7, 53, 39}, Style(glimmora::kRedactPixelate, 16)));
        for (int by = 0; by < 2; ++by) {
            for (int bx = 0; bx < 3; ++bx) {
                const int x0 = 5 + 16 * bx, y0 = 7 + 16 * by;
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int y = y0; y < y0 + 16; ++y)
                        for (int x = x0; x < x0 + 16; ++x) sum += original.PixelAddress(x, y)[c];
                    const int mean = (sum + 128) / 256;
                    for (int y = y0; y < y0 + 16; ++y)
                        for (int x = x0; x < x0 + 16; ++x)
                            ASSERT_EQ(image.PixelAddress(x, y)[c], mean)
                                << depth << " block " << bx << "," << by;
                }
                if (depth == 32) {
                    EXPECT_EQ(image.PixelAddress(x0, y0)[3], 255);
                }
            }
        }
        // Outside the rectangle nothing moved.
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x)
                if (x < 5 || x >= 53 || y < 7 || y >= 39) {
                    ASSERT_TRUE(SamePixel(image, original, x, y));
                }
    }
}

TEST(Redact, BlocksNeverShrinkBelowTheSizeAtTheEdges) {
    // 40 x 20 in blocks of 12: three columns of 13 or 14 and one row of 20, never a thin leftover strip.
    Image image = Noise(40, 20, 24, 3);
    ASSERT_TRUE(glimmora::Redact(image, {0, 0, 40, 20}, Style(glimmora::kRedactPixelate, 12)));
    std::vector<int> runs;
    int start = 0;
    for (int x = 1; x <= 40; ++x) {
        if (x == 40 || std::memcmp(image.PixelAddress(x, 0), image.PixelAddress(start, 0), 3) != 0) {
            runs.push_back(x - start);
            start = x;
        }
    }
    ASSERT_EQ(runs.size(), 3u);
    for (int run : runs) EXPECT_GE(run, 12);
    for (int y = 1; y < 20; ++y) ASSERT_EQ(std::memcmp(image.Row(y), image.Row(0), 120), 0);
    // A rectangle smaller than a block is one block.
    Image small = Noise(30, 30, 24, 4);
    ASSERT_TRUE(glimmora::Redact(small, {2, 2, 9, 6}, Style(glimmora::kRedactBlur, 12)));
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 9; ++x)
            ASSERT_EQ(std::memcmp(small.PixelAddress(x, y), small.PixelAddress(2, 2), 3), 0);
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
