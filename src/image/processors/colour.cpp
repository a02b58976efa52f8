#include "image/processors/colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/processors/pixel_ops.h"
#include "image/processors/simd_rows.h"

namespace glimmora {

using pixel_ops::Clamp255;
using pixel_ops::Grey;
using pixel_ops::RoundHalfAway;

namespace {
using ByteTable = std::array<uint8_t, 256>;

// Applies three byte tables (blue, green, red) to a row; alpha stays.
void ApplyTables(uint8_t* row, int width, int bytes, const ByteTable& blue, const ByteTable& green,
                 const ByteTable& red) {
    if (simd_rows::LookupRow(row, static_cast<size_t>(width), bytes, blue.data(), green.data(), red.data()))
        return;
    if (bytes == 4) {
        uint32_t b[256], g[256], r[256];
        for (size_t v = 0; v < 256; ++v) {
            b[v] = blue[v];
            g[v] = static_cast<uint32_t>(green[v]) << 8;
            r[v] = static_cast<uint32_t>(red[v]) << 16;
        }
        for (int x = 0; x < width; ++x, row += 4) {
            uint32_t p;
            std::memcpy(&p, row, 4);
            p = b[p & 0xFF] | g[(p >> 8) & 0xFF] | r[(p >> 16) & 0xFF] | (p & 0xFF000000u);
            std::memcpy(row, &p, 4);
        }
        return;
    }
    for (int x = 0; x < width; ++x, row += bytes) {
        row[0] = blue[row[0]];
        row[1] = green[row[1]];
        row[2] = red[row[2]];
    }
}

// Channel value from a real in 0 to 1: clamp(trunc(v * 255)).
inline uint8_t ChannelByte(double v) {
    const double t = v * 255;
    if (!(t > 0)) return 0;
    if (t >= 255) return 255;
    return static_cast<uint8_t>(static_cast<int>(t));
}
}  // namespace

// ---- table-driven adjustments ----

LookupProcessor::LookupProcessor(int mask, int parameter)
    : parameter_(parameter),
      red_((mask & kMaskRed) != 0),
      green_((mask & kMaskGreen) != 0),
      blue_((mask & kMaskBlue) != 0) {}

bool LookupProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void LookupProcessor::OnEnter(Image& /*image*/) {
    for (int v = 0; v < 256; ++v) table_[static_cast<size_t>(v)] = ChannelFunction(v);
    for (size_t v = 0; v < 256; ++v) bytes_[v] = static_cast<uint8_t>(table_[v]);
    const bool flags[3] = {blue_, green_, red_};
    for (size_t c = 0; c < 3; ++c) {
        for (size_t v = 0; v < 256; ++v) {
            const uint32_t out = flags[c] ? static_cast<uint8_t>(table_[v]) : static_cast<uint32_t>(v);
            shifted_[c][v] = out << (8 * c);
        }
    }
    const int flips = simd_rows::FlippedBits(bytes_.data());
    flipsOnly_ = flips >= 0;
    for (size_t c = 0; c < 3; ++c) flips_[c] = flags[c] && flipsOnly_ ? static_cast<uint8_t>(flips) : 0;
}

void LookupProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    if (blue_) pixel[0] = static_cast<uint8_t>(table_[pixel[0]]);
    if (green_) pixel[1] = static_cast<uint8_t>(table_[pixel[1]]);
    if (red_) pixel[2] = static_cast<uint8_t>(table_[pixel[2]]);
}

void LookupProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    if (flipsOnly_ &&
        simd_rows::FlipBitsRow(row, static_cast<size_t>(width), image.Depth() / 8, flips_.data()))
        return;
    if (simd_rows::LookupRow(row, static_cast<size_t>(width), image.Depth() / 8,
                             blue_ ? bytes_.data() : nullptr, green_ ? bytes_.data() : nullptr,
                             red_ ? bytes_.data() : nullptr))
        return;
    const uint32_t* b = shifted_[0].data();
    const uint32_t* g = shifted_[1].data();
    const uint32_t* r = shifted_[2].data();
    if (image.Depth() == 32) {
        for (int x = 0; x < width; ++x, row += 4) {
            uint32_t p;
            std::memcpy(&p, row, 4);
            p = b[p & 0xFF] | g[(p >> 8) & 0xFF] | r[(p >> 16) & 0xFF] | (p & 0xFF000000u);
            std::memcpy(row, &p, 4);
        }
        return;
    }
    for (int x = 0; x < width; ++x, row += 3) {
        row[0] = static_cast<uint8_t>(b[row[0]]);
        row[1] = static_cast<uint8_t>(g[row[1]] >> 8);
        row[2] = static_cast<uint8_t>(r[row[2]] >> 16);
    }
}

BrightnessProcessor::BrightnessProcessor(int percent) : LookupProcessor(kMaskAll, std::max(percent, 0)) {}

int BrightnessProcessor::ChannelFunction(int v) const {
    return static_cast<int>(Clamp255(int64_t{v} * parameter_ / 100));
}

ContrastProcessor::ContrastProcessor(int percent) : LookupProcessor(kMaskAll, std::max(percent, 0)) {}

int ContrastProcessor::ChannelFunction(int v) const {
    return static_cast<int>(Clamp255(int64_t{v - 128} * parameter_ / 100 + 128));
}

InvertProcessor::InvertProcessor(int mask) : LookupProcessor(mask, 0) {}

int InvertProcessor::ChannelFunction(int v) const {
    return 255 - v;
}

PosterizeProcessor::PosterizeProcessor(int levels) : LookupProcessor(kMaskAll, std::max(levels, 2)) {}

int PosterizeProcessor::ChannelFunction(int v) const {
    const double step = 255.0 / (parameter_ - 1);
    const int64_t level = RoundHalfAway(v / step);
    return static_cast<int>(Clamp255(RoundHalfAway(static_cast<double>(level) * step)));
}

// ---- hue, lightness, saturation ----

Hls RgbToHls(uint8_t red, uint8_t green, uint8_t blue) {
    Hls out;
    const int mx = std::max({red, green, blue});
    const int mn = std::min({red, green, blue});
    out.lightness = (mx + mn) / 510.0;
    if (mx == mn) return out;
    const double x = mx / 255.0, n = mn / 255.0, d = x - n;
    out.saturation = out.lightness < 0.5 ? d / (x + n) : d / (2 - x - n);
    double h;
    if (mx == red)
        h = (green - blue) / 255.0 / d;
    else if (mx == green)
        h = (blue - red) / 255.0 / d + 2;
    else
        h = (red - green) / 255.0 / d + 4;
    h = h * 0.16666666666666666;
    if (h < 0) h = h + 1;
    out.hue = h;
    return out;
}

namespace {
inline double HlsChannel(double a, double m1, double m2) {
    if (a > 6)
        a = a - 6;
    else if (a < 0)
        a = a + 6;
    if (a < 1) return m1 + a * (m2 - m1);
    if (a < 3) return m2;
    if (a < 4) return m1 + (m2 - m1) * (4 - a);
    return m1;
}
}  // namespace

std::array<uint8_t, 3> HlsToBgr(const Hls& hls) {
    const double l = hls.lightness, s = hls.saturation;
    if (s < pixel_ops::kTinyFraction) {
        const uint8_t v = ChannelByte(l);
        return {v, v, v};
    }
    const double m2 = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double m1 = 2 * l - m2;
    const double h = hls.hue * 6;
    return {ChannelByte(HlsChannel(h - 2, m1, m2)), ChannelByte(HlsChannel(h, m1, m2)),
            ChannelByte(HlsChannel(h + 2, m1, m2))};
}

HueSaturationProcessor::HueSaturationProcessor(int huePercent, int saturationPercent)
    : hue_(std::max(huePercent, 0)), saturation_(std::max(saturationPercent, 0)) {}

bool HueSaturationProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void HueSaturationProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    Hls hls = RgbToHls(pixel[2], pixel[1], pixel[0]);
    if (hue_ != 100) hls.hue = hue_ * hls.hue * 0.01;
    if (saturation_ != 100) hls.saturation = saturation_ * hls.saturation * 0.01;
    const auto bgr = HlsToBgr(hls);
    std::memcpy(pixel, bgr.data(), 3);
}

void HueSaturationProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    // Pictures repeat colours in runs: convert a colour once per run.
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    uint8_t lastIn[3] = {0, 0, 0}, lastOut[3] = {0, 0, 0};
    bool haveLast = false;
    for (int x = 0; x < width; ++x, row += bytes) {
        if (haveLast && std::memcmp(row, lastIn, 3) == 0) {
            std::memcpy(row, lastOut, 3);
            continue;
        }
        std::memcpy(lastIn, row, 3);
        ProcessPixel(image, x, y, row);
        std::memcpy(lastOut, row, 3);
        haveLast = true;
    }
}

// ---- RGB offsets ----

RgbOffsetProcessor::RgbOffsetProcessor(int red, int green, int blue)
    : red_(red), green_(green), blue_(blue) {}

bool RgbOffsetProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void RgbOffsetProcessor::OnEnter(Image& /*image*/) {
    const int offsets[3] = {blue_, green_, red_};
    for (size_t c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            tables_[c][static_cast<size_t>(v)] = static_cast<uint8_t>(Clamp255(int64_t{v} + offsets[c]));
}

void RgbOffsetProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    pixel[0] = static_cast<uint8_t>(Clamp255(int64_t{pixel[0]} + blue_));
    pixel[1] = static_cast<uint8_t>(Clamp255(int64_t{pixel[1]} + green_));
    pixel[2] = static_cast<uint8_t>(Clamp255(int64_t{pixel[2]} + red_));
}

void RgbOffsetProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    ApplyTables(row, image.Width(), image.Depth() / 8, tables_[0], tables_[1], tables_[2]);
}

// ---- levels ----

LevelsProcessor::LevelsProcessor(bool automatic, int lower, int upper, int mask) : automatic_(automatic) {
    lower_.fill(std::clamp(lower, 0, 255));
    upper_.fill(std::clamp(upper, 0, 255));
    apply_ = {(mask & kMaskBlue) != 0, (mask & kMaskGreen) != 0, (mask & kMaskRed) != 0};
}

bool LevelsProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void LevelsProcessor::FindLevels(const Image& image) {
    std::vector<uint64_t> histogram(3 * 256, 0);
    uint64_t* hb = histogram.data();
    uint64_t* hg = hb + 256;
    uint64_t* hr = hg + 256;
    const int bytes = image.Depth() / 8;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y);
        for (int x = 0; x < image.Width(); ++x, p += bytes) {
            ++hb[p[0]];
            ++hg[p[1]];
            ++hr[p[2]];
        }
    }
    for (size_t c = 0; c < 3; ++c) {
        const uint64_t* h = hb + 256 * c;
        uint64_t total = 0;
        for (int i = 0; i < 256; ++i) total += h[i];
        lower_[c] = 0;
        upper_[c] = 255;
        if (total == 0) {
            upper_[c] = 0;
            continue;
        }
        const double t = static_cast<double>(total);
        uint64_t sum = 0;
        for (int i = 0; i < 255; ++i) {
            sum += h[i];
            if (std::fabs(static_cast<double>(sum + h[i + 1]) / t - 0.006) >
                std::fabs(static_cast<double>(sum) / t - 0.006)) {
                lower_[c] = i + 1;
                break;
            }
        }
        sum = 0;
        for (int k = 255; k >= 1; --k) {
            sum += h[k];
            if (std::fabs(static_cast<double>(sum + h[k - 1]) / t - 0.006) >
                std::fabs(static_cast<double>(sum) / t - 0.006)) {
                upper_[c] = k - 1;
                break;
            }
        }
    }
}

void LevelsProcessor::BuildTables() {
    for (size_t c = 0; c < 3; ++c) {
        const int lo = lower_[c], hi = upper_[c];
        for (int v = 0; v < 256; ++v) {
            int64_t out = v;
            if (apply_[c]) {
                const int e = v - lo;
                out = lo != hi ? Clamp255(RoundHalfAway(static_cast<double>(e) / (hi - lo) * 255))
                               : Clamp255(int64_t{e} * 255);
            }
            tables_[c][static_cast<size_t>(v)] = static_cast<uint8_t>(out);
        }
    }
}

void LevelsProcessor::OnEnter(Image& image) {
    if (automatic_) FindLevels(image);
    BuildTables();
}

void LevelsProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    for (size_t c = 0; c < 3; ++c) pixel[c] = tables_[c][pixel[c]];
}

void LevelsProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    ApplyTables(row, image.Width(), image.Depth() / 8, tables_[0], tables_[1], tables_[2]);
}

// ---- colour tone ----

ColourToneProcessor::ColourToneProcessor(uint8_t red, uint8_t green, uint8_t blue) {
    const Hls tone = RgbToHls(red, green, blue);
    for (int i = 0; i < 256; ++i) {
        const auto bgr = HlsToBgr({tone.hue, i / 255.0, tone.saturation});
        const auto k = static_cast<size_t>(i);
        blue_[k] = i * bgr[0] / 255;
        green_[k] = i * bgr[1] / 255;
        red_[k] = i * bgr[2] / 255;
    }
}

bool ColourToneProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void ColourToneProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    const uint32_t g = Grey(pixel[0], pixel[1], pixel[2]);
    pixel[0] = static_cast<uint8_t>(blue_[g]);
    pixel[1] = static_cast<uint8_t>(green_[g]);
    pixel[2] = static_cast<uint8_t>(red_[g]);
}

void ColourToneProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    uint8_t b[256], g[256], r[256];
    for (size_t i = 0; i < 256; ++i) {
        b[i] = static_cast<uint8_t>(blue_[i]);
        g[i] = static_cast<uint8_t>(green_[i]);
        r[i] = static_cast<uint8_t>(red_[i]);
    }
    for (int x = 0; x < width; ++x, row += bytes) {
        const uint32_t v = Grey(row[0], row[1], row[2]);
        row[0] = b[v];
        row[1] = g[v];
        row[2] = r[v];
    }
}

// ---- grey ----

bool GreyProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void GreyProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    const auto g = static_cast<uint8_t>(Grey(pixel[0], pixel[1], pixel[2]));
    pixel[0] = pixel[1] = pixel[2] = g;
}

void GreyProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    if (image.Depth() == 32) {
        if (simd_rows::GreyRow(row, static_cast<size_t>(width))) return;
        for (int x = 0; x < width; ++x, row += 4) {
            uint32_t p;
            std::memcpy(&p, row, 4);
            const uint32_t g = Grey(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF);
            p = (p & 0xFF000000u) | g * 0x010101u;
            std::memcpy(row, &p, 4);
        }
        return;
    }
    for (int x = 0; x < width; ++x, row += 3) {
        const auto g = static_cast<uint8_t>(Grey(row[0], row[1], row[2]));
        row[0] = row[1] = row[2] = g;
    }
}

}  // namespace glimmora
