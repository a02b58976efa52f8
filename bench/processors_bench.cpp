// Every pixel processor on a 24-megapixel 32-bit picture, against memcpy of the same bytes in the same
// run. Counters: MP/s (megapixels per second) and x_memcpy (time over the memcpy time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"

namespace glimmora {
namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// Smooth gradients with sensor-like noise, opaque.
const Image& Photo() {
    static const Image photo = [] {
        Image img;
        img.Create(kWidth, kHeight, 32);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = img.Row(y);
            for (int x = 0; x < kWidth; ++x, p += 4) {
                seed = seed * 1103515245u + 12345u;
                const int n = static_cast<int>((seed >> 16) & 15) - 8;
                p[0] = static_cast<uint8_t>(std::clamp(x * 255 / kWidth + n, 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(y * 255 / kHeight + n, 0, 255));
                p[2] = static_cast<uint8_t>(std::clamp((x + y) * 255 / (kWidth + kHeight) + n, 0, 255));
                p[3] = 255;
            }
        }
        return img;
    }();
    return photo;
}

using Clock = std::chrono::steady_clock;

// Best of a few copies of the picture's bytes into a buffer that is already mapped.
double MemcpySeconds() {
    static const double seconds = [] {
        const Image& src = Photo();
        std::vector<uint8_t> dst(src.PixelBytes(), 1);
        double best = 1e9;
        for (int i = 0; i < 8; ++i) {
            const auto t0 = Clock::now();
            std::memcpy(dst.data(), src.Bits(), src.PixelBytes());
            benchmark::DoNotOptimize(dst.data());
            best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
        }
        return best;
    }();
    return seconds;
}

void Report(benchmark::State& state, double totalSeconds) {
    const double pixels = static_cast<double>(kWidth) * kHeight * static_cast<double>(state.iterations());
    state.counters["MP/s"] = benchmark::Counter(pixels / 1e6 / totalSeconds);
    state.counters["x_memcpy"] =
        benchmark::Counter(totalSeconds / static_cast<double>(state.iterations()) / MemcpySeconds());
}

void BM_Memcpy(benchmark::State& state) {
    const Image& src = Photo();
    std::vector<uint8_t> dst(src.PixelBytes(), 1);
    double total = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        std::memcpy(dst.data(), src.Bits(), src.PixelBytes());
        benchmark::DoNotOptimize(dst.data());
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        total += s;
    }
    Report(state, total);
}
BENCHMARK(BM_Memcpy)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Times one run on a fresh copy of the picture; the copy is not timed.
void RunOn(benchmark::State& state, const std::function<void(Image&)>& run) {
    const Image& src = Photo();
    Image work;
    double total = 0;
    for (auto _ : state) {
        work.CopyFrom(src);
        const auto t0 = Clock::now();
        run(work);
        benchmark::DoNotOptimize(work.Bits());
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(s);
        total += s;
    }
    Report(state, total);
}

template <typename Make>
void Processor(benchmark::State& state, Make make) {
    RunOn(state, [&](Image& image) {
        std::unique_ptr<PixelProcessor> p = make();
        RunProcessor(image, *p, nullptr);
    });
}

#define PROCESSOR_BENCH(name, expr)                                             \
    void BM_##name(benchmark::State& state) {                                   \
        Processor(state, [] { return std::unique_ptr<PixelProcessor>(expr); }); \
    }                                                                           \
    BENCHMARK(BM_##name)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5)

PROCESSOR_BENCH(Invert, new InvertProcessor(kMaskAll));
PROCESSOR_BENCH(Brightness, new BrightnessProcessor(130));
PROCESSOR_BENCH(Contrast, new ContrastProcessor(130));
PROCESSOR_BENCH(Posterize, new PosterizeProcessor(3));
PROCESSOR_BENCH(Grey, new GreyProcessor());
PROCESSOR_BENCH(RgbOffset, new RgbOffsetProcessor(10, -10, 20));
PROCESSOR_BENCH(Levels, new LevelsProcessor(false, 20, 230, kMaskAll));
PROCESSOR_BENCH(AutoLevels, new LevelsProcessor(true, 0, 255, kMaskAll));
PROCESSOR_BENCH(ColourTone, new ColourToneProcessor(254, 168, 33));
PROCESSOR_BENCH(HueSaturation, new HueSaturationProcessor(120, 130));
PROCESSOR_BENCH(FillColour, new FillColourProcessor(0x336699u, 255));
PROCESSOR_BENCH(Rotate90, new Rotate90Processor());
PROCESSOR_BENCH(Rotate270, new Rotate270Processor());
PROCESSOR_BENCH(FlipHorizontal, new FlipHorizontalProcessor());
PROCESSOR_BENCH(FlipVertical, new FlipVerticalProcessor());
PROCESSOR_BENCH(Rotate45, new RotateProcessor(45));
PROCESSOR_BENCH(UniformNoise, new UniformNoiseProcessor(100));
PROCESSOR_BENCH(GaussianNoise, new GaussianNoiseProcessor(50));
PROCESSOR_BENCH(Emboss, new EmbossProcessor(2));
PROCESSOR_BENCH(OilPaint, new OilPaintProcessor(2));
PROCESSOR_BENCH(Splash, new SplashProcessor(5));
PROCESSOR_BENCH(Mosaic, new MosaicProcessor(10));
PROCESSOR_BENCH(Halftone, new HalftoneProcessor());
PROCESSOR_BENCH(Blur, MakeBlurProcessor().release());
PROCESSOR_BENCH(Grid, new GridProcessor(64, 50));

void BM_ResizeNearestHalf(benchmark::State& state) {
    RunOn(state, [](Image& image) { ResizeNearest(image, kWidth / 2, kHeight / 2); });
}
BENCHMARK(BM_ResizeNearestHalf)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

void BM_ResizeBilinearHalf(benchmark::State& state) {
    RunOn(state, [](Image& image) { ResizeBilinear(image, kWidth / 2, kHeight / 2, nullptr); });
}
BENCHMARK(BM_ResizeBilinearHalf)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace
}  // namespace glimmora

BENCHMARK_MAIN();
