#include "image/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include <sys/mman.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "image/channel_rows.h"
#include "image/row_bands.h"

#if defined(__SANITIZE_ADDRESS__)
#define GLIMMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLIMMORA_ASAN 1
#endif
#endif
#ifndef GLIMMORA_ASAN
#define GLIMMORA_ASAN 0
#endif

namespace glimmora {

size_t SerializableObject::Serialize(bool, uint8_t*, size_t) {
    return 0;
}

namespace {
// Blocks from this size on come straight from the kernel as huge pages: a fault per 2 MiB instead of
// per 4 KiB, which is what fresh pictures (a capture, a resize, a loaded file) pay most for.
[[maybe_unused]] constexpr size_t kMapFrom = size_t{4} << 20;  // unused by sanitizer builds
// The last freed block is kept for the next one of the same size, so copies and undo snapshots of one
// picture reuse pages instead of faulting in fresh ones; larger blocks go back at once.
constexpr size_t kKeepAtMost = size_t{128} << 20;

struct SpareBlock {
    std::mutex mutex;
    void* pixels = nullptr;
    size_t bytes = 0;
};

SpareBlock& Spare() {
    // Never destroyed: pictures may outlive static destruction.
    static SpareBlock* spare = new SpareBlock;
    return *spare;
}
}  // namespace

void PixelBlockDeleter::operator()(uint8_t* p) const {
    if (!mappedBytes) {
        std::free(p);
        return;
    }
    void* drop = p;
    size_t dropBytes = mappedBytes;
    if (mappedBytes <= kKeepAtMost) {
        SpareBlock& spare = Spare();
        std::lock_guard<std::mutex> lock(spare.mutex);
        std::swap(drop, spare.pixels);
        std::swap(dropBytes, spare.bytes);
    }
    if (drop) ::munmap(drop, dropBytes);
}

// Huge pages cut the page faults of a 24-megapixel picture from thousands to dozens. Sanitizer builds
// keep the heap so overruns are caught.
std::unique_ptr<uint8_t[], Image::FreeDeleter> Image::AllocatePixels(size_t bytes, bool zeroed) {
#if !GLIMMORA_ASAN
    if (bytes >= kMapFrom) {
        void* p = nullptr;
        {
            SpareBlock& spare = Spare();
            std::lock_guard<std::mutex> lock(spare.mutex);
            if (spare.pixels && spare.bytes == bytes) {
                p = spare.pixels;
                spare.pixels = nullptr;
                spare.bytes = 0;
            }
        }
        if (p) {
            if (zeroed) std::memset(p, 0, bytes);
        } else {
            p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) return nullptr;
            ::madvise(p, bytes, MADV_HUGEPAGE);
        }
        return std::unique_ptr<uint8_t[], FreeDeleter>(static_cast<uint8_t*>(p), FreeDeleter{bytes});
    }
#endif
    return std::unique_ptr<uint8_t[], FreeDeleter>(
        static_cast<uint8_t*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
}

Image::Image(const Image& other) {
    CopyFrom(other);
}

Image& Image::operator=(const Image& other) {
    if (this != &other) {
        if (other.IsValid())
            CopyFrom(other);
        else
            Clear();
    }
    return *this;
}

Image::Image(Image&& other) noexcept {
    *this = std::move(other);
}

Image& Image::operator=(Image&& other) noexcept {
    if (this == &other) return *this;
    posX_ = other.posX_;
    posY_ = other.posY_;
    header_ = other.header_;
    pixels_ = std::move(other.pixels_);
    rows_ = std::move(other.rows_);
    std::memcpy(masks_, other.masks_, sizeof masks_);
    palette_ = std::move(other.palette_);
    frameDelay_ = other.frameDelay_;
    stride_ = other.stride_;
    other.header_ = BitmapInfoHeader{};
    other.stride_ = 0;
    other.rows_.clear();
    other.palette_.clear();
    return *this;
}

Image::~Image() = default;

void Image::Clear() {
    pixels_.reset();
    rows_.clear();
    palette_.clear();
    header_ = BitmapInfoHeader{};
    stride_ = 0;
    masks_[0] = masks_[1] = masks_[2] = 0;
}

bool Image::Create(int width, int height, int depth) {
    BitmapInfoHeader h;
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = static_cast<uint16_t>(depth);
    if (depth != h.biBitCount) return false;
    return Create(&h);
}

bool Image::FitsBound(int64_t width, int64_t height, int depth) {
    if (width <= 0 || height <= 0 || depth <= 0 || width > INT32_MAX || height > INT32_MAX) return false;
    const uint64_t stride = ((static_cast<uint64_t>(width) * static_cast<uint64_t>(depth) + 31) / 32) * 4;
    const uint64_t h = static_cast<uint64_t>(height);
    // Checked before multiplying: a tall picture must not wrap the product.
    if (stride > kMaxPixelBytes || h > kMaxPixelBytes) return false;
    const uint64_t palette = depth <= 8 ? (uint64_t{1} << depth) * sizeof(PaletteEntry) : 0;
    return stride * h + h * sizeof(uint8_t*) + palette <= kMaxPixelBytes;
}

bool Image::Create(const BitmapInfoHeader* header, const uint32_t* masks) {
    return CreateBlock(header, masks, true);
}

bool Image::CreateBlock(const BitmapInfoHeader* header, const uint32_t* masks, bool zeroed) {
    if (!header || header->biWidth <= 0 || header->biHeight <= 0) return false;
    if (header->biCompression != kBiRgb && header->biCompression != kBiBitfields) return false;
    const int depth = header->biBitCount;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;

    if (!FitsBound(header->biWidth, header->biHeight, depth)) return false;
    const uint64_t stride = ((static_cast<uint64_t>(header->biWidth) * depth + 31) / 32) * 4;
    const uint64_t bytes = stride * static_cast<uint64_t>(header->biHeight);

    // A new image is black (and transparent) without a clear.
    std::unique_ptr<uint8_t[], FreeDeleter> block = AllocatePixels(bytes, zeroed);
    if (!block) return false;
    std::vector<uint8_t*> rows(static_cast<size_t>(header->biHeight));
    std::vector<PaletteEntry> palette;
    if (depth <= 8) {
        const int n = 1 << depth;
        palette.resize(static_cast<size_t>(n));
        const int step = 255 / (n - 1);
        for (int i = 0; i < n; ++i) {
            const auto v = static_cast<uint8_t>(i * step);
            palette[static_cast<size_t>(i)] = PaletteEntry{v, v, v, 0};
        }
    }

    BitmapInfoHeader h{};
    h.biWidth = header->biWidth;
    h.biHeight = header->biHeight;
    h.biBitCount = static_cast<uint16_t>(depth);
    h.biCompression = depth == 16 ? header->biCompression : kBiRgb;
    h.biXPelsPerMeter = header->biXPelsPerMeter;
    h.biYPelsPerMeter = header->biYPelsPerMeter;

    header_ = h;
    stride_ = static_cast<int>(stride);
    pixels_ = std::move(block);
    palette_ = std::move(palette);
    rows_ = std::move(rows);
    uint8_t* line = pixels_.get() + static_cast<size_t>(h.biHeight - 1) * stride;
    for (auto& r : rows_) {
        r = line;
        line -= stride;
    }
    if (depth == 16 && h.biCompression == kBiBitfields && masks) {
        std::memcpy(masks_, masks, sizeof masks_);
    } else if (depth == 16) {
        masks_[0] = 0x7C00;
        masks_[1] = 0x03E0;
        masks_[2] = 0x001F;
    } else {
        masks_[0] = masks_[1] = masks_[2] = 0;
    }
    return true;
}

Image& Image::CopyFrom(const Image& other) {
    if (!other.IsValid() || &other == this) return *this;
    if (!CreateBlock(&other.header_, other.masks_, false)) return *this;
    // In row bands: the fresh block's pages fault in on every thread at once (undo snapshots, copies).
    const auto stride = static_cast<size_t>(stride_);
    uint8_t* const to = pixels_.get();
    const uint8_t* const from = other.pixels_.get();
    RunRowBands(Height(), 1, [&](int begin, int end) {
        const size_t first = stride * static_cast<size_t>(begin);
        std::memcpy(to + first, from + first, stride * static_cast<size_t>(end - begin));
    });
    CopyPaletteFrom(other);
    posX_ = other.posX_;
    posY_ = other.posY_;
    frameDelay_ = other.frameDelay_;
    return *this;
}

uint32_t Image::PixelValue(int x, int y) const {
    if (!IsValid() || x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
    const uint8_t* row = Row(y);
    switch (Depth()) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1u;
        case 4:
            return (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0Fu;
        case 8:
            return row[x];
        case 16:
            return static_cast<uint32_t>(row[2 * x]) | static_cast<uint32_t>(row[2 * x + 1]) << 8;
        case 24: {
            const uint8_t* p = row + 3 * static_cast<size_t>(x);
            return p[0] + p[1] * 256u + p[2] * 65536u;
        }
        case 32: {
            uint32_t v;
            std::memcpy(&v, row + 4 * static_cast<size_t>(x), 4);
            return v;
        }
    }
    return 0;
}

bool Image::GetPalette(int first, int count, PaletteEntry* out) const {
    if (Depth() > 8 || !IsValid() || first < 0 || !out) return false;
    // Entries past the palette are skipped; counted in 64 bits so a huge first cannot wrap.
    for (int64_t i = 0; i < count && int64_t{first} + i < PaletteSize(); ++i)
        out[i] = palette_[static_cast<size_t>(first + i)];
    return true;
}

bool Image::SetPalette(int first, int count, const PaletteEntry* in) {
    if (Depth() > 8 || !IsValid() || first < 0 || !in) return false;
    for (int64_t i = 0; i < count && int64_t{first} + i < PaletteSize(); ++i)
        palette_[static_cast<size_t>(first + i)] = in[i];
    return true;
}

void Image::CopyPaletteFrom(const Image& other) {
    if (&other == this || Depth() > 8 || Depth() != other.Depth() || palette_.empty() ||
        other.palette_.size() != palette_.size())
        return;
    palette_ = other.palette_;
}

void Image::SetAlphaAll(uint8_t alpha) {
    if (!IsValid() || Depth() != 32) return;
    for (int y = 0; y < Height(); ++y) {
        uint8_t* p = Row(y) + 3;
        for (int x = 0; x < Width(); ++x, p += 4) *p = alpha;
    }
}

std::vector<uint8_t> Image::MakeBitmapInfo() const {
    std::vector<uint8_t> block;
    if (!IsValid()) return block;
    const size_t extra = Depth() <= 8 ? palette_.size() * 4 : 12;
    block.resize(sizeof(BitmapInfoHeader) + extra);
    std::memcpy(block.data(), &header_, sizeof header_);
    if (Depth() <= 8)
        std::memcpy(block.data() + 40, palette_.data(), extra);
    else
        std::memcpy(block.data() + 40, masks_, 12);
    return block;
}

#if defined(__x86_64__) && defined(__GNUC__)
namespace {
// 3 to 4 bytes a pixel, four pixels per shuffle, where the processor has SSSE3 (checked by the caller);
// each load reads 16 bytes for 12, so it stops two pixels before the end of the row.
__attribute__((target("ssse3"))) int WidenSsse3(uint8_t* d, const uint8_t* s, int w) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= w; x += 4, d += 16, s += 12) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(_mm_shuffle_epi8(in, order), alpha));
    }
    return x;
}
}  // namespace
#endif

void CopyChannels(uint8_t* d, int dstBytes, const uint8_t* s, int srcBytes, int w) {
    if (w <= 0) return;
    int x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool haveSsse3 = __builtin_cpu_supports("ssse3");
    if (dstBytes == 4 && srcBytes == 3 && haveSsse3) {
        x = WidenSsse3(d, s, w);
        d += static_cast<ptrdiff_t>(x) * 4;
        s += static_cast<ptrdiff_t>(x) * 3;
    }
#endif
    // Four pixels at a time through 64-bit words (12 packed bytes <-> 16 padded bytes), little-endian.
    if (dstBytes == 4 && srcBytes == 3) {
        for (; x + 4 <= w; x += 4, d += 16, s += 12) {
            uint64_t a;
            uint32_t b;
            std::memcpy(&a, s, 8);
            std::memcpy(&b, s + 8, 4);
            const uint64_t q0 = (a & 0xFFFFFF) | ((a >> 24) & 0xFFFFFF) << 32 | 0xFF000000FF000000ull;
            const uint64_t q1 = ((a >> 48) | static_cast<uint64_t>(b & 0xFF) << 16) |
                                static_cast<uint64_t>(b >> 8) << 32 | 0xFF000000FF000000ull;
            std::memcpy(d, &q0, 8);
            std::memcpy(d + 8, &q1, 8);
        }
        for (; x < w; ++x, d += 4, s += 3) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
        }
        return;
    }
    if (dstBytes == 3 && srcBytes == 4) {
        for (; x + 4 <= w; x += 4, d += 12, s += 16) {
            uint64_t a, b;
            std::memcpy(&a, s, 8);
            std::memcpy(&b, s + 8, 8);
            const uint64_t lo = (a & 0xFFFFFF) | ((a >> 32) & 0xFFFFFF) << 24 | (b & 0xFFFF) << 48;
            const uint32_t hi = static_cast<uint32_t>(((b >> 16) & 0xFF) | ((b >> 32) & 0xFFFFFF) << 8);
            std::memcpy(d, &lo, 8);
            std::memcpy(d + 8, &hi, 4);
        }
        for (; x < w; ++x, d += 3, s += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
        return;
    }
    for (; x < w; ++x, d += dstBytes, s += srcBytes) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

bool Image::ConvertDepth(int target) {
    if (!IsValid() || (target != 24 && target != 32)) return false;
    if (target == Depth()) return true;
    Image src;
    src = std::move(*this);
    BitmapInfoHeader h = src.header_;
    h.biBitCount = static_cast<uint16_t>(target);
    h.biCompression = kBiRgb;
    // Every pixel is written below; only the filler at the end of each line needs clearing.
    if (!CreateBlock(&h, nullptr, false)) {
        *this = std::move(src);
        return false;
    }
    const size_t used = static_cast<size_t>(Width()) * static_cast<size_t>(target / 8);
    if (used < static_cast<size_t>(stride_))
        for (int y = 0; y < Height(); ++y) std::memset(Row(y) + used, 0, static_cast<size_t>(stride_) - used);
    posX_ = src.posX_;
    posY_ = src.posY_;
    frameDelay_ = src.frameDelay_;
    const int w = Width();
    const int step = target / 8;
    const int sd = src.Depth();
    const bool is565 = sd == 16 && src.masks_[1] == 0x07E0;
    RunRowBands(Height(), 1, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint8_t* d = Row(y);
            const uint8_t* s = src.Row(y);
            if (sd == 24 || sd == 32) {
                CopyChannels(d, step, s, sd / 8, w);
            } else if (sd == 16) {
                for (int x = 0; x < w; ++x, d += step, s += 2) {
                    const uint32_t v = s[0] | static_cast<uint32_t>(s[1]) << 8;
                    if (is565) {
                        d[2] = static_cast<uint8_t>((v >> 8) & 0xF8);
                        d[1] = static_cast<uint8_t>((v >> 3) & 0xFC);
                    } else {
                        d[2] = static_cast<uint8_t>((v >> 7) & 0xF8);
                        d[1] = static_cast<uint8_t>((v >> 2) & 0xF8);
                    }
                    d[0] = static_cast<uint8_t>((v << 3) & 0xF8);
                }
            } else {
                for (int x = 0; x < w; ++x, d += step) {
                    const PaletteEntry& e = src.palette_[src.PixelValue(x, y)];
                    d[0] = e.blue;
                    d[1] = e.green;
                    d[2] = e.red;
                }
            }
        }
    });
    if (target == 32 && sd != 24) SetAlphaAll(255);
    return true;
}

void Image::ExpandCanvas(bool replicateEdges, int left, int top, int right, int bottom) {
    if (!IsValid() || Depth() < 8 || left < 0 || top < 0 || right < 0 || bottom < 0) return;
    if ((left | top | right | bottom) == 0) return;
    const int64_t nw = static_cast<int64_t>(Width()) + left + right;
    const int64_t nh = static_cast<int64_t>(Height()) + top + bottom;
    if (nw > INT32_MAX || nh > INT32_MAX) return;
    Image src;
    src = std::move(*this);
    BitmapInfoHeader h = src.header_;
    h.biWidth = static_cast<int32_t>(nw);
    h.biHeight = static_cast<int32_t>(nh);
    if (!Create(&h, src.masks_)) {
        *this = std::move(src);
        return;
    }
    posX_ = src.posX_ - left;
    posY_ = src.posY_ - top;
    frameDelay_ = src.frameDelay_;
    Paste(src, left, top);
    if (!replicateEdges) return;

    const int bpp = Depth() / 8;
    const int w = src.Width();
    const int hh = src.Height();
    auto fillRun = [bpp](uint8_t* d, const uint8_t* px, int count) {
        for (int i = 0; i < count; ++i, d += bpp) std::memcpy(d, px, static_cast<size_t>(bpp));
    };
    // Left and right edges of the picture rows.
    for (int y = 0; y < hh; ++y) {
        uint8_t* row = Row(top + y);
        fillRun(row, row + static_cast<size_t>(left) * bpp, left);
        fillRun(row + static_cast<size_t>(left + w) * bpp, row + static_cast<size_t>(left + w - 1) * bpp,
                right);
    }
    // Rows above and below repeat the first and last (already widened) rows; the widened row carries
    // the corner pixels too.
    const size_t fullBytes = static_cast<size_t>(Width()) * bpp;
    for (int y = 0; y < top; ++y) std::memcpy(Row(y), Row(top), fullBytes);
    for (int y = 0; y < bottom; ++y) std::memcpy(Row(top + hh + y), Row(top + hh - 1), fullBytes);
}

bool Image::Paste(const Image& source, int x, int y) {
    if (!IsValid() || !source.IsValid() || source.Depth() != Depth() || Depth() < 8) return false;
    // Onto itself the rows overlap: paste from a copy.
    if (&source == this) {
        const Image copy(source);
        return copy.IsValid() && Paste(copy, x, y);
    }
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + source.Width(), Width());
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + source.Height(), Height());
    if (x0 >= x1 || y0 >= y1) return false;
    const int bpp = Depth() / 8;
    const size_t n = static_cast<size_t>(x1 - x0) * bpp;
    for (int64_t yy = y0; yy < y1; ++yy) {
        std::memcpy(Row(static_cast<int>(yy)) + x0 * bpp,
                    source.Row(static_cast<int>(yy - y)) + (x0 - x) * bpp, n);
    }
    return true;
}

void Image::FillRect(Rect rect, const uint8_t* pixelBytes) {
    if (!IsValid() || !pixelBytes || Depth() < 8) return;
    const int l = std::max(rect.left, 0), t = std::max(rect.top, 0);
    const int r = std::min(rect.right, Width()), b = std::min(rect.bottom, Height());
    if (l >= r || t >= b) return;
    const int bpp = Depth() / 8;
    for (int y = t; y < b; ++y) {
        uint8_t* d = Row(y) + static_cast<size_t>(l) * bpp;
        for (int x = l; x < r; ++x, d += bpp) std::memcpy(d, pixelBytes, static_cast<size_t>(bpp));
    }
}

size_t Image::Serialize(bool storing, uint8_t* buffer, size_t capacity) {
    if (!buffer) return 0;
    if (storing) {
        const size_t total = SerializedSize();
        if (total == 0 || capacity < total) return 0;
        uint8_t* p = buffer;
        std::memcpy(p, &header_, 40);
        std::memcpy(p + 40, masks_, 12);
        std::memcpy(p + 52, pixels_.get(), PixelBytes());
        const int32_t pos[2] = {posX_, posY_};
        std::memcpy(p + 52 + PixelBytes(), pos, 8);
        return total;
    }
    if (capacity < 60) return 0;
    BitmapInfoHeader h;
    uint32_t m[3];
    std::memcpy(static_cast<void*>(&h), buffer, 40);
    std::memcpy(m, buffer + 40, 12);
    Image loaded;
    if (!loaded.Create(&h, m)) return 0;
    const size_t total = loaded.PixelBytes() + 60;
    if (capacity < total) return 0;
    std::memcpy(loaded.pixels_.get(), buffer + 52, loaded.PixelBytes());
    int32_t pos[2];
    std::memcpy(pos, buffer + 52 + loaded.PixelBytes(), 8);
    loaded.posX_ = pos[0];
    loaded.posY_ = pos[1];
    const int delay = frameDelay_;
    *this = std::move(loaded);
    frameDelay_ = delay;
    return total;
}

std::vector<uint8_t> Image::ToDibBlock() const {
    std::vector<uint8_t> block;
    if (!IsValid() || Depth() < 24) return block;
    block.resize(40 + PixelBytes());
    std::memcpy(block.data(), &header_, 40);
    std::memcpy(block.data() + 40, pixels_.get(), PixelBytes());
    return block;
}

bool Image::FromDibBlock(const uint8_t* data, size_t size) {
    if (!data || size < 40) return false;
    BitmapInfoHeader h;
    std::memcpy(static_cast<void*>(&h), data, 40);
    if (h.biSize < 40 || h.biSize > size) return false;
    size_t offset = h.biSize;
    uint32_t masks[3] = {0, 0, 0};
    const bool bitfields = h.biCompression == kBiBitfields;
    if (bitfields && h.biSize == 40) {
        if (size - offset < 12) return false;
        std::memcpy(masks, data + offset, 12);
        offset += 12;
    } else if (bitfields && h.biSize >= 52) {
        std::memcpy(masks, data + 40, 12);
    }
    Image img;
    if (!img.Create(&h, masks)) return false;
    if (img.Depth() <= 8) {
        const size_t palBytes = img.palette_.size() * 4;
        if (size - offset < palBytes) return false;
        std::memcpy(img.palette_.data(), data + offset, palBytes);
        offset += palBytes;
    }
    // A short block leaves the missing lines black rather than failing the paste.
    const size_t n = std::min(size - offset, img.PixelBytes());
    std::memcpy(img.pixels_.get(), data + offset, n);
    if (img.Depth() != 32) {
        if (!img.ConvertDepth(32)) return false;
    } else if (bitfields) {
        img.SetAlphaAll(255);
    }
    *this = std::move(img);
    return true;
}

}  // namespace glimmora
