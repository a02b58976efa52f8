#include "image/processors/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "image/processors/pixel_ops.h"
#include "image/processors/test_util.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;
using test::MakeImage;
using test::RandomImage;
using test::SamePixels;

TEST(ExpandedCopy, SameAsCopyThenExpandCanvas) {
    for (int depth : {8, 16, 24, 32}) {
        Image image = RandomImage(5, 3, depth, 2);
        image.SetPosition(7, -2);
        Image reference = image;
        reference.ExpandCanvas(true, 2, 1, 3, 4);
        const Image fast = MakeExpandedCopy(image, 2, 1, 3, 4);
        EXPECT_TRUE(SamePixels(fast, reference)) << depth;
        EXPECT_EQ(fast.PositionX(), reference.PositionX());
        EXPECT_EQ(fast.PositionY(), reference.PositionY());
    }
}

TEST(UniformNoise, LevelOneMovesOnlyAtTheEndsOfTheRange) {
    Image image = MakeImage(256, 256, 24);
    test::Fill(image, 128, 128, 128);
    UniformNoiseProcessor p(1);
    SeedRandom(99);
    RunProcessor(image, p, nullptr);
    // Replay the draws: blue, green, red for each pixel in the driver's order.
    SeedRandom(99);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            for (int c = 0; c < 3; ++c) {
                const int r = Random();
                const int expected = r == 0 ? 127 : (r == kRandomMax ? 129 : 128);
                ASSERT_EQ(image.PixelAddress(x, y)[c], expected);
            }
}

TEST(UniformNoise, SpreadFollowsTheLevel) {
    Image image = MakeImage(200, 200, 32);
    test::Fill(image, 128, 128, 128, 5);
    UniformNoiseProcessor p(100);
    SeedRandom(4);
    RunProcessor(image, p, nullptr);
    int lowest = 255, highest = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            const Bgra v = At(image, x, y);
            lowest = std::min({lowest, v.b, v.g, v.r});
            highest = std::max({highest, v.b, v.g, v.r});
            ASSERT_EQ(v.a, 5);
        }
    // Level 100 moves a channel by at most 50 either way.
    EXPECT_GE(lowest, 78);
    EXPECT_LE(highest, 178);
    EXPECT_LT(lowest, 90);
    EXPECT_GT(highest, 166);
}

TEST(GaussianNoise, LevelZeroLeavesThePicture) {
    Image image = RandomImage(30, 20, 24, 3);
    const Image original = image;
    GaussianNoiseProcessor p(0);
    RunProcessor(image, p, nullptr);
    EXPECT_TRUE(SamePixels(image, original));
}

TEST(GaussianNoise, ColourlessAndClampedToTheLevel) {
    Image image = MakeImage(100, 100, 24);
    test::Fill(image, 128, 128, 128);
    GaussianNoiseProcessor p(500);  // clamped to 100: at most 3.46 * 127 = 439 either way
    SeedRandom(7);
    RunProcessor(image, p, nullptr);
    bool changed = false;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            const Bgra v = At(image, x, y);
            ASSERT_EQ(v.b, v.g);
            ASSERT_EQ(v.g, v.r);
            changed = changed || v.b != 128;
        }
    EXPECT_TRUE(changed);
    // Four draws of the replayed generator give the first pixel's noise.
    SeedRandom(7);
    const int sum = Random() + Random() + Random() + Random();
    const int n = static_cast<int>((sum * 0.0000528596089837 - 3.46410161514) * 100 * 1.27);
    EXPECT_EQ(At(image, 0, 0).b, std::clamp(128 + n, 0, 255));
}

TEST(Emboss, UniformIsMidGreyAndLastColumnAlways128) {
    Image image = MakeImage(6, 3, 32);
    test::Fill(image, 9, 200, 77, 33);
    EmbossProcessor p(7);
    RunProcessor(image, p, nullptr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(At(image, x, y), (Bgra{128, 128, 128, 33}));
}

TEST(Emboss, DifferenceToTheRightTruncatedTowardsZero) {
    // Sums along the row: 60, 0, 1, 2, 0, 255*3. Differences to the right: 60, -1, -1, 2, -765.
    Image image = MakeImage(6, 1, 24);
    test::SetBgra(image, 0, 0, 10, 20, 30);
    test::SetBgra(image, 1, 0, 0, 0, 0);
    test::SetBgra(image, 2, 0, 1, 0, 0);
    test::SetBgra(image, 3, 0, 1, 1, 0);
    test::SetBgra(image, 4, 0, 0, 0, 0);
    test::SetBgra(image, 5, 0, 255, 255, 255);
    EmbossProcessor p(2);
    RunProcessor(image, p, nullptr);
    const int expected[] = {168, 128, 128, 129, 0, 128};  // 120/3, -2/3 -> 0, 4/3 -> 1, -1530/3
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At(image, x, 0).g, expected[x]) << x;
}

TEST(OilPaint, TiesKeepThePixelThatFirstReachedTheWinningCount) {
    // Greys of the 3 x 3 window around the centre, in reading order: A B B' / A' C D / E F G. B and B'
    // share grey 60 (red 200; green 102) with different colours, A and A' share 100. B' at (2, 0) is
    // the first pixel to bring a level to 2; A' ties later and does not win.
    Image image = MakeImage(3, 3, 24);
    test::SetBgra(image, 0, 0, 100, 100, 100);
    test::SetBgra(image, 1, 0, 0, 0, 200);
    test::SetBgra(image, 2, 0, 0, 102, 0);
    test::SetBgra(image, 0, 1, 100, 100, 100);
    test::SetBgra(image, 1, 1, 1, 1, 1);
    test::SetBgra(image, 2, 1, 2, 2, 2);
    test::SetBgra(image, 0, 2, 3, 3, 3);
    test::SetBgra(image, 1, 2, 4, 4, 4);
    test::SetBgra(image, 2, 2, 5, 5, 5);
    Image perPixel = image;
    OilPaintProcessor p(1);
    RunProcessor(image, p, nullptr);
    EXPECT_EQ(At(image, 1, 1), (Bgra{0, 102, 0, 255}));
    // Top-left: the replicated edge makes A the clear winner (4 of 9).
    EXPECT_EQ(At(image, 0, 0), (Bgra{100, 100, 100, 255}));
    OilPaintProcessor q(1);
    test::RunPerPixel(perPixel, q);
    EXPECT_TRUE(SamePixels(image, perPixel));
}

// The rule written out plainly: a fresh histogram per window over the edge-replicated picture, the
// position kept whenever a count beats the best so far.
Image PlainOilPaint(const Image& source, int radius) {
    Image out = source;
    const int width = source.Width(), height = source.Height();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int count[256] = {};
            int best = 0, bestX = 0, bestY = 0;
            for (int dy = -radius; dy <= radius; ++dy) {
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int sx = std::clamp(x + dx, 0, width - 1), sy = std::clamp(y + dy, 0, height - 1);
                    const uint8_t* p = source.PixelAddress(sx, sy);
                    const int c = ++count[pixel_ops::Grey(p[0], p[1], p[2])];
                    if (c > best) {
                        best = c;
                        bestX = sx;
                        bestY = sy;
                    }
                }
            }
            std::memcpy(out.PixelAddress(x, y), source.PixelAddress(bestX, bestY), 3);
        }
    }
    return out;
}

// The row loops take shortcuts (vector groups of windows, a sliding histogram); both must give the
// plain rule's bytes, on pictures narrower than a window, across group boundaries and with many ties.
TEST(OilPaint, RowLoopsMatchThePlainRule) {
    struct Size {
        int width, height;
    };
    const Size sizes[] = {{1, 1}, {3, 2}, {31, 4}, {32, 3}, {33, 6}, {70, 9}, {97, 2}};
    int seed = 100;
    for (int radius : {1, 2, 3, 4, 5}) {
        for (const Size& size : sizes) {
            for (int levels : {0, 2, 3, 7}) {
                for (int depth : {24, 32}) {
                    const Image source = RandomImage(size.width, size.height, depth, ++seed, levels);
                    const Image expected = PlainOilPaint(source, radius);
                    Image rows = source;
                    OilPaintProcessor p(radius);
                    ASSERT_TRUE(RunProcessor(rows, p, nullptr));
                    EXPECT_TRUE(SamePixels(rows, expected))
                        << radius << " " << size.width << "x" << size.height << " " << levels << " " << depth;
                    Image pixels = source;
                    OilPaintProcessor q(radius);
                    test::RunPerPixel(pixels, q);
                    EXPECT_TRUE(SamePixels(pixels, expected))
                        << radius << " " << size.width << "x" << size.height << " " << levels << " " << depth;
                }
            }
        }
    }
}

TEST(OilPaint, UniformStaysAndRadiusIsRaisedToOne) {
    Image image = MakeImage(5, 4, 32);
    test::Fill(image, 10, 20, 30, 40);
    OilPaintProcessor p(0);
    EXPECT_EQ(p.Radius(), 1);
    RunProcessor(image, p, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(image, x, y), (Bgra{10, 20, 30, 40}));
}

TEST(Splash, SpreadThreeMovesByAtMostOne) {
    Image image = MakeImage(40, 30, 32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            test::SetBgra(image, x, y, static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0, 9);
    SplashProcessor p(1);  // raised to 3
    SeedRandom(5);
    RunProcessor(image, p, nullptr);
    bool moved = false;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const Bgra v = At(image, x, y);
            ASSERT_LE(std::abs(v.b - x), 1);
            ASSERT_LE(std::abs(v.g - y), 1);
            moved = moved || v.b != x || v.g != y;
        }
    EXPECT_TRUE(moved);
    // The first pixel: x from the first draw, y from the second, clamped into the picture.
    SeedRandom(5);
    const int nx = std::clamp(Random() % 3 - 1, 0, 39);
    const int ny = std::clamp(Random() % 3 - 1, 0, 29);
    EXPECT_EQ(At(image, 0, 0), (Bgra{nx, ny, 0, 9}));
}

TEST(Mosaic, ThreeByThreeWithBlockTwo) {
    Image image = MakeImage(3, 3, 32);
    test::SetBgra(image, 0, 0, 100, 0, 0, 255);
    test::SetBgra(image, 1, 0, 0, 0, 0, 0);
    test::SetBgra(image, 0, 1, 50, 0, 0, 255);
    test::SetBgra(image, 1, 1, 0, 200, 0, 128);
    test::SetBgra(image, 2, 0, 10, 20, 30, 255);
    test::SetBgra(image, 2, 1, 30, 40, 50, 255);
    test::SetBgra(image, 0, 2, 70, 70, 70, 0);
    test::SetBgra(image, 1, 2, 90, 90, 90, 0);
    test::SetBgra(image, 2, 2, 9, 8, 7, 6);
    MosaicProcessor p(2);
    Image perPixel = image;
    RunProcessor(image, p, nullptr);
    // 2 x 2 block: alpha 638 / 4; blue (100 + 50) * 255 / 638; green 200 * 128 / 638.
    const Bgra big{59, 40, 0, 159};
    const Bgra right{20, 30, 40, 255};
    const Bgra bottom{0, 0, 0, 0};  // fully transparent: colour 0, alpha 0
    const Bgra corner{9, 8, 7, 6};
    const Bgra expected[3][3] = {{big, big, right}, {big, big, right}, {bottom, bottom, corner}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(At(image, x, y), expected[y][x]) << x << "," << y;
    MosaicProcessor q(2);
    test::RunPerPixel(perPixel, q);
    EXPECT_TRUE(SamePixels(image, perPixel));
}

TEST(Mosaic, NeedsThirtyTwoBits) {
    Image image = RandomImage(4, 4, 24, 1);
    const Image original = image;
    MosaicProcessor p(2);
    EXPECT_FALSE(RunProcessor(image, p, nullptr));
    EXPECT_TRUE(SamePixels(image, original));
}

TEST(Halftone, WhiteExceptWhereTheMatrixHolds63) {
    Image image = MakeImage(16, 16, 32);
    test::Fill(image, 255, 255, 255, 44);
    HalftoneProcessor p;
    RunProcessor(image, p, nullptr);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int v = (y % 8 == 7 && x % 8 == 0) ? 0 : 255;
            ASSERT_EQ(At(image, x, y), (Bgra{v, v, v, 44})) << x << "," << y;
        }
    Image black = MakeImage(9, 9, 24);
    RunProcessor(black, p, nullptr);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(At(black, x, y).g, 0);
}

TEST(Halftone, MidGreyThreshold) {
    // Grey 128: g / 4 = 32, so the pixel is white where the matrix holds less than 32.
    Image image = MakeImage(8, 1, 24);
    test::Fill(image, 128, 128, 128);
    HalftoneProcessor p;
    RunProcessor(image, p, nullptr);
    const int expected[] = {255, 0, 255, 0, 255, 0, 255, 0};  // 0 32 8 40 2 34 10 42
    for (int x = 0; x < 8; ++x) EXPECT_EQ(At(image, x, 0).r, expected[x]) << x;
}

// The blur against the 3 x 3 binomial kernel (1 2 1 / 2 4 2 / 1 2 1, over 16, truncated) computed here
// pixel by pixel, the edge pixels repeated beyond the border; alpha is kept.
TEST(Convolution, BlurIsTheBinomialKernelWithRepeatedEdges) {
    const struct {
        int width, height, depth;
    } cases[] = {{1, 1, 24}, {5, 5, 24}, {7, 5, 32}, {41, 23, 24}, {41, 23, 32}};
    for (const auto& c : cases) {
        const Image original = test::RandomImage(c.width, c.height, c.depth, 17);
        Image image = original;
        auto blur = MakeBlurProcessor();
        ASSERT_TRUE(RunProcessor(image, *blur, nullptr));
        const auto source = [&](int x, int y) {
            return At(original, std::clamp(x, 0, c.width - 1), std::clamp(y, 0, c.height - 1));
        };
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                Bgra sum{0, 0, 0, 0};
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int weight = (2 - std::abs(dx)) * (2 - std::abs(dy));
                        const Bgra p = source(x + dx, y + dy);
                        sum.b += weight * p.b, sum.g += weight * p.g, sum.r += weight * p.r;
                    }
                const Bgra expected{sum.b / 16, sum.g / 16, sum.r / 16, At(original, x, y).a};
                ASSERT_EQ(At(image, x, y), expected)
                    << c.width << "x" << c.height << "x" << c.depth << " at " << x << "," << y;
            }
    }
}

TEST(Convolution, NegativeKernelOffsetAndDivisor) {
    // An edge kernel: sum / 3 truncated towards zero, then + 10, clamped.
    const int kernel[9] = {0, 0, 0, -1, 1, 0, 0, 0, 0};
    ConvolutionProcessor p(kernel, 3, 3, 10);
    Image image = MakeImage(3, 1, 24);
    test::SetBgra(image, 0, 0, 100, 0, 0);
    test::SetBgra(image, 1, 0, 95, 0, 0);
    test::SetBgra(image, 2, 0, 200, 0, 0);
    RunProcessor(image, p, nullptr);
    EXPECT_EQ(At(image, 0, 0).b, 10);                   // 0 / 3 + 10
    EXPECT_EQ(At(image, 1, 0).b, 9);                    // -5 / 3 = -1
    EXPECT_EQ(At(image, 2, 0).b, 45);                   // 105 / 3 = 35
    ConvolutionProcessor zeroDivisor(kernel, 3, 0, 0);  // divisor raised to 1
    Image again = MakeImage(2, 1, 24);
    test::SetBgra(again, 1, 0, 7, 0, 0);
    RunProcessor(again, zeroDivisor, nullptr);
    EXPECT_EQ(At(again, 1, 0).b, 7);
}

TEST(Convolution, NullKernelKeepsThePreviousOne) {
    const int kernel[1] = {2};
    ConvolutionProcessor p(kernel, 1, 1, 0);
    p.SetKernel(nullptr, 3);
    p.SetKernel(kernel, 0);
    Image image = MakeImage(1, 1, 24);
    test::SetBgra(image, 0, 0, 7, 8, 200);
    RunProcessor(image, p, nullptr);
    EXPECT_EQ(At(image, 0, 0), (Bgra{14, 16, 255, 255}));
}

TEST(Grid, CellOneOrDepthZeroChangeNothing) {
    for (auto [cell, depth] : {std::pair{1, 50}, std::pair{6, 0}, std::pair{0, 50}}) {
        Image image = RandomImage(13, 13, 32, 3);
        const Image original = image;
        GridProcessor p(cell, depth);
        RunProcessor(image, p, nullptr);
        EXPECT_TRUE(SamePixels(image, original)) << cell << " " << depth;
    }
}

TEST(Grid, RaisedTileLines) {
    Image image = MakeImage(12, 12, 24);
    test::Fill(image, 100, 100, 100);
    GridProcessor p(6, 10);
    RunProcessor(image, p, nullptr);
    struct Case {
        int x, y, value;
    } cases[] = {
        {2, 1, 90},   // one inside the top edge: darker
        {2, 4, 110},  // (y + 2) % 6 == 0: lighter
        {1, 2, 110},  // one inside the left edge: lighter
        {4, 3, 90},   // (x + 2) % 6 == 0: darker
        {1, 1, 90},   // the top line wins over the left one
        {0, 0, 100}, {5, 5, 100}, {0, 3, 100}, {3, 0, 100}, {8, 7, 90}, {7, 9, 110},
    };
    for (const Case& c : cases) EXPECT_EQ(At(image, c.x, c.y).r, c.value) << c.x << "," << c.y;
}

// Each processor, run by the driver with its row loops, gives the same bytes as the plain per-pixel
// calls, at 24 and 32 bits, including ties and clamping.
TEST(Filters, RowLoopsMatchPerPixelCalls) {
    using Factory = std::function<std::unique_ptr<PixelProcessor>()>;
    const int sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    const int wide[25] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 2, 3, 2, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 1};
    const int even[4] = {1, -2, 3, 1};
    const int bright[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    const std::vector<std::pair<const char*, Factory>> factories = {
        {"noise", [] { return std::make_unique<UniformNoiseProcessor>(150); }},
        {"blot", [] { return std::make_unique<GaussianNoiseProcessor>(60); }},
        {"emboss", [] { return std::make_unique<EmbossProcessor>(4); }},
        {"oil1", [] { return std::make_unique<OilPaintProcessor>(1); }},
        {"oil3", [] { return std::make_unique<OilPaintProcessor>(3); }},
        {"splash", [] { return std::make_unique<SplashProcessor>(7); }},
        {"halftone", [] { return std::make_unique<HalftoneProcessor>(); }},
        {"blur", [] { return MakeBlurProcessor(); }},
        {"sharpen", [&] { return std::make_unique<ConvolutionProcessor>(sharpen, 3, 1, 0); }},
        {"wide", [&] { return std::make_unique<ConvolutionProcessor>(wide, 5, 37, -3); }},
        {"even", [&] { return std::make_unique<ConvolutionProcessor>(even, 2, 2, 1); }},
        // A power-of-two divisor with an offset: sums over 255 and below 0 both clamp.
        {"bright", [&] { return std::make_unique<ConvolutionProcessor>(bright, 3, 8, -20); }},
        {"huge",
         [&] {
             const int big[1] = {1 << 30};
             return std::make_unique<ConvolutionProcessor>(big, 1, 1 << 29, 0);
         }},
        {"grid", [] { return std::make_unique<GridProcessor>(5, 40); }},
    };
    // 1601 pixels make more than one of the convolution's cache-sized blocks per row; 300 rows make
    // several row bands, whose edge lines the convolution keeps before they change.
    struct Size {
        int width, height, levels;
    };
    for (const auto& [name, make] : factories) {
        for (int depth : {24, 32}) {
            for (const Size size : {Size{23, 17, 0}, Size{23, 17, 3}, Size{1601, 17, 0}, Size{29, 300, 0}}) {
                const int levels = size.levels;
                Image a = RandomImage(size.width, size.height, depth, 11, levels);
                Image b = a;
                auto pa = make();
                auto pb = make();
                SeedRandom(77);
                ASSERT_TRUE(RunProcessor(a, *pa, nullptr)) << name;
                SeedRandom(77);
                test::RunPerPixel(b, *pb);
                EXPECT_TRUE(SamePixels(a, b)) << name << " " << depth << " " << levels;
                // The same processor again on another picture starts afresh.
                Image c = RandomImage(size.width, size.height, depth, 12, levels);
                Image d = c;
                auto pd = make();
                SeedRandom(78);
                ASSERT_TRUE(RunProcessor(c, *pa, nullptr)) << name;
                SeedRandom(78);
                ASSERT_TRUE(RunProcessor(d, *pd, nullptr)) << name;
                EXPECT_TRUE(SamePixels(c, d)) << name << " again " << depth;
            }
        }
    }
    for (int block : {2, 3, 5, 40}) {
        Image a = RandomImage(23, 17, 32, 12);
        Image b = a;
        MosaicProcessor pa(block), pb(block);
        RunProcessor(a, pa, nullptr);
        test::RunPerPixel(b, pb);
        EXPECT_TRUE(SamePixels(a, b)) << block;
    }
}

}  // namespace
}  // namespace glimmora
