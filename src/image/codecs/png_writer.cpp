#include "image/codecs/png_writer.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/image_codec.h"
#include "image/row_bands.h"

namespace glimmora {

namespace {

enum : uint8_t { kGrey = 0, kRgb = 2, kPalette = 3, kRgba = 6 };
enum : uint8_t { kFilterNone = 0, kFilterUp = 2 };

// How the picture's rows become the file's rows.
struct Layout {
    uint8_t colourType = kRgb;
    uint8_t bitDepth = 8;
    bool invert = false;  // grey samples written inverted: a white-to-black palette
    bool filter =
        false;  // a filter chosen per row; palettes and sub-byte rows stay unfiltered, as libpng does
    int pixelBytes = 3;   // bytes a pixel takes in the file (filtered rows only)
    size_t rowBytes = 0;  // a file row without its filter byte
};

// FreeImage's reading of a palette (FreeImage_GetColorType), which decided the colour type it wrote.
enum class PaletteKind { Colour, Grey, GreyInverted, FreeImageOwn };

bool IsGrey(const PaletteEntry& e, int v) {
    return e.red == v && e.green == v && e.blue == v;
}

PaletteKind KindOf(const Image& image) {
    const PaletteEntry* p = image.Palette();
    const int n = image.PaletteSize();
    if (!p) return PaletteKind::FreeImageOwn;
    if (image.Depth() == 1) {
        if (IsGrey(p[0], 0) && IsGrey(p[1], 255)) return PaletteKind::Grey;
        if (IsGrey(p[0], 255) && IsGrey(p[1], 0)) return PaletteKind::GreyInverted;
        return PaletteKind::Colour;
    }
    // Grey to FreeImage: every entry grey and equal to its index or to the reverse index.
    bool ramp = true, reversed = true;
    for (int i = 0; i < n; ++i) {
        if (p[i].red != p[i].green || p[i].red != p[i].blue) return PaletteKind::Colour;
        if (p[i].red != i && p[i].red != n - 1 - i) return PaletteKind::Colour;
        ramp = ramp && p[i].red == i;
        reversed = reversed && p[i].red == n - 1 - i;
    }
    // It writes a 4-bit one as 4-bit grey samples (entries 0-15 read back as 0-255) and inverts every sample
    // of an 8-bit one that mixes the two: those files stay its own.
    if (image.Depth() != 8 || (!ramp && !reversed)) return PaletteKind::FreeImageOwn;
    return ramp ? PaletteKind::Grey : PaletteKind::GreyInverted;
}

bool Covered(const Image& image) {
    const int d = image.Depth();
    if (!image.IsValid()) return false;
    if (d == 24 || d == 32) return true;
    return (d == 1 || d == 4 || d == 8) && KindOf(image) != PaletteKind::FreeImageOwn;
}

// Whether alpha is 255 everywhere (then the alpha channel is left out, as the editor's route always did).
bool AllOpaque(const Image& image) {
    std::atomic<bool> opaque{true};
    RunRowBands(image.Height(), 64, [&](int begin, int end) {
        for (int y = begin; y < end && opaque.load(std::memory_order_relaxed); ++y) {
            const uint8_t* p = image.Row(y) + 3;
            uint8_t all = 255;
            for (int x = 0; x < image.Width(); ++x, p += 4) all &= *p;
            if (all != 255) opaque = false;
        }
    });
    return opaque;
}

Layout LayoutFor(const Image& image) {
    Layout l;
    const int d = image.Depth();
    const size_t w = static_cast<size_t>(image.Width());
    if (d <= 8) {
        const PaletteKind kind = KindOf(image);
        l.colourType = kind == PaletteKind::Colour ? kPalette : kGrey;
        l.invert = kind == PaletteKind::GreyInverted;
        l.bitDepth = static_cast<uint8_t>(d);
        l.filter = d == 8 && l.colourType == kGrey;
        l.pixelBytes = 1;
        l.rowBytes = (w * static_cast<size_t>(d) + 7) / 8;
        return l;
    }
    l.colourType = d == 32 && !AllOpaque(image) ? kRgba : kRgb;
    l.filter = true;
    l.pixelBytes = l.colourType == kRgba ? 4 : 3;
    l.rowBytes = w * static_cast<size_t>(l.pixelBytes);
    return l;
}

// Our BGR(A) pixels as the file's RGB(A), in portable code; returns nothing, converts w pixels.
void SwapPortable(const uint8_t* s, int step, uint8_t* out, int outStep, int w) {
    for (int x = 0; x < w; ++x, s += step, out += outStep) {
        out[0] = s[2];
        out[1] = s[1];
        out[2] = s[0];
        if (outStep == 4) out[3] = s[3];
    }
}

#if defined(__x86_64__)
// One shuffle a step; stores may run past the pixels they convert (the next store covers the rest), so
// the loops stop while a whole store still fits in the row.
__attribute__((target("ssse3"))) void SwapSsse3(const uint8_t* s, int step, uint8_t* out, int outStep,
                                                int w) {
    int x = 0;
    if (step == 3) {  // five pixels of 16 bytes
        const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
        for (; x + 6 <= w; x += 5)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + ptrdiff_t{x} * 3),
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + ptrdiff_t{x} * 3)),
                                 order));
    } else if (outStep == 3) {  // four pixels, their spare bytes dropped
        const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
        for (; x + 6 <= w; x += 4)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + ptrdiff_t{x} * 3),
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + ptrdiff_t{x} * 4)),
                                 order));
    } else {  // four pixels with their alpha
        const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
        for (; x + 4 <= w; x += 4)
            _mm_storeu_si128(
                reinterpret_cast<__m128i*>(out + ptrdiff_t{x} * 4),
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + ptrdiff_t{x} * 4)),
                                 order));
    }
    SwapPortable(s + ptrdiff_t{x} * step, step, out + ptrdiff_t{x} * outStep, outStep, w - x);
}

// Adler-32 32 bytes a step: the byte sums and the sums weighted by distance from the end of the step go
// in vector lanes, the s1 carried into each step in a third; folded modulo 65521 every 5504 bytes, before
// any lane could overflow (the bound zlib's own loop keeps).
__attribute__((target("ssse3"))) uLong Adler32Ssse3(uLong adler, const uint8_t* p, size_t n) {
    constexpr uint32_t kBase = 65521;
    constexpr size_t kSteps = 172;  // 32-byte steps between folds
    uint32_t s1 = adler & 0xFFFF, s2 = (adler >> 16) & 0xFFFF;
    const __m128i high = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i low = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i ones = _mm_set1_epi16(1), zero = _mm_setzero_si128();
    while (n >= 32) {
        const size_t steps = std::min(n / 32, kSteps);
        __m128i bytes = zero, before = zero, weighted = zero;
        for (size_t i = 0; i < steps; ++i, p += 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            before = _mm_add_epi32(before, bytes);
            bytes = _mm_add_epi32(bytes, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(a, high), ones));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(b, low), ones));
        }
        n -= steps * 32;
        const auto sum = [](__m128i v) {
            alignas(16) uint32_t lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
            return uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
        };
        const uint64_t s2wide = s2 + 32 * (uint64_t{s1} * steps + sum(before)) + sum(weighted);
        s1 = static_cast<uint32_t>((s1 + sum(bytes)) % kBase);
        s2 = static_cast<uint32_t>(s2wide % kBase);
    }
    return adler32_z(uLong{s2} << 16 | s1, p, n);
}
#endif

using SwapFn = void (*)(const uint8_t*, int, uint8_t*, int, int);
using AdlerFn = uLong (*)(uLong, const uint8_t*, size_t);

SwapFn Swapper() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3")) return SwapSsse3;
#endif
    return SwapPortable;
}

uLong Adler32(uLong adler, const uint8_t* p, size_t n) {
#if defined(__x86_64__)
    static const AdlerFn fast = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") ? AdlerFn{Adler32Ssse3} : AdlerFn{nullptr};
    }();
    if (fast) return fast(adler, p, n);
#endif
    return adler32_z(adler, p, n);
}

// Row y as the file holds it, before filtering: RGB(A) from our BGR(A), palette indices and grey as they are.
void FileRow(const Image& image, const Layout& l, int y, uint8_t* out) {
    static const SwapFn swap = Swapper();
    const uint8_t* s = image.Row(y);
    if (image.Depth() <= 8) {
        if (l.invert) {
            for (size_t i = 0; i < l.rowBytes; ++i) out[i] = static_cast<uint8_t>(~s[i]);
        } else {
            std::memcpy(out, s, l.rowBytes);
        }
        return;
    }
    swap(s, image.Depth() / 8, out, l.pixelBytes, image.Width());
}

// Rows where most bytes repeat the pixel to their left (flat panels, text on a plain ground) compress best
// as they are: deflate finds the repeated runs and glyphs. Others (photographs, gradients) go as their
// difference from the row above. On a terminal screen this gives a file a fifth smaller than libpng's
// adaptive choice, on a photograph the size of its best single filter, at the cost of one compare a byte.
bool MostlyRuns(const uint8_t* row, size_t n, int pixelBytes) {
    const size_t step = static_cast<size_t>(pixelBytes);
    if (n <= step) return true;
    size_t same = 0;
    for (size_t i = step; i < n; ++i) same += row[i] == row[i - step];
    return same * 2 >= n - step;
}

// One band's share of the zlib stream: a run of raw deflate blocks ending byte-aligned (a sync flush) so the
// next band's blocks can follow it, or, for the last band, the final block. The first band starts with the
// zlib header; the Adler-32 of the whole stream is added after the last one.
struct Band {
    std::vector<uint8_t> data;
    size_t used = 0;
    uLong adler = 1;      // of this band's filtered rows
    size_t filtered = 0;  // their byte count
    uLong crc = 0;        // of "IDAT" and data[0, used)
    bool ok = false;
};

class BandCompressor {
  public:
    explicit BandCompressor(int level) : level_(level) {
        ok_ = deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~BandCompressor() {
        if (ok_) deflateEnd(&z_);
    }
    BandCompressor(const BandCompressor&) = delete;
    BandCompressor& operator=(const BandCompressor&) = delete;

    bool Ready() const { return ok_; }
    int Level() const { return level_; }
    bool Reset() { return deflateReset(&z_) == Z_OK; }

    // Compresses n bytes into the band; flush as deflate's. Throws std::bad_alloc when the band cannot grow.
    bool Feed(Band& band, const uint8_t* data, size_t n, int flush) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(n);
        for (;;) {
            if (band.data.size() - band.used < 4096)
                band.data.resize(std::max<size_t>(band.data.size() * 2, band.used + 65536));
            z_.next_out = band.data.data() + band.used;
            z_.avail_out = static_cast<uInt>(std::min<size_t>(band.data.size() - band.used, 1u << 30));
            const int result = deflate(&z_, flush);
            band.used = static_cast<size_t>(z_.next_out - band.data.data());
            if (result == Z_STREAM_ERROR) return false;
            // Room left over: all input taken and the flush done.
            if (z_.avail_out != 0) return true;
        }
    }

  private:
    z_stream z_{};
    int level_;
    bool ok_ = false;
};

// Each thread keeps its compressor (a quarter of a megabyte of zlib state) for the next band and the next
// picture: making it anew for every band cost more page faults than its band's rows. Null when zlib has no
// memory for one.
BandCompressor* CompressorFor(int level) {
    thread_local std::unique_ptr<BandCompressor> kept;
    if (kept && kept->Level() == level && kept->Reset()) return kept.get();
    kept.reset();
    auto made = std::make_unique<BandCompressor>(level);
    if (made->Ready()) kept = std::move(made);
    return kept.get();
}

uint8_t ZlibHeaderLevelBits(int level) {
    return static_cast<uint8_t>(level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3);
}

// Rows [y0, y1) filtered and compressed into band; last: the band that ends the stream.
bool CompressBand(BandCompressor& z, const Image& image, const Layout& l, int level, int y0, int y1,
                  bool last, Band& band) {
    const size_t n = l.rowBytes + 1;
    std::vector<uint8_t> rows(3 * n);
    uint8_t* above = rows.data();
    uint8_t* row = above + n;
    uint8_t* up = row + n;
    band.data.resize(std::max<size_t>(4096, n * static_cast<size_t>(y1 - y0) / 32));
    if (y0 == 0) {
        const uint8_t cmf = 0x78;  // deflate, 32 KiB window
        uint8_t flg = static_cast<uint8_t>(ZlibHeaderLevelBits(level) << 6);
        flg = static_cast<uint8_t>(flg + 31 - (cmf * 256 + flg) % 31);
        band.data[0] = cmf;
        band.data[1] = flg;
        band.used = 2;
    }
    if (l.filter && y0 > 0) FileRow(image, l, y0 - 1, above + 1);
    for (int y = y0; y < y1; ++y) {
        FileRow(image, l, y, row + 1);
        const uint8_t* feed = row;
        if (l.filter && y > 0 && !MostlyRuns(row + 1, l.rowBytes, l.pixelBytes)) {
            up[0] = kFilterUp;
            for (size_t i = 1; i < n; ++i) up[i] = static_cast<uint8_t>(row[i] - above[i]);
            feed = up;
        } else {
            row[0] = kFilterNone;
        }
        band.adler = Adler32(band.adler, feed, n);
        const int flush = y + 1 < y1 ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        if (!z.Feed(band, feed, n, flush)) return false;
        std::swap(above, row);
    }
    band.filtered = n * static_cast<size_t>(y1 - y0);
    band.crc = crc32_z(crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4), band.data.data(), band.used);
    return true;
}

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

class PngOut {
  public:
    explicit PngOut(std::FILE* file) : file_(file) {}
    bool Put(const void* data, size_t n) {
        ok_ = ok_ && (n == 0 || std::fwrite(data, 1, n, file_) == n);
        return ok_;
    }
    // A chunk whose CRC the caller computed (over the type and the data).
    bool Chunk(const char* type, const uint8_t* data, size_t n, uLong crc) {
        uint8_t head[8], tail[4];
        PutU32(head, static_cast<uint32_t>(n));
        std::memcpy(head + 4, type, 4);
        PutU32(tail, static_cast<uint32_t>(crc));
        return Put(head, 8) && Put(data, n) && Put(tail, 4);
    }
    bool Chunk(const char* type, const uint8_t* data, size_t n) {
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
        if (n) crc = crc32_z(crc, data, n);  // a null buffer would restart the CRC
        return Chunk(type, data, n, crc);
    }
    bool Ok() const { return ok_; }

  private:
    std::FILE* file_;
    bool ok_ = true;
};

}  // namespace

int PngLevelFor(const Image& image) {
    const int bpp = image.Depth() / 8;
    if (bpp < 3) return 6;
    int64_t same = 0, total = 0;
    for (int y = 0; y < image.Height(); y += 16) {
        const uint8_t* p = image.Row(y);
        for (int x = 1; x < image.Width(); ++x, p += bpp) same += std::memcmp(p, p + bpp, 3) == 0;
        total += image.Width() - 1;
    }
    return total == 0 || same * 2 >= total ? 6 : 1;
}

bool PngWriterCovers(const Image& image) {
    return Covered(image);
}

bool WritePng(const Image& image, std::FILE* file, const PngWriteOptions& options) {
    if (!Covered(image)) return false;
    const int level = std::clamp(options.level, 0, 9);
    const Layout l = LayoutFor(image);
    const int h = image.Height();
    const size_t n = l.rowBytes + 1;
    const int bandRows = options.bandRows > 0
                             ? options.bandRows
                             : static_cast<int>(std::clamp<size_t>((size_t{512} << 10) / n, 1, size_t(h)));
    const int bands = (h + bandRows - 1) / bandRows;
    std::vector<Band> out(static_cast<size_t>(bands));
    RunRowBands(h, bandRows, [&](int begin, int end) {
        for (int y0 = begin; y0 < end; y0 += bandRows) {
            Band& band = out[static_cast<size_t>(y0 / bandRows)];
            const int y1 = std::min(h, y0 + bandRows);
            try {
                BandCompressor* z = CompressorFor(level);
                band.ok = z && CompressBand(*z, image, l, level, y0, y1, y1 == h, band);
            } catch (const std::bad_alloc&) {
                band.ok = false;
            }
            if (!band.ok) return;
        }
    });
    uLong adler = 1;
    for (const Band& band : out) {
        if (!band.ok) {
            SetCodecError("not enough memory to compress the picture");
            return false;
        }
        adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.filtered));
    }
    uint8_t trailer[4];
    PutU32(trailer, static_cast<uint32_t>(adler));
    Band& tail = out.back();
    tail.crc = crc32(tail.crc, trailer, 4);

    PngOut png(file);
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png.Put(kSignature, 8);
    uint8_t ihdr[13];
    PutU32(ihdr, static_cast<uint32_t>(image.Width()));
    PutU32(ihdr + 4, static_cast<uint32_t>(h));
    ihdr[8] = l.bitDepth;
    ihdr[9] = l.colourType;
    ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, no interlace
    png.Chunk("IHDR", ihdr, sizeof ihdr);
    if (l.colourType == kPalette) {
        std::vector<uint8_t> plte;
        const PaletteEntry* p = image.Palette();
        for (int i = 0; i < image.PaletteSize(); ++i)
            plte.insert(plte.end(), {p[i].red, p[i].green, p[i].blue});
        png.Chunk("PLTE", plte.data(), plte.size());
    }
    // FreeImage gave every picture it wrote 2835 dots a metre (72 dpi); so do we.
    uint8_t phys[9];
    PutU32(phys, 2835);
    PutU32(phys + 4, 2835);
    phys[8] = 1;  // per metre
    png.Chunk("pHYs", phys, sizeof phys);
    for (size_t b = 0; b < out.size(); ++b) {
        const Band& band = out[b];
        if (b + 1 < out.size()) {
            png.Chunk("IDAT", band.data.data(), band.used, band.crc);
            continue;
        }
        uint8_t head[8], crc[4];
        PutU32(head, static_cast<uint32_t>(band.used + 4));
        std::memcpy(head + 4, "IDAT", 4);
        PutU32(crc, static_cast<uint32_t>(band.crc));
        png.Put(head, 8);
        png.Put(band.data.data(), band.used);
        png.Put(trailer, 4);
        png.Put(crc, 4);
    }
    png.Chunk("IEND", nullptr, 0);
    if (!png.Ok()) SetCodecError("the file could not be written");
    return png.Ok();
}

}  // namespace glimmora
