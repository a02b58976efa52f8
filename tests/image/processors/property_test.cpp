// Properties that hold for every processor and every pixel depth.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"
#include "image/processors/test_util.h"

namespace glimmora {
namespace {

using Factory = std::function<std::unique_ptr<PixelProcessor>()>;

std::vector<std::pair<const char*, Factory>> AllProcessors() {
    return {
        {"rotate90", [] { return std::make_unique<Rotate90Processor>(); }},
        {"rotate270", [] { return std::make_unique<Rotate270Processor>(); }},
        {"flip-h", [] { return std::make_unique<FlipHorizontalProcessor>(); }},
        {"flip-v", [] { return std::make_unique<FlipVerticalProcessor>(); }},
        {"rotate", [] { return std::make_unique<RotateProcessor>(45); }},
        {"fill", [] { return std::make_unique<FillColourProcessor>(0x123456u, 7); }},
        {"brightness", [] { return std::make_unique<BrightnessProcessor>(120); }},
        {"contrast", [] { return std::make_unique<ContrastProcessor>(80); }},
        {"invert", [] { return std::make_unique<InvertProcessor>(); }},
        {"posterize", [] { return std::make_unique<PosterizeProcessor>(3); }},
        {"hue-saturation", [] { return std::make_unique<HueSaturationProcessor>(30, 170); }},
        {"rgb", [] { return std::make_unique<RgbOffsetProcessor>(5, -5, 60); }},
        {"levels", [] { return std::make_unique<LevelsProcessor>(false, 10, 240, kMaskAll); }},
        {"auto-levels", [] { return std::make_unique<LevelsProcessor>(true, 0, 255, kMaskAll); }},
        {"tone", [] { return std::make_unique<ColourToneProcessor>(254, 168, 33); }},
        {"grey", [] { return std::make_unique<GreyProcessor>(); }},
        {"noise", [] { return std::make_unique<UniformNoiseProcessor>(100); }},
        {"blot", [] { return std::make_unique<GaussianNoiseProcessor>(50); }},
        {"emboss", [] { return std::make_unique<EmbossProcessor>(2); }},
        {"oil-paint", [] { return std::make_unique<OilPaintProcessor>(2); }},
        {"splash", [] { return std::make_unique<SplashProcessor>(5); }},
        {"mosaic", [] { return std::make_unique<MosaicProcessor>(10); }},
        {"halftone", [] { return std::make_unique<HalftoneProcessor>(); }},
        {"blur", [] { return MakeBlurProcessor(); }},
        {"grid", [] { return std::make_unique<GridProcessor>(64, 50); }},
    };
}

TEST(EveryProcessor, OnePixelImageSurvivesAtEveryDepth) {
    for (const auto& [name, make] : AllProcessors()) {
        for (int depth : {1, 4, 8, 16, 24, 32}) {
            Image image = test::RandomImage(1, 1, depth, 3);
            const Image original = image;
            auto p = make();
            if (RunProcessor(image, *p, nullptr)) {
                EXPECT_TRUE(image.IsValid()) << name << " " << depth;
                EXPECT_EQ(image.Width(), 1) << name << " " << depth;
                EXPECT_EQ(image.Height(), 1) << name << " " << depth;
                EXPECT_EQ(image.Depth(), depth) << name;
            } else {
                EXPECT_TRUE(test::SamePixels(image, original)) << name << " " << depth;
            }
        }
    }
}

TEST(EveryProcessor, RejectedImagesStayExactlyAsTheyWere) {
    for (const auto& [name, make] : AllProcessors()) {
        for (int depth : {1, 4, 8, 16, 24, 32}) {
            Image image = test::RandomImage(5, 4, depth, 8);
            image.SetPosition(3, 4);
            const Image original = image;
            auto p = make();
            if (RunProcessor(image, *p, nullptr)) continue;
            EXPECT_TRUE(test::SamePixels(image, original)) << name << " " << depth;
            EXPECT_EQ(image.PositionX(), 3);
        }
    }
}

TEST(EveryProcessor, AnEmptyImageIsRejected) {
    for (const auto& [name, make] : AllProcessors()) {
        Image empty;
        auto p = make();
        EXPECT_FALSE(RunProcessor(empty, *p, nullptr)) << name;
    }
}

TEST(EveryProcessor, RunsTwiceOnDifferentImages) {
    // A processor object may be run on a preview and then on the document image.
    for (const auto& [name, make] : AllProcessors()) {
        auto p = make();
        Image small = test::RandomImage(6, 5, 32, 1);
        Image large = test::RandomImage(40, 30, 32, 2);
        RunProcessor(small, *p, nullptr);
        EXPECT_TRUE(RunProcessor(large, *p, nullptr)) << name;
        EXPECT_TRUE(large.IsValid());
    }
}

}  // namespace
}  // namespace glimmora
