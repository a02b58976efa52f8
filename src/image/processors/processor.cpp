#include "image/processors/processor.h"

#include "image/processors/pixel_ops.h"

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
        for (int y = 0; y < height; ++y) {
            processor.ProcessRow(image, y, image.Row(y));
            if (progress) {
                progress->SetPercent(static_cast<int>((y + 1) * int64_t{100} / height));
                if (progress->Cancelled()) break;
            }
        }
    }
    processor.OnLeave(image);
    return true;
}

std::array<uint8_t, 4> BilinearSample(double fx, double fy, bool hasAlpha, const uint8_t* p00,
                                      const uint8_t* p10, const uint8_t* p01, const uint8_t* p11) {
    return pixel_ops::Bilinear(fx, fy, hasAlpha, p00, p10, p01, p11);
}

namespace {
// The classic linear congruential generator, 15 bits out of the high half. One per thread, so a
// preview computed off the user-interface thread does not share it with the thumbnail's run.
thread_local uint32_t g_randomState = 1;
}  // namespace

uint32_t& pixel_ops::RandomState() {
    return g_randomState;
}

void SeedRandom(uint32_t seed) {
    g_randomState = seed;
}

void SeedRandomFromTime() {
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
}

int Random() {
    return pixel_ops::NextRandom(g_randomState);
}

}  // namespace glimmora
