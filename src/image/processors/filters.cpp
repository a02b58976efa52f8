#include "image/processors/filters.h"
#include "image/processors/simd_rows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "image/processors/pixel_ops.h"
#include "image/row_bands.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define GLIMMORA_X86_SIMD 1
#endif

namespace glimmora {

using pixel_ops::Clamp255;
using pixel_ops::Grey;
using pixel_ops::NextRandom;

namespace {
inline uint8_t AddClamped(uint8_t channel, int n) {
    return static_cast<uint8_t>(Clamp255(channel + n));
}

// Shifts wider than a byte's range act like 256: clamping gives the same bytes.
inline int ClipShift(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -256, 256));
}
}  // namespace

Image MakeExpandedCopy(const Image& source, int left, int top, int right, int bottom) {
    if (!source.IsValid() || source.Depth() < 8 || left < 0 || top < 0 || right < 0 || bottom < 0 ||
        (left | top | right | bottom) == 0) {
        return source;
    }
    const int64_t width = int64_t{source.Width()} + left + right;
    const int64_t height = int64_t{source.Height()} + top + bottom;
    if (width > INT32_MAX || height > INT32_MAX) return source;
    BitmapInfoHeader h = source.Header();
    h.biWidth = static_cast<int32_t>(width);
    h.biHeight = static_cast<int32_t>(height);
    const uint32_t masks[3] = {source.RedMask(), source.GreenMask(), source.BlueMask()};
    Image out;
    if (!out.Create(&h, masks)) return source;
    out.SetPosition(source.PositionX() - left, source.PositionY() - top);
    out.SetFrameDelay(source.FrameDelay());
    const int bytes = source.Depth() / 8;
    const size_t rowBytes = static_cast<size_t>(source.Width()) * bytes;
    RunRowBands(source.Height(), 1, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const uint8_t* s = source.Row(y);
            uint8_t* d = out.Row(top + y);
            for (int i = 0; i < left; ++i, d += bytes) std::memcpy(d, s, static_cast<size_t>(bytes));
            std::memcpy(d, s, rowBytes);
            d += rowBytes;
            const uint8_t* last = s + rowBytes - bytes;
            for (int i = 0; i < right; ++i, d += bytes) std::memcpy(d, last, static_cast<size_t>(bytes));
        }
    });
    const size_t fullBytes = static_cast<size_t>(width) * bytes;
    for (int y = 0; y < top; ++y) std::memcpy(out.Row(y), out.Row(top), fullBytes);
    const int lastRow = top + source.Height() - 1;
    for (int y = 0; y < bottom; ++y) std::memcpy(out.Row(lastRow + 1 + y), out.Row(lastRow), fullBytes);
    return out;
}

// ---- uniform noise ----

UniformNoiseProcessor::UniformNoiseProcessor(int level) : level_(level) {
    SeedRandomFromTime();
}

bool UniformNoiseProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void UniformNoiseProcessor::OnEnter(Image& /*image*/) {
    noise_.resize(kRandomMax + 1);
    for (int r = 0; r <= kRandomMax; ++r) {
        const double n = (r * 3.051850947599719e-5 - 0.5) * level_;
        noise_[static_cast<size_t>(r)] = static_cast<int16_t>(ClipShift(pixel_ops::RoundHalfAway(n)));
    }
}

void UniformNoiseProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    for (int c = 0; c < 3; ++c) pixel[c] = AddClamped(pixel[c], noise_[static_cast<size_t>(Random())]);
}

void UniformNoiseProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    const int16_t* noise = noise_.data();
    uint32_t state = pixel_ops::RandomState();
    for (int x = 0; x < width; ++x, row += bytes) {
        row[0] = AddClamped(row[0], noise[NextRandom(state)]);
        row[1] = AddClamped(row[1], noise[NextRandom(state)]);
        row[2] = AddClamped(row[2], noise[NextRandom(state)]);
    }
    pixel_ops::RandomState() = state;
}

// ---- Gaussian noise ----

GaussianNoiseProcessor::GaussianNoiseProcessor(int level) : level_(std::clamp(level, 0, 100)) {
    SeedRandomFromTime();
}

bool GaussianNoiseProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void GaussianNoiseProcessor::OnEnter(Image& /*image*/) {
    noise_.resize(4 * kRandomMax + 1);
    for (int sum = 0; sum <= 4 * kRandomMax; ++sum) {
        const double x = sum * 0.0000528596089837 - 3.46410161514;
        noise_[static_cast<size_t>(sum)] = static_cast<int16_t>(static_cast<int>(x * level_ * 1.27));
    }
}

void GaussianNoiseProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    int sum = Random();
    sum += Random();
    sum += Random();
    sum += Random();
    const int n = noise_[static_cast<size_t>(sum)];
    for (int c = 0; c < 3; ++c) pixel[c] = AddClamped(pixel[c], n);
}

void GaussianNoiseProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    const int16_t* noise = noise_.data();
    uint32_t state = pixel_ops::RandomState();
    for (int x = 0; x < width; ++x, row += bytes) {
        int sum = NextRandom(state);
        sum += NextRandom(state);
        sum += NextRandom(state);
        sum += NextRandom(state);
        const int n = noise[sum];
        row[0] = AddClamped(row[0], n);
        row[1] = AddClamped(row[1], n);
        row[2] = AddClamped(row[2], n);
    }
    pixel_ops::RandomState() = state;
}

// ---- emboss ----

EmbossProcessor::EmbossProcessor(int strength) : strength_(strength) {}

bool EmbossProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void EmbossProcessor::OnEnter(Image& /*image*/) {
    for (int d = -765; d <= 765; ++d)
        value_[static_cast<size_t>(d + 765)] =
            static_cast<int32_t>(Clamp255(int64_t{d} * strength_ / 3 + 128));
}

void EmbossProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    uint8_t v = 128;
    if (x != image.Width() - 1) {
        const uint8_t* right = image.PixelAddress(x + 1, y);
        const int d = (pixel[0] + pixel[1] + pixel[2]) - (right[0] + right[1] + right[2]);
        v = static_cast<uint8_t>(value_[static_cast<size_t>(d + 765)]);
    }
    pixel[0] = pixel[1] = pixel[2] = v;
}

void EmbossProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    if (bytes == 4 && simd_rows::EmbossRow32(row, static_cast<size_t>(width), value_.data())) return;
    // Every output depends on the pixel and its right neighbour as they were: take the sums first.
    // Per thread: rows of one picture run on several at once.
    thread_local std::vector<int> scratch;
    scratch.resize(static_cast<size_t>(width));
    int* sums = scratch.data();
    const uint8_t* p = row;
    for (int x = 0; x < width; ++x, p += bytes) sums[x] = p[0] + p[1] + p[2];
    for (int x = 0; x + 1 < width; ++x, row += bytes) {
        const auto v = static_cast<uint8_t>(value_[static_cast<size_t>(sums[x] - sums[x + 1] + 765)]);
        row[0] = row[1] = row[2] = v;
    }
    row[0] = row[1] = row[2] = 128;
}

// ---- oil paint ----

OilPaintProcessor::OilPaintProcessor(int radius) : radius_(std::max(radius, 1)) {}

bool OilPaintProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void OilPaintProcessor::OnEnter(Image& image) {
    ReleaseSource();
    // The expanded copy serves as the source copy: every window finds its pixels in it.
    expanded_ = MakeExpandedCopy(image, radius_, radius_, radius_, radius_);
    grey_.Clear();
    if (!expanded_.IsValid() || expanded_.Width() != image.Width() + 2 * radius_ ||
        !grey_.Create(expanded_.Width(), expanded_.Height(), 8)) {
        expanded_.Clear();
        MarkPreparationFailed();
        return;
    }
    const int bytes = expanded_.Depth() / 8;
    RunRowBands(expanded_.Height(), 1, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const uint8_t* s = expanded_.Row(y);
            uint8_t* d = grey_.Row(y);
            for (int x = 0; x < expanded_.Width(); ++x, s += bytes)
                d[x] = static_cast<uint8_t>(Grey(s[0], s[1], s[2]));
        }
    });
}

void OilPaintProcessor::ProcessPixel(Image& /*image*/, int x, int y, uint8_t* pixel) {
    if (!expanded_.IsValid()) return;
    const int side = 2 * radius_ + 1;
    int count[256] = {};
    int best = 0, bestX = x, bestY = y;
    for (int wy = y; wy < y + side; ++wy) {
        const uint8_t* g = grey_.Row(wy);
        for (int wx = x; wx < x + side; ++wx) {
            const int c = ++count[g[wx]];
            if (c > best) {
                best = c;
                bestX = wx;
                bestY = wy;
            }
        }
    }
    std::memcpy(pixel, expanded_.PixelAddress(bestX, bestY), 3);
}

namespace {

#ifdef GLIMMORA_X86_SIMD
#define GLIMMORA_AVX2 __attribute__((target("avx2")))

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Winners of the oil-paint windows along a grey row band, 32 windows at a time: for every window
// position k in reading order, its running count is 1 + the number of earlier window pixels of the
// same grey, and k wins when that count beats the best so far. No histogram, no branches; the work
// grows with the square of the window's area, so this suits the small radii only. Writes, for each
// x in [0, width), the winning window index. width >= 32; rows are the band's side grey rows.
GLIMMORA_AVX2 inline __m256i Load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <int R>
GLIMMORA_AVX2 void OilWinnersAvx2(const uint8_t* const* rows, int width, uint8_t* winners) {
    constexpr int side = 2 * R + 1;
    constexpr int area = side * side;
    const uint8_t* band[side];
    for (int i = 0; i < side; ++i) band[i] = rows[i];
    for (int x = 0;; x += 32) {
        // The last group overlaps the one before rather than reading past the row.
        if (x > width - 32) x = width - 32;
        __m256i best = _mm256_setzero_si256();
        __m256i winner = _mm256_setzero_si256();
#pragma GCC unroll 64
        for (int k = 0; k < area; ++k) {
            const __m256i level = Load32(band[(k) / side] + x + (k) % side);
            // Two sums halve the chain of dependent additions.
            __m256i even = _mm256_set1_epi8(1), odd = _mm256_setzero_si256();
#pragma GCC unroll 64
            for (int j = 0; j + 1 < k; j += 2) {
                even = _mm256_sub_epi8(even,
                                       _mm256_cmpeq_epi8(level, Load32(band[(j) / side] + x + (j) % side)));
                odd = _mm256_sub_epi8(
                    odd, _mm256_cmpeq_epi8(level, Load32(band[(j + 1) / side] + x + (j + 1) % side)));
            }
            if (k % 2 == 1)
                even = _mm256_sub_epi8(
                    even, _mm256_cmpeq_epi8(level, Load32(band[(k - 1) / side] + x + (k - 1) % side)));
            const __m256i count = _mm256_add_epi8(even, odd);
            const __m256i beats = _mm256_cmpgt_epi8(count, best);
            best = _mm256_max_epi8(best, count);
            winner = _mm256_blendv_epi8(winner, _mm256_set1_epi8(static_cast<char>(k)), beats);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(winners + x), winner);
        if (x == width - 32) break;
    }
}

using OilWinnersFn = void (*)(const uint8_t* const*, int, uint8_t*);

// The vector path for this radius, or null where the sliding histogram is faster or AVX2 is missing.
OilWinnersFn OilWinners(int radius) {
    if (!HaveAvx2()) return nullptr;
    switch (radius) {
        case 1:
            return OilWinnersAvx2<1>;
        case 2:
            return OilWinnersAvx2<2>;
        case 3:
            return OilWinnersAvx2<3>;
        default:
            return nullptr;
    }
}
#else
using OilWinnersFn = void (*)(const uint8_t* const*, int, uint8_t*);
OilWinnersFn OilWinners(int) {
    return nullptr;
}
#endif

}  // namespace

void OilPaintProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!expanded_.IsValid()) return;
    const int width = image.Width();
    if (width >= 32) {
        if (const OilWinnersFn winners = OilWinners(radius_)) {
            const int side = 2 * radius_ + 1;
            const int bytes = image.Depth() / 8;
            const uint8_t* greyRows[16];
            const uint8_t* colourRows[16];
            for (int i = 0; i < side; ++i) {
                greyRows[i] = grey_.Row(y + i);
                colourRows[i] = expanded_.Row(y + i);
            }
            thread_local std::vector<uint8_t> scratch;  // per thread, as rows run on several
            scratch.resize(static_cast<size_t>(width));
            winners(greyRows, width, scratch.data());
            // Byte offset of each window index from the window's top-left, within its row.
            int offset[256];
            int rowOf[256];
            for (int k = 0; k < side * side; ++k) {
                rowOf[k] = k / side;
                offset[k] = (k % side) * bytes;
            }
            const uint8_t* win = scratch.data();
            for (int x = 0; x < width; ++x, row += bytes) {
                const int k = win[x];
                std::memcpy(row, colourRows[rowOf[k]] + static_cast<size_t>(x) * bytes + offset[k], 3);
            }
            return;
        }
    }
    // A sliding histogram of the window gives the winning count m at once. The pixel that wins is the
    // first, in the window's reading order, at which some grey level's running count reaches m: the
    // moment the per-pixel count last beats its best.
    const int side = 2 * radius_ + 1;
    const int area = side * side;
    const int bytes = image.Depth() / 8;
    std::vector<const uint8_t*> greyRows(static_cast<size_t>(side));
    for (int i = 0; i < side; ++i) greyRows[static_cast<size_t>(i)] = grey_.Row(y + i);
    int count[256] = {};
    int running[256] = {};
    // How many levels have each count (index 0 is a sink, never read); branch-free upkeep of the
    // largest count, since which level goes up or down is unpredictable.
    std::vector<int> levelsWith(static_cast<size_t>(area) + 2, 0);
    int* with = levelsWith.data();
    int most = 0;
    auto add = [&](uint8_t level) {
        const int c = count[level]++;
        --with[c];
        ++with[c + 1];
        most = std::max(most, c + 1);
    };
    auto remove = [&](uint8_t level) {
        const int c = count[level]--;
        --with[c];
        ++with[c - 1];
        most -= static_cast<int>(c == most && with[c] == 0);
    };
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) add(greyRows[static_cast<size_t>(i)][j]);

    for (int x = 0; x < width; ++x, row += bytes) {
        int winX = side - 1, winY = side - 1;
        if (most < area) {
            bool found = false;
            int wy = 0, wx = 0;
            for (wy = 0; wy < side && !found; ++wy) {
                const uint8_t* g = greyRows[static_cast<size_t>(wy)] + x;
                for (wx = 0; wx < side; ++wx) {
                    if (++running[g[wx]] == most) {
                        found = true;
                        winX = wx;
                        winY = wy;
                        break;
                    }
                }
            }
            // Clear what the scan counted.
            for (int i = 0; i <= winY; ++i) {
                const uint8_t* g = greyRows[static_cast<size_t>(i)] + x;
                const int last = i == winY ? winX : side - 1;
                for (int j = 0; j <= last; ++j) running[g[j]] = 0;
            }
        }
        std::memcpy(row, expanded_.PixelAddress(x + winX, y + winY), 3);
        if (x + 1 < width) {
            for (int i = 0; i < side; ++i) {
                const uint8_t* g = greyRows[static_cast<size_t>(i)];
                remove(g[x]);
                add(g[x + side]);
            }
        }
    }
}

// ---- splash ----

SplashProcessor::SplashProcessor(int spread) : spread_(std::max(spread, 3)) {
    SeedRandomFromTime();
}

bool SplashProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void SplashProcessor::OnEnter(Image& image) {
    TakeSourceCopy(image);
}

void SplashProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    if (!source_) return;
    int nx = x + Random() % spread_ - spread_ / 2;
    int ny = y + Random() % spread_ - spread_ / 2;
    nx = std::clamp(nx, 0, image.Width() - 1);
    ny = std::clamp(ny, 0, image.Height() - 1);
    std::memcpy(pixel, source_->PixelAddress(nx, ny), static_cast<size_t>(image.Depth() / 8));
}

void SplashProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!source_) return;
    const int width = image.Width(), height = image.Height();
    const int half = spread_ / 2;
    const int spread = spread_;
    uint32_t state = pixel_ops::RandomState();
    if (image.Depth() == 32) {
        for (int x = 0; x < width; ++x, row += 4) {
            const int nx = std::clamp(x + NextRandom(state) % spread - half, 0, width - 1);
            const int ny = std::clamp(y + NextRandom(state) % spread - half, 0, height - 1);
            std::memcpy(row, source_->Row(ny) + static_cast<size_t>(nx) * 4, 4);
        }
    } else {
        for (int x = 0; x < width; ++x, row += 3) {
            const int nx = std::clamp(x + NextRandom(state) % spread - half, 0, width - 1);
            const int ny = std::clamp(y + NextRandom(state) % spread - half, 0, height - 1);
            std::memcpy(row, source_->Row(ny) + static_cast<size_t>(nx) * 3, 3);
        }
    }
    pixel_ops::RandomState() = state;
}

// ---- mosaic ----

MosaicProcessor::MosaicProcessor(int block) : block_(std::max(block, 2)) {}

bool MosaicProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kAlpha);
}

uint32_t MosaicProcessor::AverageBlock(Image& image, int x, int y) const {
    // The block's pixels are all still unvisited in the driver's order (the corner is being visited
    // now), so the image itself holds the source values and no copy is needed.
    const int right = static_cast<int>(std::min<int64_t>(int64_t{x} + block_, image.Width()));
    const int bottom = static_cast<int>(std::min<int64_t>(int64_t{y} + block_, image.Height()));
    uint64_t alpha = 0, blue = 0, green = 0, red = 0;
    for (int yy = y; yy < bottom; ++yy) {
        const uint8_t* p = image.PixelAddress(x, yy);
        for (int xx = x; xx < right; ++xx, p += 4) {
            const uint32_t a = p[3];
            alpha += a;
            blue += p[0] * a;
            green += p[1] * a;
            red += p[2] * a;
        }
    }
    const uint64_t count = static_cast<uint64_t>(right - x) * static_cast<uint64_t>(bottom - y);
    const uint32_t a = count == 0 ? 255 : static_cast<uint32_t>(alpha / count);
    uint32_t b = 0, g = 0, r = 0;
    if (alpha != 0) {
        b = static_cast<uint32_t>(blue / alpha);
        g = static_cast<uint32_t>(green / alpha);
        r = static_cast<uint32_t>(red / alpha);
    }
    const uint32_t value = b | g << 8 | r << 16 | a << 24;
    std::memcpy(image.PixelAddress(x, y), &value, 4);
    return value;
}

void MosaicProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    if (x % block_ != 0 || y % block_ != 0) {
        std::memcpy(pixel, image.PixelAddress(block_ * (x / block_), block_ * (y / block_)), 4);
        return;
    }
    AverageBlock(image, x, y);
}

void MosaicProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    const int width = image.Width();
    if (y % block_ != 0) {
        // Every pixel of the block's first row already holds the block's colour.
        std::memcpy(row, image.Row(block_ * (y / block_)), static_cast<size_t>(width) * 4);
        return;
    }
    for (int x = 0; x < width; x += block_) {
        const uint32_t value = AverageBlock(image, x, y);
        const int end = static_cast<int>(std::min<int64_t>(int64_t{x} + block_, width));
        for (int xx = x + 1; xx < end; ++xx) std::memcpy(row + static_cast<size_t>(xx) * 4, &value, 4);
    }
}

// ---- halftone ----

namespace {
constexpr uint8_t kBayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                  {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                  {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                  {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
}  // namespace

bool HalftoneProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void HalftoneProcessor::ProcessPixel(Image& /*image*/, int x, int y, uint8_t* pixel) {
    const uint32_t t = kBayer[y % 8][x % 8];
    const uint8_t v = t < Grey(pixel[0], pixel[1], pixel[2]) / 4 ? 255 : 0;
    pixel[0] = pixel[1] = pixel[2] = v;
}

void HalftoneProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    const int width = image.Width();
    const uint8_t* m = kBayer[y % 8];
    if (image.Depth() == 32) {
        for (int x = 0; x < width; ++x, row += 4) {
            uint32_t p;
            std::memcpy(&p, row, 4);
            const uint32_t g = Grey(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF);
            p = (p & 0xFF000000u) | (m[x & 7] < g / 4 ? 0xFFFFFFu : 0u);
            std::memcpy(row, &p, 4);
        }
        return;
    }
    for (int x = 0; x < width; ++x, row += 3) {
        const uint8_t v = m[x & 7] < Grey(row[0], row[1], row[2]) / 4 ? 255 : 0;
        row[0] = row[1] = row[2] = v;
    }
}

// ---- convolution ----

ConvolutionProcessor::ConvolutionProcessor(const int* kernel, int side, int divisor, int offset)
    : divisor_(std::max(divisor, 1)), offset_(offset) {
    SetKernel(kernel, side);
}

void ConvolutionProcessor::SetKernel(const int* kernel, int side) {
    if (!kernel || side <= 0) return;
    side_ = side;
    kernel_.assign(kernel, kernel + static_cast<ptrdiff_t>(side) * side);
}

std::unique_ptr<ConvolutionProcessor> MakeBlurProcessor() {
    static constexpr int kBlur[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    return std::make_unique<ConvolutionProcessor>(kBlur, 3, 16, 0);
}

bool ConvolutionProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

int ConvolutionProcessor::Channel(int64_t sum) const {
    return static_cast<int>(Clamp255(sum / divisor_ + offset_));
}

namespace {
// A line with `pad` copies of its first pixel before it and of its last after it.
void ExpandLine(const uint8_t* row, int width, int bytes, int pad, uint8_t* out) {
    const auto b = static_cast<size_t>(bytes);
    for (int i = 0; i < pad; ++i, out += b) std::memcpy(out, row, b);
    const size_t rowBytes = static_cast<size_t>(width) * b;
    std::memcpy(out, row, rowBytes);
    out += rowBytes;
    for (int i = 0; i < pad; ++i, out += b) std::memcpy(out, row + rowBytes - b, b);
}

std::atomic<uint64_t> g_convolutionRuns{0};
}  // namespace

void ConvolutionProcessor::OnEnter(Image& image) {
    ReleaseSource();
    expanded_.Clear();
    kept_.clear();
    keptIndex_.clear();
    grain_ = 1;
    const int half = side_ / 2;
    int64_t positive = 0, negative = 0;
    for (int k : kernel_) (k > 0 ? positive : negative) += k;
    lowestSum_ = negative * 255;
    const int64_t highest = positive * 255;
    narrowSums_ = std::max(highest, -lowestSum_) <= INT32_MAX;
    // Partial sums stay between the negative and the positive totals.
    shortSums_ = highest <= INT16_MAX && lowestSum_ >= INT16_MIN;
    shift_ = -1;
    if (lowestSum_ >= 0 && (divisor_ & (divisor_ - 1)) == 0)
        shift_ = __builtin_ctz(static_cast<unsigned>(divisor_));
    channelTable_.clear();
    if (narrowSums_ && highest - lowestSum_ < (int64_t{1} << 20)) {
        channelTable_.resize(static_cast<size_t>(highest - lowestSum_ + 1));
        for (int64_t s = lowestSum_; s <= highest; ++s)
            channelTable_[static_cast<size_t>(s - lowestSum_)] = static_cast<uint8_t>(Channel(s));
    }
    if (!narrowSums_) {
        // Per-pixel sums: the whole expanded copy serves as the source copy.
        if (!TakeExpandedCopy(image)) MarkPreparationFailed();
        return;
    }
    const int64_t lineWidth = int64_t{image.Width()} + 2 * int64_t{half};
    if (!image.IsValid() || lineWidth > INT32_MAX) {
        MarkPreparationFailed();
        return;
    }
    const int bytes = image.Depth() / 8;
    const int height = image.Height();
    lineBytes_ = static_cast<size_t>(lineWidth) * static_cast<size_t>(bytes);
    // Row y reads rows y - half to y + side - 1 - half: a band start b needs [b - half, b + side - 1 - half)
    // kept, lines that the bands on either side of b change.
    grain_ = std::max(64, 2 * side_);
    const int below = side_ - 1 - half;
    keptIndex_.assign(static_cast<size_t>(height), -1);
    int count = 0;
    for (int start = grain_; start < height; start += grain_)
        for (int r = std::max(start - half, 0); r < std::min(start + below, height); ++r)
            keptIndex_[static_cast<size_t>(r)] = count++;
    kept_.resize(lineBytes_ * static_cast<size_t>(count));
    for (int r = 0; r < height; ++r)
        if (const int k = keptIndex_[static_cast<size_t>(r)]; k >= 0)
            ExpandLine(image.Row(r), image.Width(), bytes, half,
                       kept_.data() + lineBytes_ * static_cast<size_t>(k));
    run_ = ++g_convolutionRuns;
}

bool ConvolutionProcessor::TakeExpandedCopy(const Image& image) {
    const int half = side_ / 2;
    expanded_ = MakeExpandedCopy(image, half, half, half, half);
    if (expanded_.IsValid() && expanded_.Width() == image.Width() + 2 * half) return true;
    expanded_.Clear();
    return false;
}

const uint8_t* ConvolutionProcessor::OriginalLine(const Image& image, int r, int y) const {
    // The lines of this thread's band: each is expanded from the picture the first time a row asks for
    // it, which is before the band changes it, and kept while rows up to side - 1 below still need it.
    struct Lines {
        uint64_t run = 0;
        std::vector<uint8_t> data;
        std::vector<int> row;
    };
    thread_local Lines lines;
    const auto slots = static_cast<size_t>(side_);
    if (lines.run != run_) {
        lines.run = run_;
        lines.data.resize(lineBytes_ * slots);
        lines.row.assign(slots, -1);
    }
    const size_t slot = static_cast<size_t>(r) % slots;
    uint8_t* line = lines.data.data() + lineBytes_ * slot;
    if (lines.row[slot] != r) {
        const int k = keptIndex_[static_cast<size_t>(r)];
        if (k >= 0 && r / grain_ != y / grain_) return kept_.data() + lineBytes_ * static_cast<size_t>(k);
        ExpandLine(image.Row(r), image.Width(), image.Depth() / 8, side_ / 2, line);
        lines.row[slot] = r;
    }
    return line;
}

void ConvolutionProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    // Per-pixel calls start at (0, 0) with the picture untouched: the expanded copy is taken then.
    if (!expanded_.IsValid() && !TakeExpandedCopy(image)) return;
    const int bytes = image.Depth() / 8;
    int64_t blue = 0, green = 0, red = 0;
    for (int i = 0; i < side_; ++i) {
        const uint8_t* p = expanded_.PixelAddress(x, y + i);
        for (int j = 0; j < side_; ++j, p += bytes) {
            const int64_t k = kernel_[static_cast<size_t>(i * side_ + j)];
            blue += k * p[0];
            green += k * p[1];
            red += k * p[2];
        }
    }
    pixel[0] = static_cast<uint8_t>(Channel(blue));
    pixel[1] = static_cast<uint8_t>(Channel(green));
    pixel[2] = static_cast<uint8_t>(Channel(red));
}

void ConvolutionProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!narrowSums_) {
        PixelProcessor::ProcessRow(image, y, row);
        return;
    }
    if (lineBytes_ == 0) return;
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    const size_t lanes = static_cast<size_t>(width) * bytes;
    const int height = image.Height();
    thread_local std::vector<const uint8_t*> lines;
    lines.resize(static_cast<size_t>(side_));
    for (int i = 0; i < side_; ++i)
        lines[static_cast<size_t>(i)] = OriginalLine(image, std::clamp(y + i - side_ / 2, 0, height - 1), y);
    if (shortSums_ && !channelTable_.empty()) {
        // Small kernels such as the blur: 16-bit lanes, twice as many per vector, in blocks of whole
        // pixels that stay in the first-level cache between summing and output.
        constexpr size_t kBlock = 3 * 4 * 512;
        thread_local std::vector<int16_t> shortScratch;  // per thread, as rows run on several
        thread_local std::vector<const uint8_t*> blockLines;
        shortScratch.resize(std::min(lanes, kBlock));
        blockLines.resize(static_cast<size_t>(side_));
        int16_t* const sums = shortScratch.data();
        const uint8_t* table = channelTable_.data() - lowestSum_;
        for (size_t first = 0; first < lanes; first += kBlock) {
            const size_t n = std::min(kBlock, lanes - first);
            for (size_t i = 0; i < lines.size(); ++i) blockLines[i] = lines[i] + first;
            if (!simd_rows::ShortKernelSums(blockLines.data(), kernel_.data(), side_, bytes, n, sums)) {
                std::fill(sums, sums + n, int16_t{0});
                for (int i = 0; i < side_; ++i) {
                    for (int j = 0; j < side_; ++j) {
                        const int k = kernel_[static_cast<size_t>(i * side_ + j)];
                        if (k == 0) continue;
                        const uint8_t* s =
                            blockLines[static_cast<size_t>(i)] + static_cast<size_t>(j) * bytes;
                        for (size_t t = 0; t < n; ++t) sums[t] = static_cast<int16_t>(sums[t] + k * s[t]);
                    }
                }
            }
            uint8_t* out = row + first;
            if (bytes == 4 && shift_ >= 0 &&
                simd_rows::ShiftedSumsToPixels(out, sums, n / 4, shift_, offset_))
                continue;
            const int16_t* sum = sums;
            for (size_t x = 0; x < n; x += static_cast<size_t>(bytes), out += bytes, sum += bytes) {
                out[0] = table[sum[0]];
                out[1] = table[sum[1]];
                out[2] = table[sum[2]];
            }
        }
        return;
    }
    thread_local std::vector<int32_t> scratch;
    scratch.assign(lanes, 0);
    int32_t* sums = scratch.data();
    // Whole rows at a time, one kernel entry after the other; alpha lanes are summed and ignored.
    for (int i = 0; i < side_; ++i) {
        const uint8_t* line = lines[static_cast<size_t>(i)];
        for (int j = 0; j < side_; ++j) {
            const int32_t k = kernel_[static_cast<size_t>(i * side_ + j)];
            if (k == 0) continue;
            const uint8_t* s = line + static_cast<size_t>(j) * bytes;
            for (size_t t = 0; t < lanes; ++t) sums[t] += k * s[t];
        }
    }
    if (!channelTable_.empty()) {
        const uint8_t* table = channelTable_.data();
        const auto low = static_cast<int32_t>(lowestSum_);
        for (int x = 0; x < width; ++x, row += bytes, sums += bytes) {
            row[0] = table[sums[0] - low];
            row[1] = table[sums[1] - low];
            row[2] = table[sums[2] - low];
        }
        return;
    }
    for (int x = 0; x < width; ++x, row += bytes, sums += bytes) {
        row[0] = static_cast<uint8_t>(Channel(sums[0]));
        row[1] = static_cast<uint8_t>(Channel(sums[1]));
        row[2] = static_cast<uint8_t>(Channel(sums[2]));
    }
}

// ---- 3D grid ----

GridProcessor::GridProcessor(int cellSize, int depth) : cell_(std::max(cellSize, 1)), depth_(depth) {}

bool GridProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kTrueColour);
}

void GridProcessor::OnEnter(Image& image) {
    const int width = image.IsValid() ? image.Width() : 0;
    insideX_.resize(static_cast<size_t>(width));
    leftLine_.resize(static_cast<size_t>(width));
    rightLine_.resize(static_cast<size_t>(width));
    const int64_t d = cell_;
    for (int64_t x = 0; x < width; ++x) {
        const auto i = static_cast<size_t>(x);
        insideX_[i] = x % d != 0 && (x + 1) % d != 0;
        leftLine_[i] = (x - 1) % d == 0;
        rightLine_[i] = (x + 2) % d == 0;
    }
}

int GridProcessor::Shift(int x, int y) const {
    // Remainders truncate, as in C: (0 - 1) % d is -1.
    const int64_t d = cell_;
    const int64_t xx = x, yy = y;
    const bool insideX = xx % d != 0 && (xx + 1) % d != 0;
    const bool insideY = yy % d != 0 && (yy + 1) % d != 0;
    const int h = ClipShift(depth_);
    if ((yy - 1) % d == 0 && insideX) return -h;
    if ((yy + 2) % d == 0 && insideX) return h;
    if ((xx - 1) % d == 0 && insideY) return h;
    if ((xx + 2) % d == 0 && insideY) return -h;
    return 0;
}

void GridProcessor::ProcessPixel(Image& /*image*/, int x, int y, uint8_t* pixel) {
    const int shift = Shift(x, y);
    for (int c = 0; c < 3; ++c) pixel[c] = AddClamped(pixel[c], shift);
}

void GridProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    if (insideX_.size() != static_cast<size_t>(width)) OnEnter(image);
    // The rules of Shift with the column tests looked up: same order, same results.
    const int64_t d = cell_, yy = y;
    const bool top = (yy - 1) % d == 0, bottom = (yy + 2) % d == 0;
    const bool insideY = yy % d != 0 && (yy + 1) % d != 0;
    const int h = ClipShift(depth_);
    thread_local std::vector<int16_t> rowShift;  // per thread, as rows run on several
    rowShift.resize(static_cast<size_t>(width));
    bool any = false;
    for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
        int s = 0;
        if (top && insideX_[x])
            s = -h;
        else if (bottom && insideX_[x])
            s = h;
        else if (leftLine_[x] && insideY)
            s = h;
        else if (rightLine_[x] && insideY)
            s = -h;
        rowShift[x] = static_cast<int16_t>(s);
        any = any || s != 0;
    }
    if (!any) return;
    const int16_t* shift = rowShift.data();
    for (int x = 0; x < width; ++x, row += bytes) {
        const int s = shift[x];
        if (s == 0) continue;
        row[0] = AddClamped(row[0], s);
        row[1] = AddClamped(row[1], s);
        row[2] = AddClamped(row[2], s);
    }
}

}  // namespace glimmora
