#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/processors/filters.h"
#include "image/processors/geometry.h"
#include "image/processors/processor.h"
#include "image/processors/test_util.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;
using test::MakeImage;

// Records every call the driver makes.
class Recorder : public PixelProcessor {
  public:
    explicit Recorder(bool accept, int kind = kProcessPerPixel) : accept_(accept), kind_(kind) {}
    bool ValidateImage(const Image&) override {
        calls.push_back("validate");
        return accept_;
    }
    int ProcessKind() const override { return kind_; }
    void OnEnter(Image&) override { calls.push_back("enter"); }
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override {
        visits.emplace_back(x, y);
        addressesMatch = addressesMatch && pixel == image.PixelAddress(x, y);
    }
    void ProcessWholeImage(Image&, ProgressSink* progress) override {
        calls.push_back(progress ? "whole+progress" : "whole");
    }
    void OnLeave(Image&) override { calls.push_back("leave"); }

    std::vector<std::string> calls;
    std::vector<std::pair<int, int>> visits;
    bool addressesMatch = true;

  private:
    bool accept_;
    int kind_;
};

class ProgressLog : public ProgressSink {
  public:
    void Start() override { events.push_back(-1); }
    void SetPercent(int percent) override { events.push_back(percent); }
    std::vector<int> events;
};

TEST(RunProcessor, VisitsRowsTopDownAndPixelsLeftToRight) {
    Image image = MakeImage(3, 2, 24);
    Recorder r(true);
    EXPECT_TRUE(RunProcessor(image, r, nullptr));
    const std::vector<std::pair<int, int>> order = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}};
    EXPECT_EQ(r.visits, order);
    EXPECT_TRUE(r.addressesMatch);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"validate", "enter", "leave"}));
}

TEST(RunProcessor, ProgressOfTwoHundredRowsInHalfPercentSteps) {
    Image image = MakeImage(2, 200, 32);
    Recorder r(true);
    ProgressLog log;
    RunProcessor(image, r, &log);
    ASSERT_EQ(log.events.size(), 201u);
    EXPECT_EQ(log.events[0], -1);  // Start before the first row
    const std::vector<int> first(log.events.begin() + 1, log.events.begin() + 6);
    EXPECT_EQ(first, (std::vector<int>{0, 1, 1, 2, 2}));
    EXPECT_EQ(log.events.back(), 100);
    for (size_t i = 2; i < log.events.size(); ++i) EXPECT_GE(log.events[i], log.events[i - 1]);
}

TEST(RunProcessor, RejectionCallsNothingElseAndLeavesTheImage) {
    Image image = MakeImage(2, 2, 24);
    test::SetBgra(image, 1, 1, 1, 2, 3);
    const Image before = image;
    Recorder r(false);
    ProgressLog log;
    EXPECT_FALSE(RunProcessor(image, r, &log));
    EXPECT_EQ(r.calls, (std::vector<std::string>{"validate"}));
    EXPECT_TRUE(r.visits.empty());
    EXPECT_TRUE(log.events.empty());
    EXPECT_TRUE(test::SamePixels(image, before));
}

TEST(RunProcessor, WholeImageKindAndUnknownKinds) {
    Image image = MakeImage(4, 4, 24);
    ProgressLog log;
    Recorder whole(true, kProcessWholeImage);
    RunProcessor(image, whole, &log);
    EXPECT_EQ(whole.calls, (std::vector<std::string>{"validate", "enter", "whole+progress", "leave"}));
    EXPECT_TRUE(whole.visits.empty());
    EXPECT_EQ(log.events, std::vector<int>{-1});

    Recorder odd(true, 7);
    RunProcessor(image, odd, nullptr);
    EXPECT_EQ(odd.calls, (std::vector<std::string>{"validate", "enter", "leave"}));
    EXPECT_TRUE(odd.visits.empty());
}

TEST(ImageRules, DepthsAndSizes) {
    struct Case {
        int w, h, depth;
        bool trueColour, bytePixels, alpha, rotatable;
    } cases[] = {
        {2, 2, 1, false, false, false, false}, {2, 2, 4, false, false, false, false},
        {2, 2, 8, false, true, false, false},  {2, 2, 16, false, true, false, false},
        {2, 2, 24, true, true, false, true},   {2, 2, 32, true, true, true, true},
        {1, 5, 32, true, true, true, false},   {5, 1, 24, true, true, false, false},
    };
    for (const Case& c : cases) {
        const Image image = MakeImage(c.w, c.h, c.depth);
        EXPECT_EQ(ImageMeetsRule(image, ImageRule::kTrueColour), c.trueColour) << c.depth;
        EXPECT_EQ(ImageMeetsRule(image, ImageRule::kBytePixels), c.bytePixels) << c.depth;
        EXPECT_EQ(ImageMeetsRule(image, ImageRule::kAlpha), c.alpha) << c.depth;
        EXPECT_EQ(ImageMeetsRule(image, ImageRule::kRotatable), c.rotatable) << c.w << "x" << c.h;
        EXPECT_TRUE(ImageMeetsRule(image, ImageRule::kAny));
    }
    const Image empty;
    for (ImageRule rule : {ImageRule::kTrueColour, ImageRule::kBytePixels, ImageRule::kAlpha,
                           ImageRule::kRotatable, ImageRule::kAny})
        EXPECT_FALSE(ImageMeetsRule(empty, rule));
}

std::array<uint8_t, 4> Sample(double fx, double fy, bool alpha, std::array<uint8_t, 4> a,
                              std::array<uint8_t, 4> b, std::array<uint8_t, 4> c, std::array<uint8_t, 4> d) {
    return BilinearSample(fx, fy, alpha, a.data(), b.data(), c.data(), d.data());
}

TEST(BilinearSample, MixesOpaqueChannelsWithTruncation) {
    // Blue 0 and 255 half-way: 127.5 truncates to 127; the corner below mixes by fy.
    EXPECT_EQ(
        Sample(0.5, 0, true, {0, 10, 20, 255}, {255, 10, 20, 255}, {0, 10, 20, 255}, {255, 10, 20, 255}),
        (std::array<uint8_t, 4>{127, 10, 20, 255}));
    EXPECT_EQ(Sample(0.25, 0.5, false, {0, 0, 0, 9}, {100, 0, 0, 9}, {200, 0, 0, 9}, {200, 0, 0, 9}),
              (std::array<uint8_t, 4>{112, 0, 0, 255}));  // top 25, bottom 200: 112.5
}

TEST(BilinearSample, Shortcuts) {
    // Four equal 32-bit pixels: p00 whole, even when fully transparent.
    EXPECT_EQ(Sample(0.5, 0.5, true, {1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}),
              (std::array<uint8_t, 4>{1, 2, 3, 0}));
    // Without alpha only the colours need to agree, and alpha comes out 255.
    EXPECT_EQ(Sample(0.5, 0.5, false, {1, 2, 3, 7}, {1, 2, 3, 8}, {1, 2, 3, 9}, {1, 2, 3, 10}),
              (std::array<uint8_t, 4>{1, 2, 3, 255}));
    // A tiny fraction takes p00 rather than truncating 199.99999 down to 199.
    EXPECT_EQ(Sample(1e-9, 0, true, {200, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}),
              (std::array<uint8_t, 4>{200, 0, 0, 255}));
}

TEST(BilinearSample, AlphaWeightsTheColours) {
    // Red opaque beside transparent black: the colour stays red, alpha halves.
    EXPECT_EQ(Sample(0.5, 0, true, {0, 0, 200, 255}, {0, 0, 0, 0}, {0, 0, 200, 255}, {0, 0, 0, 0}),
              (std::array<uint8_t, 4>{0, 0, 200, 127}));
    // All four mixing to alpha 0 gives transparent white.
    EXPECT_EQ(Sample(0.9, 0.9, true, {9, 9, 9, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}),
              (std::array<uint8_t, 4>{255, 255, 255, 0}));
}

TEST(BilinearSample, WeightedColourNeverWrapsAbove255) {
    // 14917 / 58 would be 257: kept at 255 instead of wrapping to 1.
    EXPECT_EQ(Sample(0.5, 0, true, {255, 255, 255, 52}, {255, 255, 255, 65}, {255, 255, 255, 52},
                     {255, 255, 255, 65}),
              (std::array<uint8_t, 4>{255, 255, 255, 58}));
}

TEST(Random, RangeAndRepeatability) {
    SeedRandom(12345);
    std::vector<int> first;
    int lowest = kRandomMax, highest = 0;
    for (int i = 0; i < 200000; ++i) {
        const int v = Random();
        if (i < 16) first.push_back(v);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, kRandomMax);
    SeedRandom(12345);
    for (int v : first) EXPECT_EQ(Random(), v);
    SeedRandom(1);
    EXPECT_EQ(Random(), 16838);  // the classic generator's first value for seed 1
}

}  // namespace
}  // namespace glimmora

namespace glimmora {
namespace {

// A picture just inside the bound: every processor that needs a bigger copy of it must say it failed
// and leave it as it was.
TEST(RunProcessor, CopiesPastTheBoundFailAndLeaveThePicture) {
    Image image;
    ASSERT_TRUE(image.Create(16384, 21840, 24));
    ASSERT_FALSE(Image::FitsBound(16386, 21842, 24));
    std::vector<std::unique_ptr<PixelProcessor>> processors;
    processors.push_back(std::make_unique<RotateProcessor>(45));
    processors.push_back(std::make_unique<OilPaintProcessor>(1));
    // Sums beyond 32 bits take the convolution to its whole edge-expanded copy (the blur keeps lines).
    const int heavy[9] = {0, 0, 0, 0, 1 << 30, 0, 0, 0, 3};
    processors.push_back(std::make_unique<ConvolutionProcessor>(heavy, 3, 1, 0));
    for (auto& processor : processors) {
        EXPECT_FALSE(RunProcessor(image, *processor, nullptr));
        EXPECT_TRUE(processor->PreparationFailed());
        EXPECT_EQ(image.Width(), 16384);
        EXPECT_EQ(image.Height(), 21840);
        EXPECT_EQ(image.Depth(), 24);
    }
}

}  // namespace
}  // namespace glimmora
