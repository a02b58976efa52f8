#include "image/processors/geometry.h"
#include "image/processors/simd_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/processors/pixel_ops.h"
#include "image/row_bands.h"

namespace glimmora {

using pixel_ops::CopyPixel;

namespace {
constexpr double kDegreesToRadians = 0.017453292519943295;

// Header and masks of src with another size, for re-creating an image like it.
bool RecreateLike(Image& image, const Image& src, int width, int height) {
    BitmapInfoHeader h = src.Header();
    h.biWidth = width;
    h.biHeight = height;
    const uint32_t masks[3] = {src.RedMask(), src.GreenMask(), src.BlueMask()};
    if (!image.Create(&h, masks)) return false;
    image.CopyPaletteFrom(src);
    return true;
}

// Copies count pixels of bytes each from s (stepping by sourceStep bytes) to consecutive pixels at d.
void GatherPixels(uint8_t* d, const uint8_t* s, ptrdiff_t sourceStep, int count, int bytes) {
    switch (bytes) {
        case 4:
            for (int i = 0; i < count; ++i, d += 4, s += sourceStep) std::memcpy(d, s, 4);
            break;
        case 3:
            for (int i = 0; i < count; ++i, d += 3, s += sourceStep) std::memcpy(d, s, 3);
            break;
        case 2:
            for (int i = 0; i < count; ++i, d += 2, s += sourceStep) std::memcpy(d, s, 2);
            break;
        default:
            for (int i = 0; i < count; ++i, ++d, s += sourceStep) *d = *s;
            break;
    }
}
}  // namespace

// ---- quarter turns ----

bool Rotate90Processor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kBytePixels);
}

bool Rotate90Processor::Prepare(Image& image) {
    ready_ = false;
    TakeSourceByMove(image);
    if (!source_) return false;
    if (!RecreateLike(image, *source_, source_->Height(), source_->Width())) {
        RestoreFromSource(image);
        return false;
    }
    ready_ = true;
    return true;
}

void Rotate90Processor::OnEnter(Image& image) {
    Prepare(image);
}

void Rotate90Processor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    if (!ready_) return;
    CopyPixel(pixel, source_->PixelAddress(y, image.Width() - 1 - x), image.Depth() / 8);
}

void Rotate90Processor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!ready_) return;
    const int bytes = image.Depth() / 8;
    // Source rows newWidth - 1, newWidth - 2, ... lie one stride apart, going up in memory.
    const uint8_t* s = source_->PixelAddress(y, image.Width() - 1);
    GatherPixels(row, s, source_->Stride(), image.Width(), bytes);
}

void Rotate270Processor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    if (!ready_) return;
    CopyPixel(pixel, source_->PixelAddress(image.Height() - 1 - y, x), image.Depth() / 8);
}

void Rotate270Processor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!ready_) return;
    const int bytes = image.Depth() / 8;
    const uint8_t* s = source_->PixelAddress(image.Height() - 1 - y, 0);
    GatherPixels(row, s, -static_cast<ptrdiff_t>(source_->Stride()), image.Width(), bytes);
}

// ---- flips ----

namespace {
void SwapPixels(uint8_t* a, uint8_t* b, int bytes) {
    uint8_t t[4];
    std::memcpy(t, a, static_cast<size_t>(bytes));
    std::memcpy(a, b, static_cast<size_t>(bytes));
    std::memcpy(b, t, static_cast<size_t>(bytes));
}
}  // namespace

bool FlipHorizontalProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kBytePixels);
}

void FlipHorizontalProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    const int width = image.Width();
    if (x >= width / 2) return;
    SwapPixels(pixel, image.PixelAddress(width - 1 - x, y), image.Depth() / 8);
}

void FlipHorizontalProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    const int half = width / 2;
    if (bytes == 4) {
        if (simd_rows::ReverseRow32(row, static_cast<size_t>(width))) return;
        uint8_t* a = row;
        uint8_t* b = row + static_cast<ptrdiff_t>(width - 1) * 4;
        for (int x = 0; x < half; ++x, a += 4, b -= 4) {
            uint32_t pa, pb;
            std::memcpy(&pa, a, 4);
            std::memcpy(&pb, b, 4);
            std::memcpy(a, &pb, 4);
            std::memcpy(b, &pa, 4);
        }
        return;
    }
    uint8_t* a = row;
    uint8_t* b = row + static_cast<ptrdiff_t>(width - 1) * bytes;
    for (int x = 0; x < half; ++x, a += bytes, b -= bytes) SwapPixels(a, b, bytes);
}

bool FlipVerticalProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kBytePixels);
}

void FlipVerticalProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    const int height = image.Height();
    if (y >= height / 2) return;
    SwapPixels(pixel, image.PixelAddress(x, height - 1 - y), image.Depth() / 8);
}

void FlipVerticalProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    const int height = image.Height();
    const int partner = height - 1 - y;
    if (partner == y) return;
    // Only the pixel bytes change places; the filler at the end of each line stays. The upper line of a
    // pair swaps the first half of the bytes and the lower line the rest, so row bands share the work.
    const size_t bytes = static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Depth() / 8);
    const size_t split = bytes / 2;
    size_t left = y < partner ? split : bytes - split;
    if (y > partner) row += split;
    uint8_t* other = image.Row(partner) + (y < partner ? 0 : split);
    uint8_t buffer[4096];
    while (left > 0) {
        const size_t n = std::min(left, sizeof buffer);
        std::memcpy(buffer, row, n);
        std::memcpy(row, other, n);
        std::memcpy(other, buffer, n);
        row += n;
        other += n;
        left -= n;
    }
}

// ---- rotation by any angle ----

RotateProcessor::RotateProcessor(int angle) {
    degrees_ = angle % 360;
    if (degrees_ < 0) degrees_ += 360;
    const double forward = degrees_ * kDegreesToRadians;
    const double inverse = (360 - degrees_) * kDegreesToRadians;
    sinForward_ = std::sin(forward);
    cosForward_ = std::cos(forward);
    sinInverse_ = std::sin(inverse);
    cosInverse_ = std::cos(inverse);
}

IntPoint RotateProcessor::Turn(int64_t x, int64_t y, double cx, double cy, double sinA, double cosA) const {
    const double dy = cy - static_cast<double>(y);
    const double dx = static_cast<double>(x) - cx;
    const double tx = cx + dy * sinA + dx * cosA;
    const double ty = cy - (dy * cosA - dx * sinA);
    return {pixel_ops::RoundHalfAway(tx), pixel_ops::RoundHalfAway(ty)};
}

IntPoint RotateProcessor::RotatePoint(int64_t x, int64_t y, double cx, double cy, double angle) {
    const double dy = cy - static_cast<double>(y);
    const double dx = static_cast<double>(x) - cx;
    const double s = std::sin(angle), c = std::cos(angle);
    const double tx = cx + dy * s + dx * c;
    const double ty = cy - (dy * c - dx * s);
    return {pixel_ops::RoundHalfAway(tx), pixel_ops::RoundHalfAway(ty)};
}

bool RotateProcessor::ValidateImage(const Image& image) {
    return ImageMeetsRule(image, ImageRule::kRotatable);
}

void RotateProcessor::OnEnter(Image& image) {
    ready_ = false;
    TakeSourceByMove(image);
    if (!source_) return;
    sourceWidth_ = source_->Width();
    sourceHeight_ = source_->Height();
    const double cx = sourceWidth_ * 0.5, cy = sourceHeight_ * 0.5;
    const IntPoint corners[4] = {Turn(0, 0, cx, cy, sinForward_, cosForward_),
                                 Turn(sourceWidth_, 0, cx, cy, sinForward_, cosForward_),
                                 Turn(0, sourceHeight_, cx, cy, sinForward_, cosForward_),
                                 Turn(sourceWidth_, sourceHeight_, cx, cy, sinForward_, cosForward_)};
    int64_t minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const IntPoint& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const int64_t width = maxX - minX, height = maxY - minY;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX ||
        !RecreateLike(image, *source_, static_cast<int>(width), static_cast<int>(height))) {
        RestoreFromSource(image);
        return;
    }
    newWidth_ = static_cast<int>(width);
    newHeight_ = static_cast<int>(height);
    const double cxInverse = (newWidth_ - 1) * 0.5;
    columnCos_.resize(static_cast<size_t>(newWidth_));
    columnSin_.resize(static_cast<size_t>(newWidth_));
    for (int x = 0; x < newWidth_; ++x) {
        const double dx = static_cast<double>(x) - cxInverse;
        columnCos_[static_cast<size_t>(x)] = dx * cosInverse_;
        columnSin_[static_cast<size_t>(x)] = dx * sinInverse_;
    }
    ready_ = true;
}

RotateProcessor::SourcePoint RotateProcessor::MapToSource(int x, int y) const {
    const IntPoint p = Turn(x, y, (newWidth_ - 1) * 0.5, (newHeight_ - 1) * 0.5, sinInverse_, cosInverse_);
    SourcePoint s;
    s.sx = static_cast<double>(p.x) - (newWidth_ - sourceWidth_) * 0.5;
    s.sy = static_cast<double>(p.y) - (newHeight_ - sourceHeight_) * 0.5;
    s.inside = s.sx >= 0 && s.sx <= sourceWidth_ - 1 && s.sy >= 0 && s.sy <= sourceHeight_ - 1;
    return s;
}

void RotateProcessor::Sample(const SourcePoint& p, uint8_t* pixel, int bytes) const {
    const double sx = std::min(std::max(p.sx, 0.0), sourceWidth_ - 1.1);
    const double sy = std::min(std::max(p.sy, 0.0), sourceHeight_ - 1.1);
    const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
    const Image& src = *source_;
    const uint8_t* p00 = src.PixelAddress(ix, iy);
    const uint8_t* p01 = src.PixelAddress(ix, iy + 1);
    const auto out = pixel_ops::Bilinear(sx - ix, sy - iy, bytes == 4, p00, p00 + bytes, p01, p01 + bytes);
    std::memcpy(pixel, out.data(), static_cast<size_t>(bytes));
}

void RotateProcessor::ProcessPixel(Image& image, int x, int y, uint8_t* pixel) {
    if (!ready_) return;
    const SourcePoint p = MapToSource(x, y);
    if (p.inside) Sample(p, pixel, image.Depth() / 8);
}

namespace {
// RoundHalfAway for values well inside the int range, in a form the compiler vectorises.
inline int32_t RoundHalfAway32(double v) {
    const auto t = static_cast<int32_t>(v);
    const double frac = v - static_cast<double>(t);
    return t + static_cast<int32_t>(frac >= 0.5) - static_cast<int32_t>(frac <= -0.5);
}

// Narrows [begin, end) to the x where 0 <= half(x) <= last, half being monotone: rising when rising
// is true, else falling. The run found may be empty (begin >= end).
template <typename Half>
void NarrowToRun(const Half& half, int64_t last, bool rising, size_t& begin, size_t& end) {
    // The first x in [begin, end) where the monotone condition turns true.
    auto first = [&](auto&& holds) {
        size_t lo = begin, hi = end;
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (holds(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    if (begin >= end) return;
    size_t from, to;
    if (rising) {
        from = first([&](size_t x) { return half(x) >= 0; });
        to = first([&](size_t x) { return half(x) > last; });
    } else {
        from = first([&](size_t x) { return half(x) <= last; });
        to = first([&](size_t x) { return half(x) < 0; });
    }
    begin = from;
    end = std::max(from, to);
}

// The rounded turned points of a run of columns, the same products and sums as MapToSource.
#if defined(__x86_64__) && defined(__GNUC__)
// The same loop in wider vectors where the processor has them (no fused multiply-add: same results).
__attribute__((target("avx2"))) void RoundRowAvx2(double rowX, double cy, double rowY, const double* colCos,
                                                  const double* colSin, size_t n, int32_t* tx, int32_t* ty) {
    for (size_t x = 0; x < n; ++x) {
        tx[x] = RoundHalfAway32(rowX + colCos[x]);
        ty[x] = RoundHalfAway32(cy - (rowY - colSin[x]));
    }
}
#endif

void RoundRow(double rowX, double cy, double rowY, const double* colCos, const double* colSin, size_t n,
              int32_t* tx, int32_t* ty) {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        RoundRowAvx2(rowX, cy, rowY, colCos, colSin, n, tx, ty);
        return;
    }
#endif
    for (size_t x = 0; x < n; ++x) {
        tx[x] = RoundHalfAway32(rowX + colCos[x]);
        ty[x] = RoundHalfAway32(cy - (rowY - colSin[x]));
    }
}

// Every byte of v in its own 16-bit lane, and back: four channels summed at once.
inline uint64_t Spread(uint32_t v) {
    uint64_t w = v;
    w = (w | w << 16) & 0x0000FFFF0000FFFFull;
    return (w | w << 8) & 0x00FF00FF00FF00FFull;
}

inline uint32_t Narrow(uint64_t lanes) {
    lanes &= 0x00FF00FF00FF00FFull;
    lanes = (lanes | lanes >> 8) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>(lanes | lanes >> 16);
}

// The samples of one row, from the rounded turned points, in half pixels. A whole point copies its
// pixel, alpha included. With halves, the bilinear mix of opaque pixels is the floor of the average of
// a, b', c', d', where b' is the right neighbour when x is halved (else a again), c' the lower one when
// y is, and d' the diagonal when both are (else whichever of them is used). Half points with any
// involved alpha below 255 take the exact sampler, as do the clamped last column and row.
template <int kBytes>
void HalfRow(const Image& src, const int32_t* tx, const int32_t* ty, size_t width, int64_t shiftX,
             int64_t shiftY, int64_t lastX, int64_t lastY, double clampX, double clampY, uint8_t* row) {
    constexpr bool hasAlpha = kBytes == 4;
    for (size_t x = 0; x < width; ++x, row += kBytes) {
        const int64_t hx = 2 * int64_t{tx[x]} - shiftX, hy = 2 * int64_t{ty[x]} - shiftY;
        if (hx < 0 || hx > lastX || hy < 0 || hy > lastY) continue;
        std::array<uint8_t, 4> out;
        if (((hx | hy) & 1) == 0 && hx != lastX && hy != lastY) {
            // A whole point, the usual case (the size change of a turn is nearly always even).
            std::memcpy(row, src.Row(static_cast<int>(hy >> 1)) + (hx >> 1) * kBytes, kBytes);
            continue;
        }
        if (hx != lastX && hy != lastY) {
            const int iy = static_cast<int>(hy >> 1);
            const ptrdiff_t right = (hx & 1) * kBytes;
            const uint8_t* p00 = src.Row(iy) + (hx >> 1) * kBytes;
            const uint8_t* p01 = src.Row(iy + static_cast<int>(hy & 1)) + (hx >> 1) * kBytes;
            uint32_t a = 0, b = 0, c = 0, d = 0;
            std::memcpy(&a, p00, kBytes);
            std::memcpy(&b, p00 + right, kBytes);
            std::memcpy(&c, p01, kBytes);
            std::memcpy(&d, p01 + right, kBytes);
            if (!hasAlpha || ((a & b & c & d) >> 24) == 255) {
                const uint32_t v = Narrow((Spread(a) + Spread(b) + Spread(c) + Spread(d)) >> 2);
                std::memcpy(row, &v, kBytes);
                continue;
            }
            const uint8_t* q01 = src.Row(iy + 1) + (hx >> 1) * kBytes;
            out = pixel_ops::BilinearHalves((hx & 1) != 0, (hy & 1) != 0, hasAlpha, p00, p00 + kBytes, q01,
                                            q01 + kBytes);
        } else {
            const double sx = std::min(static_cast<double>(hx) * 0.5, clampX);
            const double sy = std::min(static_cast<double>(hy) * 0.5, clampY);
            const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
            const uint8_t* p00 = src.PixelAddress(ix, iy);
            const uint8_t* p01 = src.PixelAddress(ix, iy + 1);
            out = pixel_ops::Bilinear(sx - ix, sy - iy, hasAlpha, p00, p00 + kBytes, p01, p01 + kBytes);
        }
        std::memcpy(row, out.data(), kBytes);
    }
}
}  // namespace

void RotateProcessor::ProcessRow(Image& image, int y, uint8_t* row) {
    if (!ready_) return;
    const int bytes = image.Depth() / 8;
    size_t width = static_cast<size_t>(newWidth_);
    // The parts of the turn that depend on y alone, once per row.
    const double cx = (newWidth_ - 1) * 0.5, cy = (newHeight_ - 1) * 0.5;
    const double dy = cy - static_cast<double>(y);
    const double rowX = cx + dy * sinInverse_;
    const double rowY = dy * cosInverse_;
    const double* colCos = columnCos_.data();
    const double* colSin = columnSin_.data();
    // Per thread: rows of one picture run on several at once.
    thread_local std::vector<int32_t> turnedX, turnedY;
    turnedX.resize(width);
    turnedY.resize(width);
    int32_t* tx = turnedX.data();
    int32_t* ty = turnedY.data();
    // The source point is turned minus (newSize - sourceSize) / 2: a whole or half pixel. In half
    // pixels it is an integer; inside means 0 to 2 (size - 1), and only the last column and row are
    // clamped to size - 1.1 and need the general sampler.
    const int64_t shiftX = int64_t{newWidth_} - sourceWidth_, shiftY = int64_t{newHeight_} - sourceHeight_;
    const int64_t lastX = 2 * (int64_t{sourceWidth_} - 1), lastY = 2 * (int64_t{sourceHeight_} - 1);
    const double clampX = sourceWidth_ - 1.1, clampY = sourceHeight_ - 1.1;
    // Both half-pixel coordinates move monotonically along the row (each is a rounded product of x
    // with a fixed factor plus a fixed sum), so the inside pixels form one run; find its ends with the
    // same arithmetic and leave the rest of the row alone.
    auto halfX = [&](size_t x) { return 2 * int64_t{RoundHalfAway32(rowX + colCos[x])} - shiftX; };
    auto halfY = [&](size_t x) { return 2 * int64_t{RoundHalfAway32(cy - (rowY - colSin[x]))} - shiftY; };
    size_t begin = 0, end = width;
    NarrowToRun(halfX, lastX, colCos[width - 1] >= colCos[0], begin, end);
    NarrowToRun(halfY, lastY, colSin[width - 1] >= colSin[0], begin, end);
    if (begin >= end) return;
    RoundRow(rowX, cy, rowY, colCos + begin, colSin + begin, end - begin, tx, ty);
    row += begin * static_cast<size_t>(bytes);
    width = end - begin;
    const Image& src = *source_;
    if (bytes == 4) {
        HalfRow<4>(src, tx, ty, width, shiftX, shiftY, lastX, lastY, clampX, clampY, row);
    } else {
        HalfRow<3>(src, tx, ty, width, shiftX, shiftY, lastX, lastY, clampX, clampY, row);
    }
}

// ---- resampling ----

bool ResizeNearest(Image& image, int width, int height) {
    if (!image.IsValid() || width <= 0 || height <= 0 || image.Depth() < 8) return false;
    if (width == image.Width() && height == image.Height()) return false;
    Image source = std::move(image);
    if (!RecreateLike(image, source, width, height)) {
        image = std::move(source);
        return false;
    }
    const int64_t sw = source.Width(), sh = source.Height();
    const int bytes = image.Depth() / 8;
    std::vector<size_t> column(static_cast<size_t>(width));
    for (int64_t x = 0; x < width; ++x)
        column[static_cast<size_t>(x)] = static_cast<size_t>(x * sw / width * bytes);
    RunRowBands(height, 1, [&](int begin, int end) {
        for (int64_t y = begin; y < end; ++y) {
            const uint8_t* s = source.Row(static_cast<int>(y * sh / height));
            uint8_t* d = image.Row(static_cast<int>(y));
            switch (bytes) {
                case 4:
                    for (int x = 0; x < width; ++x, d += 4)
                        std::memcpy(d, s + column[static_cast<size_t>(x)], 4);
                    break;
                case 3:
                    for (int x = 0; x < width; ++x, d += 3)
                        std::memcpy(d, s + column[static_cast<size_t>(x)], 3);
                    break;
                case 2:
                    for (int x = 0; x < width; ++x, d += 2)
                        std::memcpy(d, s + column[static_cast<size_t>(x)], 2);
                    break;
                default:
                    for (int x = 0; x < width; ++x, ++d) *d = s[column[static_cast<size_t>(x)]];
                    break;
            }
        }
    });
    return true;
}

bool ResizeBilinear(Image& image, int width, int height, ProgressSink* progress) {
    if (!image.IsValid() || width <= 0 || height <= 0 || image.Depth() < 24) return false;
    if (width == image.Width() && height == image.Height()) return false;
    Image source = std::move(image);
    // A one-pixel-wide or -high source gets a replicated right or lower neighbour for every sample.
    Image expanded;
    if (source.Width() == 1 || source.Height() == 1) {
        expanded = source;
        expanded.ExpandCanvas(true, 0, 0, source.Width() == 1 ? 1 : 0, source.Height() == 1 ? 1 : 0);
        if (!expanded.IsValid() || expanded.Width() < 2 || expanded.Height() < 2) {
            image = std::move(source);
            return false;
        }
    }
    const Image& src = expanded.IsValid() ? expanded : source;
    if (!RecreateLike(image, src, width, height)) {
        image = std::move(source);
        return false;
    }
    const int64_t sw = src.Width(), sh = src.Height();
    const int bytes = image.Depth() / 8;
    const bool hasAlpha = bytes == 4;
    std::vector<size_t> columnByte(static_cast<size_t>(width));
    std::vector<int64_t> columnRest(static_cast<size_t>(width));
    std::vector<double> columnFraction(static_cast<size_t>(width));
    for (int64_t x = 0; x < width; ++x) {
        int64_t sx = x * sw / width, rx = x * sw % width;
        if (sx >= sw - 1) {
            sx = sw - 2;
            rx = width - 1;
        }
        const auto i = static_cast<size_t>(x);
        columnByte[i] = static_cast<size_t>(sx * bytes);
        columnRest[i] = rx;
        columnFraction[i] = static_cast<double>(rx) / width;
    }
    if (progress) progress->Start();
    auto rows = [&](int64_t firstRow, int64_t endRow) {
        for (int64_t y = firstRow; y < endRow; ++y) {
            int64_t sy = y * sh / height, ry = y * sh % height;
            if (sy >= sh - 1) {
                sy = sh - 2;
                ry = height - 1;
            }
            const double fy = static_cast<double>(ry) / height;
            const uint8_t* top = src.Row(static_cast<int>(sy));
            const uint8_t* bottom = src.Row(static_cast<int>(sy + 1));
            uint8_t* d = image.Row(static_cast<int>(y));
            for (size_t x = 0; x < static_cast<size_t>(width); ++x, d += bytes) {
                const uint8_t* p00 = top + columnByte[x];
                if (columnRest[x] == 0 && ry == 0) {
                    std::memcpy(d, p00, static_cast<size_t>(bytes));
                    continue;
                }
                const uint8_t* p01 = bottom + columnByte[x];
                const auto out =
                    pixel_ops::Bilinear(columnFraction[x], fy, hasAlpha, p00, p00 + bytes, p01, p01 + bytes);
                std::memcpy(d, out.data(), static_cast<size_t>(bytes));
            }
        }
    };
    RunRowBands(height, 1, rows, [&, reported = 0](int done) mutable {
        // One call per finished row, on this thread: y * 100 / height after row y.
        if (!progress) return;
        for (; reported < done; ++reported)
            progress->SetPercent(static_cast<int>(reported * int64_t{100} / height));
    });
    return true;
}

// ---- one-colour fill ----

FillColourProcessor::FillColourProcessor(uint32_t colour, int alpha)
    : bytes_{static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
             static_cast<uint8_t>(colour), 0},
      alpha_(alpha) {}

bool FillColourProcessor::ValidateImage(const Image& image) {
    if (!ImageMeetsRule(image, ImageRule::kTrueColour)) return false;
    writeAlpha_ = alpha_ != -1 && image.Depth() == 32;
    if (writeAlpha_) bytes_[3] = static_cast<uint8_t>(std::clamp(alpha_, 0, 255));
    return true;
}

void FillColourProcessor::ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* pixel) {
    std::memcpy(pixel, bytes_, writeAlpha_ ? 4 : 3);
}

void FillColourProcessor::ProcessRow(Image& image, int /*y*/, uint8_t* row) {
    const int width = image.Width();
    const int bytes = image.Depth() / 8;
    if (writeAlpha_) {
        for (int x = 0; x < width; ++x, row += 4) std::memcpy(row, bytes_, 4);
        return;
    }
    for (int x = 0; x < width; ++x, row += bytes) std::memcpy(row, bytes_, 3);
}

}  // namespace glimmora
