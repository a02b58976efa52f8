#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/pixel_ops.h"
#include "image/processors/processor.h"
#include "image/processors/test_util.h"
#include "image/row_bands.h"

namespace glimmora {
namespace {

// Restores the thread count from the environment when a test ends.
class ThreadCount {
  public:
    explicit ThreadCount(int n) { SetRowBandThreads(n); }
    ~ThreadCount() { SetRowBandThreads(0); }
};

TEST(RandomJump, LandsWhereStepByStepDrawsLand) {
    for (uint32_t seed : {0u, 1u, 77u, 0x80000000u, 0xFFFFFFFFu}) {
        uint32_t stepped = seed;
        uint64_t steps = 0;
        for (uint64_t n : {0ull, 1ull, 2ull, 3ull, 31ull, 1000ull, 65537ull, 1000003ull}) {
            for (; steps < n; ++steps) pixel_ops::NextRandom(stepped);
            EXPECT_EQ(pixel_ops::JumpRandom(seed, n), stepped) << seed << " " << n;
        }
    }
    // The period is 2^32: a full lap comes back to the start.
    EXPECT_EQ(pixel_ops::JumpRandom(12345u, uint64_t{1} << 32), 12345u);
}

// A band that starts mid-picture draws exactly the numbers the one-thread run draws there, and the
// generator ends where the one-thread run leaves it.
TEST(RowBands, RandomProcessorsDrawTheOneThreadSequence) {
    using Factory = std::function<std::unique_ptr<PixelProcessor>()>;
    const std::vector<std::pair<const char*, Factory>> factories = {
        {"noise", [] { return std::make_unique<UniformNoiseProcessor>(200); }},
        {"blot", [] { return std::make_unique<GaussianNoiseProcessor>(80); }},
        {"splash", [] { return std::make_unique<SplashProcessor>(9); }},
    };
    for (const auto& [name, make] : factories) {
        for (int depth : {24, 32}) {
            const Image original = test::RandomImage(41, 29, depth, 5);
            Image serial = original;
            int serialNext = 0;
            {
                ThreadCount one(1);
                auto p = make();
                SeedRandom(2024);
                ASSERT_TRUE(RunProcessor(serial, *p, nullptr));
                serialNext = Random();
            }
            for (int threads : {2, 3, 7}) {
                ThreadCount many(threads);
                Image banded = original;
                auto p = make();
                SeedRandom(2024);
                ASSERT_TRUE(RunProcessor(banded, *p, nullptr));
                EXPECT_TRUE(test::SamePixels(banded, serial)) << name << " " << depth << " " << threads;
                EXPECT_EQ(Random(), serialNext) << name << " " << depth << " " << threads;
            }
        }
    }
}

// Bands on other threads still report on the caller's thread, one call per row, as one thread does.
TEST(RowBands, ProgressComesOnTheCallingThreadRowByRow) {
    class Log : public ProgressSink {
      public:
        void Start() override { events.push_back(-1); }
        void SetPercent(int percent) override {
            events.push_back(percent);
            onCaller = onCaller && std::this_thread::get_id() == caller;
        }
        std::vector<int> events;
        std::thread::id caller = std::this_thread::get_id();
        bool onCaller = true;
    };
    ThreadCount many(7);
    Image image = test::RandomImage(3, 200, 32, 9);
    InvertProcessor invert(kMaskAll);
    Log log;
    ASSERT_TRUE(RunProcessor(image, invert, &log));
    std::vector<int> expected = {-1};
    for (int y = 0; y < 200; ++y) expected.push_back((y + 1) * 100 / 200);
    EXPECT_EQ(log.events, expected);
    EXPECT_TRUE(log.onCaller);
}

}  // namespace
}  // namespace glimmora
