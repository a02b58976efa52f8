#include "image/processors/processor.h"

#include <atomic>

#include "image/processors/pixel_ops.h"
#include "image/row_bands.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace glimmora {

bool ImageMeetsRule(const Image& image, ImageRule rule) {
    if (!image.IsValid()) return false;
    switch (rule) {
        case ImageRule::kTrueColour:
            return image.Depth() >= 24;
        case ImageRule::kBytePixels:
            return image.Depth() >= 8;
        case ImageRule::kAlpha:
            return image.Depth() == 32;
        case ImageRule::kRotatable:
            return image.Depth() >= 24 && image.Width() > 1 && image.Height() > 1;
        case ImageRule::kAny:
            return true;
    }
    return false;
}

PixelProcessor::~PixelProcessor() = default;

void PixelProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    const int width = image.Width();
    const int step = image.Depth() / 8;
    if (step == 0) {
        for (int x = 0; x < width; ++x) ProcessPixel(image, x, y, image.PixelAddress(x, y));
        return;
    }
    for (int x = 0; x < width; ++x, row += step) ProcessPixel(image, x, y, row);
}

void PixelProcessor::TakeSourceCopy(const Image& image) {
    source_.reset();
    if (!image.IsValid()) return;
    source_ = std::make_unique<Image>(image);
    if (!source_->IsValid()) {
        source_.reset();
        MarkPreparationFailed();
    }
}

void PixelProcessor::TakeSourceByMove(Image& image) {
    source_.reset();
    if (!image.IsValid()) return;
    source_ = std::make_unique<Image>(std::move(image));
}

void PixelProcessor::RestoreFromSource(Image& image) {
    MarkPreparationFailed();
    if (!source_ || image.IsValid()) return;
    image = std::move(*source_);
    source_.reset();
}

namespace {
// The classic linear congruential generator, 15 bits out of the high half: the calling thread's state
// (one per thread, so a preview computed off the user-interface thread does not share it with the
// thumbnail's run), or a band's own while a worker works on that band.
thread_local uint32_t g_randomState = 1;
thread_local uint32_t* t_bandRandomState = nullptr;

void RunBands(Image& image, PixelProcessor& processor, int grain, ProgressSink* progress) {
    const int height = image.Height();
    const uint64_t drawsPerRow = static_cast<uint64_t>(std::max(processor.RandomDrawsPerPixel(), 0)) *
                                 static_cast<uint64_t>(image.Width());
    const uint32_t start = g_randomState;
    // Set on the calling thread when the sink asks to stop; the bands leave off at their next row.
    std::atomic<bool> cancelled{false};
    RunRowBands(
        height, grain,
        [&](int begin, int end) {
            uint32_t state = pixel_ops::JumpRandom(start, drawsPerRow * static_cast<uint64_t>(begin));
            uint32_t* const outer = t_bandRandomState;
            if (drawsPerRow != 0) t_bandRandomState = &state;
            for (int y = begin; y < end && !cancelled.load(std::memory_order_relaxed); ++y)
                processor.ProcessRow(image, y, image.Row(y));
            t_bandRandomState = outer;
        },
        [&, reported = 0](int done) mutable {
            if (!progress) return;
            // One call per finished row, as the one-thread loop makes them.
            for (; reported < done; ++reported)
                progress->SetPercent(static_cast<int>((reported + 1) * int64_t{100} / height));
            if (progress->Cancelled()) cancelled.store(true, std::memory_order_relaxed);
        });
    if (drawsPerRow != 0)
        g_randomState = pixel_ops::JumpRandom(start, drawsPerRow * static_cast<uint64_t>(height));
}
}  // namespace

bool RunProcessor(Image& image, PixelProcessor& processor, ProgressSink* progress) {
    processor.preparationFailed_ = false;
    if (!processor.ValidateImage(image)) return false;
    processor.OnEnter(image);
    if (processor.preparationFailed_) {
        processor.OnLeave(image);
        return false;
    }
    if (progress) progress->Start();
    const int kind = processor.ProcessKind();
    if (kind == kProcessWholeImage) {
        processor.ProcessWholeImage(image, progress);
    } else if (kind == kProcessPerPixel && image.IsValid()) {
        const int64_t height = image.Height();
        const int grain = processor.BandGrain();
        if (grain <= 0) {
            for (int y = 0; y < height; ++y) {
                processor.ProcessRow(image, y, image.Row(y));
                if (progress) {
                    progress->SetPercent(static_cast<int>((y + 1) * int64_t{100} / height));
                    if (progress->Cancelled()) break;
                }
            }
        } else {
            RunBands(image, processor, grain, progress);
        }
    }
    processor.OnLeave(image);
    return true;
}

std::array<uint8_t, 4> BilinearSample(double fx, double fy, bool hasAlpha, const uint8_t* p00,
                                      const uint8_t* p10, const uint8_t* p01, const uint8_t* p11) {
    return pixel_ops::Bilinear(fx, fy, hasAlpha, p00, p10, p01, p11);
}

uint32_t& pixel_ops::RandomState() {
    return t_bandRandomState ? *t_bandRandomState : g_randomState;
}

void SeedRandom(uint32_t seed) {
    g_randomState = seed;
}

void SeedRandomFromTime() {
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
}

int Random() {
    return pixel_ops::NextRandom(pixel_ops::RandomState());
}

}  // namespace glimmora
