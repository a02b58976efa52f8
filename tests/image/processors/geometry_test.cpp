#include "image/processors/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include "image/processors/test_util.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;
using test::MakeImage;
using test::RandomImage;
using test::SamePixels;

constexpr int kByteDepths[] = {8, 16, 24, 32};

TEST(QuarterTurn, ThreeByTwoClockwise) {
    // a b c      d a
    // d e f  ->  e b
    //            f c
    Image image = MakeImage(3, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) test::SetBgra(image, x, y, static_cast<uint8_t>(10 * y + x), 0, 0);
    Rotate90Processor r90;
    ASSERT_TRUE(RunProcessor(image, r90, nullptr));
    ASSERT_EQ(image.Width(), 2);
    ASSERT_EQ(image.Height(), 3);
    const int expected[3][2] = {{10, 0}, {11, 1}, {12, 2}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(At(image, x, y).b, expected[y][x]) << x << "," << y;
}

TEST(QuarterTurn, ThreeByTwoCounterClockwise) {
    // a b c      c f
    // d e f  ->  b e
    //            a d
    Image image = MakeImage(3, 2, 32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) test::SetBgra(image, x, y, static_cast<uint8_t>(10 * y + x), 0, 0);
    Rotate270Processor r270;
    ASSERT_TRUE(RunProcessor(image, r270, nullptr));
    const int expected[3][2] = {{2, 12}, {1, 11}, {0, 10}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(At(image, x, y).b, expected[y][x]) << x << "," << y;
}

TEST(QuarterTurn, NinetyThenTwoSeventyRestoresEveryByteDepth) {
    for (int depth : kByteDepths) {
        Image image = RandomImage(7, 5, depth, 3);
        const Image original = image;
        Rotate90Processor r90;
        Rotate270Processor r270;
        ASSERT_TRUE(RunProcessor(image, r90, nullptr));
        EXPECT_EQ(image.Width(), 5);
        EXPECT_EQ(image.Depth(), depth);
        ASSERT_TRUE(RunProcessor(image, r270, nullptr));
        EXPECT_TRUE(SamePixels(image, original)) << depth;
    }
}

TEST(QuarterTurn, KeepsPaletteOfEightBitImages) {
    Image image = MakeImage(2, 3, 8);
    const PaletteEntry red{0, 0, 255, 0};
    image.SetPalette(5, 1, &red);
    Rotate90Processor r90;
    RunProcessor(image, r90, nullptr);
    EXPECT_EQ(image.Palette()[5].red, 255);
}

TEST(QuarterTurn, RejectsPaletteDepthsBelowEight) {
    for (int depth : {1, 4}) {
        Image image = MakeImage(3, 2, depth);
        Rotate90Processor r90;
        EXPECT_FALSE(RunProcessor(image, r90, nullptr));
        EXPECT_EQ(image.Width(), 3);
    }
}

TEST(Flip, TwiceIsIdentityAtEveryByteDepth) {
    for (int depth : kByteDepths) {
        for (int w : {1, 4, 5}) {
            Image image = RandomImage(w, 3, depth, 9);
            const Image original = image;
            FlipHorizontalProcessor h;
            FlipVerticalProcessor v;
            RunProcessor(image, h, nullptr);
            if (w > 1) {
                EXPECT_FALSE(SamePixels(image, original)) << depth << " " << w;
            }
            RunProcessor(image, h, nullptr);
            EXPECT_TRUE(SamePixels(image, original)) << depth;
            RunProcessor(image, v, nullptr);
            EXPECT_EQ(0, std::memcmp(image.Row(0), original.Row(2), static_cast<size_t>(w * depth / 8)));
            RunProcessor(image, v, nullptr);
            EXPECT_TRUE(SamePixels(image, original)) << depth;
        }
    }
}

TEST(Flip, MirrorsAndLeavesTheMiddleAlone) {
    Image image = MakeImage(3, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) test::SetBgra(image, x, y, static_cast<uint8_t>(10 * y + x), 0, 0);
    FlipHorizontalProcessor h;
    RunProcessor(image, h, nullptr);
    EXPECT_EQ(At(image, 0, 0).b, 2);
    EXPECT_EQ(At(image, 1, 0).b, 1);
    EXPECT_EQ(At(image, 2, 2).b, 20);
    FlipVerticalProcessor v;
    RunProcessor(image, v, nullptr);
    EXPECT_EQ(At(image, 0, 0).b, 22);
    EXPECT_EQ(At(image, 0, 1).b, 12);
}

TEST(Flip, EveryPixelLandsAtItsMirrorAtVectorSizes) {
    // Widths around the eight-pixel vectors and heights with and without a middle line.
    for (int depth : kByteDepths) {
        for (int w : {2, 15, 16, 17, 31, 33, 61}) {
            for (int h : {1, 2, 5, 6}) {
                const Image original = RandomImage(w, h, depth, static_cast<uint32_t>(w * 7 + h));
                Image mirrored = original, flipped = original;
                FlipHorizontalProcessor fh;
                FlipVerticalProcessor fv;
                RunProcessor(mirrored, fh, nullptr);
                RunProcessor(flipped, fv, nullptr);
                const size_t bytes = static_cast<size_t>(depth / 8);
                bool same = true;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* p = original.PixelAddress(x, y);
                        same = same && std::memcmp(mirrored.PixelAddress(w - 1 - x, y), p, bytes) == 0 &&
                               std::memcmp(flipped.PixelAddress(x, h - 1 - y), p, bytes) == 0;
                    }
                EXPECT_TRUE(same) << depth << " " << w << "x" << h;
            }
        }
    }
}

TEST(Flip, OnePixelWideImageUnchanged) {
    Image image = RandomImage(1, 6, 24, 4);
    const Image original = image;
    FlipHorizontalProcessor h;
    RunProcessor(image, h, nullptr);
    EXPECT_TRUE(SamePixels(image, original));
}

TEST(RotatePoint, TurnsClockwiseWithYDownAndRoundsHalvesAway) {
    const double quarter = 90 * 0.017453292519943295;
    const IntPoint p = RotateProcessor::RotatePoint(1, 0, 0, 0, quarter);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 1);
    // A half turn maps x to 2 cx - x: 0.5 and -0.5 both round away from zero.
    EXPECT_EQ(RotateProcessor::RotatePoint(0, 0, 0.25, 0, M_PI).x, 1);
    EXPECT_EQ(RotateProcessor::RotatePoint(0, 0, -0.25, 0, M_PI).x, -1);
    EXPECT_EQ(RotateProcessor::RotatePoint(0, 0, -0.25, 0, M_PI).y, 0);
}

TEST(Rotate, AngleZeroAndFullTurnKeepSize) {
    for (int angle : {0, 360, -360, 720}) {
        Image image = RandomImage(6, 4, 32, 5);
        const Image original = image;
        RotateProcessor r(angle);
        EXPECT_EQ(r.Degrees(), 0);
        ASSERT_TRUE(RunProcessor(image, r, nullptr));
        ASSERT_EQ(image.Width(), 6);
        ASSERT_EQ(image.Height(), 4);
        // Inside, every sample falls on a source pixel. The last column and row sample at most
        // width - 1.1 and height - 1.1, which mixes in a tenth of their neighbour.
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(At(image, x, y), At(original, x, y)) << angle;
    }
}

TEST(Rotate, NinetyOnHundredByFifty) {
    Image image = MakeImage(100, 50, 24);
    test::Fill(image, 10, 20, 30);
    RotateProcessor r(90);
    ASSERT_TRUE(RunProcessor(image, r, nullptr));
    EXPECT_EQ(image.Width(), 50);
    EXPECT_EQ(image.Height(), 100);
    EXPECT_EQ(At(image, 25, 50), (Bgra{10, 20, 30, 255}));
}

TEST(Rotate, CornersOutsideStayTransparentBlack) {
    Image image = MakeImage(20, 20, 32);
    test::Fill(image, 50, 60, 70, 255);
    RotateProcessor r(45);
    ASSERT_TRUE(RunProcessor(image, r, nullptr));
    EXPECT_GT(image.Width(), 20);
    EXPECT_EQ(image.Width(), image.Height());
    EXPECT_EQ(At(image, 0, 0), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(At(image, image.Width() - 1, image.Height() - 1), (Bgra{0, 0, 0, 0}));
    EXPECT_EQ(At(image, image.Width() / 2, image.Height() / 2), (Bgra{50, 60, 70, 255}));
    Image rgb = MakeImage(20, 20, 24);
    test::Fill(rgb, 50, 60, 70);
    RunProcessor(rgb, r, nullptr);
    EXPECT_EQ(At(rgb, 0, 0), (Bgra{0, 0, 0, 255}));
}

TEST(Rotate, RejectsOnePixelAndPaletteImages) {
    RotateProcessor r(30);
    Image one = MakeImage(1, 1, 32);
    EXPECT_FALSE(RunProcessor(one, r, nullptr));
    Image line = MakeImage(5, 1, 24);
    EXPECT_FALSE(RunProcessor(line, r, nullptr));
    Image pal = MakeImage(5, 5, 8);
    EXPECT_FALSE(RunProcessor(pal, r, nullptr));
    EXPECT_EQ(pal.Width(), 5);
}

// 4 x 15 and 3 x 14 turned by 90 degrees sample on half pixels, the other cases on whole ones.
TEST(Rotate, RowPathMatchesPerPixelMapping) {
    for (auto [w, h] : {std::pair{13, 9}, std::pair{8, 6}, std::pair{2, 2}, std::pair{7, 12},
                        std::pair{41, 29}, std::pair{4, 15}, std::pair{3, 14}})
        for (int angle : {1, 17, 45, 90, 133, 180, 200, 271, 359}) {
            for (int depth : {24, 32, 33, 34}) {
                // 33: a 32-bit picture with every alpha 255, which takes the opaque shortcuts; 34: opaque
                // but for a scattering of translucent pixels, so that opaque and translucent neighbours mix.
                Image a = RandomImage(w, h, std::min(depth, 32), static_cast<uint32_t>(angle));
                if (depth >= 33) a.SetAlphaAll(255);
                if (depth == 34)
                    for (int y = 0; y < h; ++y)
                        for (int x = (y * 7) % 5; x < w; x += 5)
                            a.PixelAddress(x, y)[3] = static_cast<uint8_t>(x * 9);
                Image b = a;
                RotateProcessor r1(angle), r2(angle);
                RunProcessor(a, r1, nullptr);
                test::RunPerPixel(b, r2);
                EXPECT_TRUE(SamePixels(a, b)) << angle << " " << depth;
            }
        }
}

TEST(ResizeNearest, FourByFourToTwoByTwo) {
    Image image = MakeImage(4, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) test::SetBgra(image, x, y, static_cast<uint8_t>(10 * y + x), 0, 0);
    ASSERT_TRUE(ResizeNearest(image, 2, 2));
    EXPECT_EQ(At(image, 0, 0).b, 0);
    EXPECT_EQ(At(image, 1, 0).b, 2);
    EXPECT_EQ(At(image, 0, 1).b, 20);
    EXPECT_EQ(At(image, 1, 1).b, 22);
}

TEST(ResizeNearest, UpscalesEveryByteDepthAndRefusesNoOps) {
    for (int depth : kByteDepths) {
        Image image = RandomImage(3, 2, depth, 1);
        const Image original = image;
        ASSERT_TRUE(ResizeNearest(image, 6, 4));
        const int bytes = depth / 8;
        EXPECT_EQ(0, std::memcmp(image.PixelAddress(5, 3), original.PixelAddress(2, 1), bytes)) << depth;
        EXPECT_EQ(0, std::memcmp(image.PixelAddress(2, 1), original.PixelAddress(1, 0), bytes)) << depth;
    }
    Image image = RandomImage(3, 2, 24, 1);
    const Image original = image;
    EXPECT_FALSE(ResizeNearest(image, 3, 2));
    EXPECT_FALSE(ResizeNearest(image, 0, 2));
    EXPECT_FALSE(ResizeNearest(image, 3, -1));
    EXPECT_TRUE(SamePixels(image, original));
    Image bits = MakeImage(8, 8, 4);
    EXPECT_FALSE(ResizeNearest(bits, 4, 4));
}

TEST(ResizeBilinear, OnePixelToThreeByThreeIsUniform) {
    for (int depth : {24, 32}) {
        Image image = MakeImage(1, 1, depth);
        test::SetBgra(image, 0, 0, 10, 20, 30, 40);
        ASSERT_TRUE(ResizeBilinear(image, 3, 3, nullptr));
        ASSERT_EQ(image.Width(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(At(image, x, y), (Bgra{10, 20, 30, depth == 32 ? 40 : 255})) << depth;
    }
}

TEST(ResizeBilinear, UniformNeighboursCopyExactlyAlphaIncluded) {
    Image image = MakeImage(5, 4, 32);
    test::Fill(image, 1, 2, 3, 4);
    ASSERT_TRUE(ResizeBilinear(image, 13, 7, nullptr));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) ASSERT_EQ(At(image, x, y), (Bgra{1, 2, 3, 4}));
}

TEST(ResizeBilinear, HalfWayColumnsAndProgress) {
    // Two columns 0 and 200 widened to four: x = 1 samples at fx 2/4; x = 2 and 3 fall on the last
    // column and take the last pair at fx 3/4.
    Image image = MakeImage(2, 2, 24);
    for (int y = 0; y < 2; ++y) {
        test::SetBgra(image, 0, y, 0, 0, 0);
        test::SetBgra(image, 1, y, 200, 0, 0);
    }
    class Log : public ProgressSink {
      public:
        void Start() override { events.push_back(-1); }
        void SetPercent(int p) override { events.push_back(p); }
        std::vector<int> events;
    } log;
    ASSERT_TRUE(ResizeBilinear(image, 4, 2, &log));
    EXPECT_EQ(At(image, 0, 0).b, 0);
    EXPECT_EQ(At(image, 1, 0).b, 100);
    EXPECT_EQ(At(image, 2, 0).b, 150);
    EXPECT_EQ(At(image, 3, 0).b, 150);
    EXPECT_EQ(log.events, (std::vector<int>{-1, 0, 50}));
}

TEST(ResizeBilinear, RefusesPaletteDepthsAndNoOps) {
    Image pal = MakeImage(4, 4, 8);
    EXPECT_FALSE(ResizeBilinear(pal, 2, 2, nullptr));
    Image image = RandomImage(4, 4, 32, 2);
    EXPECT_FALSE(ResizeBilinear(image, 4, 4, nullptr));
    EXPECT_FALSE(ResizeBilinear(image, -4, 4, nullptr));
    EXPECT_EQ(image.Width(), 4);
}

TEST(FillColour, ColourAndOptionalAlpha) {
    Image image = RandomImage(3, 2, 32, 8);
    const Bgra before = At(image, 2, 1);
    FillColourProcessor keep(0x00332211u);  // red 0x11, green 0x22, blue 0x33
    RunProcessor(image, keep, nullptr);
    EXPECT_EQ(At(image, 2, 1), (Bgra{0x33, 0x22, 0x11, before.a}));
    FillColourProcessor withAlpha(0x00332211u, 300);
    RunProcessor(image, withAlpha, nullptr);
    EXPECT_EQ(At(image, 0, 0), (Bgra{0x33, 0x22, 0x11, 255}));
    Image rgb = MakeImage(2, 2, 24);
    FillColourProcessor white(0x00FFFFFFu, 0);
    RunProcessor(rgb, white, nullptr);
    EXPECT_EQ(At(rgb, 1, 1), (Bgra{255, 255, 255, 255}));
    Image pal = MakeImage(2, 2, 8);
    EXPECT_FALSE(RunProcessor(pal, white, nullptr));
}

}  // namespace
}  // namespace glimmora
