#include "image/processors/processor.h"

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
    if (!source_->IsValid()) source_.reset();
}

void PixelProcessor::TakeSourceByMove(Image& image) {
    source_.reset();
    if (!image.IsValid()) return;
    source_ = std::make_unique<Image>(std::move(image));
}

void PixelProcessor::RestoreFromSource(Image& image) {
    if (!source_ || image.IsValid()) return;
    image = std::move(*source_);
    source_.reset();
}

bool RunProcessor(Image& image, PixelProcessor& processor, ProgressSink* progress) {
    if (!processor.ValidateImage(image)) return false;
    processor.OnEnter(image);
    if (progress) progress->Start();
    const int kind = processor.ProcessKind();
    if (kind == kProcessWholeImage) {
        processor.ProcessWholeImage(image, progress);
    } else if (kind == kProcessPerPixel && image.IsValid()) {
        const int64_t height = image.Height();
        for (int y = 0; y < height; ++y) {
            processor.ProcessRow(image, y, image.Row(y));
            if (progress) progress->SetPercent(static_cast<int>((y + 1) * int64_t{100} / height));
        }
    }
    processor.OnLeave(image);
    return true;
}

namespace {
constexpr double kTinyFraction = 1.1920929e-7;  // 2^-23

inline int Mix(int a, int b, int c, int d, double fx, double fy) {
    const double top = a + (b - a) * fx;
    const double bottom = c + (d - c) * fx;
    return static_cast<int>(top + (bottom - top) * fy);
}
}  // namespace

std::array<uint8_t, 4> BilinearSample(double fx, double fy, bool hasAlpha, const uint8_t* p00,
                                      const uint8_t* p10, const uint8_t* p01, const uint8_t* p11) {
    std::array<uint8_t, 4> out = {255, 255, 255, 255};
    const size_t n = hasAlpha ? 4 : 3;
    bool same = true;
    for (size_t i = 0; i < n; ++i) same = same && p00[i] == p10[i] && p00[i] == p01[i] && p00[i] == p11[i];
    if (same || (fx < kTinyFraction && fy < kTinyFraction)) {
        std::memcpy(out.data(), p00, n);
        return out;
    }
    if (hasAlpha && (p00[3] & p10[3] & p01[3] & p11[3]) != 255) {
        const int alpha = Mix(p00[3], p10[3], p01[3], p11[3], fx, fy);
        if (alpha == 0) {
            out[3] = 0;
            return out;
        }
        for (size_t c = 0; c < 3; ++c) {
            const int v = Mix(p00[c] * p00[3], p10[c] * p10[3], p01[c] * p01[3], p11[c] * p11[3], fx, fy);
            // The truncated alpha can be smaller than the weights behind the mix: keep the byte in range.
            out[c] = static_cast<uint8_t>(std::min(v / alpha, 255));
        }
        out[3] = static_cast<uint8_t>(alpha);
        return out;
    }
    for (size_t c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(Mix(p00[c], p10[c], p01[c], p11[c], fx, fy));
    return out;
}

namespace {
// The classic linear congruential generator, 15 bits out of the high half.
uint32_t g_randomState = 1;
}  // namespace

void SeedRandom(uint32_t seed) {
    g_randomState = seed;
}

void SeedRandomFromTime() {
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
}

int Random() {
    g_randomState = g_randomState * 1103515245u + 12345u;
    return static_cast<int>((g_randomState >> 16) & 0x7FFF);
}

}  // namespace glimmora
