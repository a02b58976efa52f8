#include "image/processors/colour.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "image/processors/test_util.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;
using test::MakeImage;
using test::RandomImage;
using test::SamePixels;

// One pixel through a processor; blue, green and red all start at v.
int MapGrey(PixelProcessor& p, int v) {
    Image image = MakeImage(1, 1, 24);
    test::Fill(image, static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
    RunProcessor(image, p, nullptr);
    return At(image, 0, 0).b;
}

// Red, green, blue in; red, green, blue out.
std::array<int, 3> MapRgb(PixelProcessor& p, int r, int g, int b) {
    Image image = MakeImage(1, 1, 32);
    test::SetBgra(image, 0, 0, static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), 77);
    RunProcessor(image, p, nullptr);
    const Bgra out = At(image, 0, 0);
    EXPECT_EQ(out.a, 77);
    return {out.r, out.g, out.b};
}

TEST(Lookup, WorkedValues) {
    struct Case {
        std::unique_ptr<PixelProcessor> p;
        int in, out;
    };
    std::vector<Case> cases;
    auto add = [&](PixelProcessor* p, int in, int out) {
        cases.push_back({std::unique_ptr<PixelProcessor>(p), in, out});
    };
    add(new BrightnessProcessor(150), 200, 255);
    add(new BrightnessProcessor(150), 100, 150);
    add(new BrightnessProcessor(0), 200, 0);
    add(new BrightnessProcessor(-20), 200, 0);  // clamped to 0
    add(new ContrastProcessor(50), 0, 64);
    add(new ContrastProcessor(50), 255, 191);
    add(new ContrastProcessor(200), 100, 72);
    add(new ContrastProcessor(200), 200, 255);
    add(new ContrastProcessor(0), 17, 128);
    add(new ContrastProcessor(150), 127, 127);  // -1.5 truncates towards zero
    add(new InvertProcessor(), 0, 255);
    add(new InvertProcessor(), 100, 155);
    add(new PosterizeProcessor(3), 63, 0);
    add(new PosterizeProcessor(3), 64, 128);
    add(new PosterizeProcessor(3), 200, 255);
    add(new PosterizeProcessor(1), 100, 0);  // raised to 2 levels: black or white
    add(new PosterizeProcessor(1), 128, 255);
    for (Case& c : cases) EXPECT_EQ(MapGrey(*c.p, c.in), c.out) << c.in;
}

TEST(Lookup, HundredPercentIsIdentityAndInvertTwiceRestores) {
    for (int depth : {24, 32}) {
        Image image = RandomImage(17, 5, depth, 21);
        const Image original = image;
        BrightnessProcessor b(100);
        ContrastProcessor c(100);
        RunProcessor(image, b, nullptr);
        RunProcessor(image, c, nullptr);
        EXPECT_TRUE(SamePixels(image, original));
        InvertProcessor inv;
        RunProcessor(image, inv, nullptr);
        EXPECT_FALSE(SamePixels(image, original));
        RunProcessor(image, inv, nullptr);
        EXPECT_TRUE(SamePixels(image, original)) << depth;
    }
}

TEST(Lookup, MaskSelectsChannels) {
    InvertProcessor red(kMaskRed);
    EXPECT_EQ(MapRgb(red, 10, 20, 30), (std::array<int, 3>{245, 20, 30}));
    InvertProcessor greenBlue(kMaskGreen | kMaskBlue);
    EXPECT_EQ(MapRgb(greenBlue, 10, 20, 30), (std::array<int, 3>{10, 235, 225}));
}

TEST(Lookup, RejectsBelowTrueColourUntouched) {
    for (int depth : {1, 4, 8, 16}) {
        Image image = RandomImage(4, 4, depth, 5);
        const Image original = image;
        InvertProcessor inv;
        EXPECT_FALSE(RunProcessor(image, inv, nullptr));
        EXPECT_TRUE(SamePixels(image, original));
    }
}

TEST(Grey, WeightsAndTruncation) {
    GreyProcessor g;
    EXPECT_EQ(MapRgb(g, 255, 0, 0), (std::array<int, 3>{76, 76, 76}));
    EXPECT_EQ(MapRgb(g, 0, 255, 0), (std::array<int, 3>{150, 150, 150}));
    EXPECT_EQ(MapRgb(g, 0, 0, 255), (std::array<int, 3>{28, 28, 28}));
    EXPECT_EQ(MapRgb(g, 255, 255, 255), (std::array<int, 3>{255, 255, 255}));
}

TEST(Grey, FastWeightingAgreesWithDivisionForEveryColour) {
    // Every colour of a 4096-wide image, once, against the plain formula.
    Image image = MakeImage(4096, 4096, 32);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const uint32_t c = static_cast<uint32_t>(y) * 4096 + static_cast<uint32_t>(x);
            test::SetBgra(image, x, y, c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 1);
        }
    GreyProcessor g;
    RunProcessor(image, g, nullptr);
    for (int y = 0; y < 4096; ++y)
        for (int x = 0; x < 4096; ++x) {
            const uint32_t c = static_cast<uint32_t>(y) * 4096 + static_cast<uint32_t>(x);
            const int expected =
                static_cast<int>(((c >> 16) & 0xFF) * 30 + ((c >> 8) & 0xFF) * 59 + (c & 0xFF) * 11) / 100;
            ASSERT_EQ(image.PixelAddress(x, y)[0], expected) << c;
        }
}

TEST(HueSaturation, HundredKeepsGreysAndPrimaries) {
    HueSaturationProcessor p(100, 100);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(MapRgb(p, v, v, v), (std::array<int, 3>{v, v, v})) << v;
    EXPECT_EQ(MapRgb(p, 255, 0, 0), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(MapRgb(p, 0, 255, 0), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(MapRgb(p, 0, 0, 255), (std::array<int, 3>{0, 0, 255}));
    // Other colours go there and back and may lose a step.
    EXPECT_EQ(MapRgb(p, 200, 100, 50), (std::array<int, 3>{200, 99, 49}));
    EXPECT_EQ(MapRgb(p, 123, 45, 67), (std::array<int, 3>{123, 44, 67}));
}

TEST(HueSaturation, ScalesHueAndSaturation) {
    HueSaturationProcessor grey(100, 0);
    EXPECT_EQ(MapRgb(grey, 200, 100, 50), (std::array<int, 3>{125, 125, 125}));
    EXPECT_EQ(MapRgb(grey, 255, 0, 0), (std::array<int, 3>{127, 127, 127}));
    HueSaturationProcessor halfHue(50, 100);
    EXPECT_EQ(MapRgb(halfHue, 0, 255, 0), (std::array<int, 3>{255, 255, 0}));
    EXPECT_EQ(MapRgb(halfHue, 0, 0, 255), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(MapRgb(halfHue, 200, 100, 50), (std::array<int, 3>{200, 74, 49}));
    HueSaturationProcessor more(100, 150);
    EXPECT_EQ(MapRgb(more, 10, 200, 30), (std::array<int, 3>{0, 247, 0}));
    EXPECT_EQ(MapRgb(more, 123, 45, 67), (std::array<int, 3>{142, 25, 58}));
}

TEST(HueSaturation, ConversionValues) {
    const Hls red = RgbToHls(255, 0, 0);
    EXPECT_DOUBLE_EQ(red.hue, 0);
    EXPECT_DOUBLE_EQ(red.lightness, 0.5);
    EXPECT_DOUBLE_EQ(red.saturation, 1);
    const Hls blue = RgbToHls(0, 0, 255);
    EXPECT_DOUBLE_EQ(blue.hue, 4 * 0.16666666666666666);
    // Red minus green negative: the hue wraps round by one.
    const Hls magenta = RgbToHls(255, 0, 128);
    EXPECT_GT(magenta.hue, 0.9);
    EXPECT_LT(magenta.hue, 1);
    const Hls grey = RgbToHls(90, 90, 90);
    EXPECT_EQ(grey.hue, 0);
    EXPECT_EQ(grey.saturation, 0);
    EXPECT_EQ(HlsToBgr(grey), (std::array<uint8_t, 3>{90, 90, 90}));
}

TEST(RgbOffset, AddsAndClamps) {
    RgbOffsetProcessor p(10, -20, 128);
    EXPECT_EQ(MapRgb(p, 250, 10, 100), (std::array<int, 3>{255, 0, 228}));
    EXPECT_EQ(MapRgb(p, 0, 30, 0), (std::array<int, 3>{10, 10, 128}));
}

TEST(Levels, FullRangeKeepsAndEqualLevelsThreshold) {
    Image image = RandomImage(9, 9, 32, 4);
    const Image original = image;
    LevelsProcessor keep(false, 0, 255, kMaskAll);
    RunProcessor(image, keep, nullptr);
    EXPECT_TRUE(SamePixels(image, original));

    LevelsProcessor threshold(false, 100, 100, kMaskAll);
    EXPECT_EQ(MapRgb(threshold, 100, 101, 0), (std::array<int, 3>{0, 255, 0}));
    LevelsProcessor redOnly(false, 100, 100, kMaskRed);
    EXPECT_EQ(MapRgb(redOnly, 100, 101, 0), (std::array<int, 3>{0, 101, 0}));
}

TEST(Levels, StretchesWithRounding) {
    // (v - 50) / 100 * 255: 100 -> 127.5 -> 128; 75 -> 63.75 -> 64; 160 -> 255; 40 -> 0.
    LevelsProcessor p(false, 50, 150, kMaskAll);
    EXPECT_EQ(MapRgb(p, 100, 75, 160), (std::array<int, 3>{128, 64, 255}));
    EXPECT_EQ(MapRgb(p, 40, 50, 150), (std::array<int, 3>{0, 0, 255}));
    LevelsProcessor clamped(false, -5, 400, kMaskAll);
    EXPECT_EQ(MapRgb(clamped, 40, 50, 150), (std::array<int, 3>{40, 50, 150}));
}

TEST(Levels, AutomaticOnUniformColourMakesBlack) {
    Image image = MakeImage(10, 10, 32);
    test::Fill(image, 30, 140, 220, 99);
    LevelsProcessor p(true, 0, 255, kMaskAll);
    RunProcessor(image, p, nullptr);
    EXPECT_EQ(p.Lower(0), 30);
    EXPECT_EQ(p.Upper(0), 30);
    EXPECT_EQ(p.Lower(2), 220);
    EXPECT_EQ(At(image, 5, 5), (Bgra{0, 0, 0, 99}));
}

TEST(Levels, AutomaticStopsWhereTheNextBinOvershoots) {
    // A ramp of 1000 pixels, about four to a value. From below, 8 pixels (0.8 %) is no nearer to 0.6 %
    // than 4 is, 12 is farther than 8: the lower level is 2. From above likewise 252.
    Image image = MakeImage(1000, 1, 24);
    for (int x = 0; x < 1000; ++x) {
        const auto v = static_cast<uint8_t>(x * 255 / 999);
        test::SetBgra(image, x, 0, v, v, v);
    }
    LevelsProcessor p(true, 0, 255, kMaskAll);
    RunProcessor(image, p, nullptr);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(p.Lower(c), 2);
        EXPECT_EQ(p.Upper(c), 252);
    }
    // 128: (128 - 2) / 250 * 255 = 128.52 -> 129.
    EXPECT_EQ(At(image, 502, 0).b, 129);
    EXPECT_EQ(At(image, 0, 0).b, 0);
    EXPECT_EQ(At(image, 999, 0).b, 255);
}

TEST(Levels, AutomaticWithOneDominantValueThresholdsThere) {
    // Almost every pixel at 100: both levels land on it.
    Image image = MakeImage(1000, 1, 24);
    test::Fill(image, 100, 100, 100);
    for (int x = 0; x < 5; ++x) test::SetBgra(image, x, 0, 0, 0, 0);
    for (int x = 995; x < 1000; ++x) test::SetBgra(image, x, 0, 255, 255, 255);
    LevelsProcessor p(true, 0, 255, kMaskAll);
    RunProcessor(image, p, nullptr);
    EXPECT_EQ(p.Lower(1), 100);
    EXPECT_EQ(p.Upper(1), 100);
    EXPECT_EQ(At(image, 500, 0).g, 0);
    EXPECT_EQ(At(image, 999, 0).g, 255);
}

TEST(ColourTone, DefaultToneByGreyValue) {
    ColourToneProcessor p(254, 168, 33);
    // Grey values 0, 50, 100, 128, 200 (all three channels equal give that grey).
    const int greys[] = {0, 50, 100, 128, 200, 255};
    const std::array<int, 3> expected[] = {{0, 0, 0},    {19, 11, 0},     {78, 47, 0},
                                           {126, 77, 1}, {199, 166, 113}, {254, 254, 255}};
    for (size_t i = 0; i < std::size(greys); ++i)
        EXPECT_EQ(MapRgb(p, greys[i], greys[i], greys[i]), expected[i]) << greys[i];
    // A colour goes by its grey value: (255, 0, 0) has grey 76.
    ColourToneProcessor same(254, 168, 33);
    EXPECT_EQ(MapRgb(same, 255, 0, 0), MapRgb(p, 76, 76, 76));
}

TEST(Colour, AlphaSurvivesEveryProcessor) {
    std::vector<std::unique_ptr<PixelProcessor>> all;
    all.push_back(std::make_unique<BrightnessProcessor>(150));
    all.push_back(std::make_unique<ContrastProcessor>(150));
    all.push_back(std::make_unique<InvertProcessor>());
    all.push_back(std::make_unique<PosterizeProcessor>(4));
    all.push_back(std::make_unique<HueSaturationProcessor>(40, 160));
    all.push_back(std::make_unique<RgbOffsetProcessor>(9, -9, 50));
    all.push_back(std::make_unique<LevelsProcessor>(false, 20, 200, kMaskAll));
    all.push_back(std::make_unique<LevelsProcessor>(true, 0, 255, kMaskAll));
    all.push_back(std::make_unique<ColourToneProcessor>(254, 168, 33));
    all.push_back(std::make_unique<GreyProcessor>());
    for (auto& p : all) {
        Image image = RandomImage(11, 7, 32, 6);
        const Image original = image;
        ASSERT_TRUE(RunProcessor(image, *p, nullptr));
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 11; ++x) ASSERT_EQ(At(image, x, y).a, At(original, x, y).a);
    }
}

// The driver's row loops (vector units where the processor has them) against plain per-pixel calls,
// at widths that leave partial vectors.
TEST(Colour, RowLoopsMatchPerPixelCalls) {
    using Factory = std::function<std::unique_ptr<PixelProcessor>()>;
    const std::vector<Factory> factories = {
        [] { return std::make_unique<InvertProcessor>(kMaskAll); },
        [] { return std::make_unique<InvertProcessor>(kMaskRed); },
        [] { return std::make_unique<InvertProcessor>(kMaskGreen | kMaskBlue); },
        [] { return std::make_unique<BrightnessProcessor>(170); },
        [] { return std::make_unique<ContrastProcessor>(60); },
        [] { return std::make_unique<PosterizeProcessor>(5); },
        [] { return std::make_unique<RgbOffsetProcessor>(30, 0, -70); },
        [] { return std::make_unique<RgbOffsetProcessor>(12, 12, 12); },
        [] { return std::make_unique<LevelsProcessor>(false, 30, 220, kMaskGreen); },
        [] { return std::make_unique<LevelsProcessor>(true, 0, 255, kMaskAll); },
        [] { return std::make_unique<ColourToneProcessor>(20, 200, 90); },
        [] { return std::make_unique<HueSaturationProcessor>(70, 130); },
        [] { return std::make_unique<GreyProcessor>(); },
    };
    for (size_t i = 0; i < factories.size(); ++i) {
        for (int depth : {24, 32}) {
            for (int width : {1, 15, 16, 17, 22, 61}) {
                Image a = RandomImage(width, 3, depth, static_cast<uint32_t>(width + i));
                Image b = a;
                auto pa = factories[i]();
                auto pb = factories[i]();
                RunProcessor(a, *pa, nullptr);
                test::RunPerPixel(b, *pb);
                EXPECT_TRUE(SamePixels(a, b)) << i << " " << depth << " " << width;
            }
        }
    }
}

}  // namespace
}  // namespace glimmora
