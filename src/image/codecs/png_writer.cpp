#include "image/codecs/png_writer.h"

#include <libdeflate.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/codecs/deflate_tail.h"
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

#endif

using SwapFn = void (*)(const uint8_t*, int, uint8_t*, int, int);

SwapFn Swapper() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3")) return SwapSsse3;
#endif
    return SwapPortable;
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
// difference from the row above. On a terminal screen this gives a file a sixth smaller than libpng's
// adaptive choice, on a photograph the size of its best single filter, at the cost of one compare a byte.
bool MostlyRuns(const uint8_t* row, size_t n, int pixelBytes) {
    const size_t step = static_cast<size_t>(pixelBytes);
    if (n <= step) return true;
    size_t same = 0;
    for (size_t i = step; i < n; ++i) same += row[i] == row[i - step];
    return same * 2 >= n - step;
}

// One band's share of the zlib stream: its rows compressed on their own as raw deflate, then opened at the
// end (OpenDeflateEnd) so the next band's blocks can follow; the last band keeps its final block. The first
// band starts with the zlib header; the Adler-32 of the whole stream is added after the last one.
struct Band {
    std::vector<uint8_t> data;
    uint32_t adler = 1;   // of this band's filtered rows
    size_t filtered = 0;  // their byte count
    uint32_t crc = 0;     // of "IDAT" and data
    bool ok = false;
};

// What a thread keeps from band to band and picture to picture: libdeflate's compressor (most of a megabyte
// at level 6) and the buffers for a band's rows and its compressed bytes.
struct BandState {
    libdeflate_compressor* compressor = nullptr;
    int level = -1;
    std::vector<uint8_t> rows, out, row, above;
    BandState() = default;
    BandState(const BandState&) = delete;
    BandState& operator=(const BandState&) = delete;
    ~BandState() {
        if (compressor) libdeflate_free_compressor(compressor);
    }
};

// Null when libdeflate has no memory for a compressor.
BandState* StateFor(int level) {
    thread_local BandState state;
    if (state.level != level) {
        if (state.compressor) libdeflate_free_compressor(state.compressor);
        state.compressor = libdeflate_alloc_compressor(level);
        state.level = state.compressor ? level : -1;
    }
    return state.compressor ? &state : nullptr;
}

uint8_t ZlibHeaderLevelBits(int level) {
    return static_cast<uint8_t>(level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3);
}

// The Adler-32 of two byte runs one after the other, from theirs and the second's length.
uint32_t AdlerJoin(uint32_t first, uint32_t second, size_t secondBytes) {
    constexpr uint64_t kBase = 65521;
    const uint64_t n = secondBytes % kBase;
    const uint64_t a1 = first & 0xFFFF, b1 = first >> 16, a2 = second & 0xFFFF, b2 = second >> 16;
    const uint64_t a = (a1 + a2 + kBase - 1) % kBase;
    const uint64_t b = (b1 + b2 + n * ((a1 + kBase - 1) % kBase)) % kBase;
    return static_cast<uint32_t>(b << 16 | a);
}

// Rows [y0, y1) filtered and compressed into band; last: the band that ends the stream. Throws
// std::bad_alloc when a buffer cannot grow.
bool CompressBand(const Image& image, const Layout& l, int level, int y0, int y1, bool last, Band& band) {
    BandState* state = StateFor(level);
    if (!state) return false;
    const size_t n = l.rowBytes + 1;
    const size_t raw = n * static_cast<size_t>(y1 - y0);
    state->rows.resize(raw);
    state->row.resize(n);
    state->above.resize(n);
    uint8_t* above = state->above.data();
    uint8_t* row = state->row.data();
    if (l.filter && y0 > 0) FileRow(image, l, y0 - 1, above + 1);
    for (int y = y0; y < y1; ++y) {
        uint8_t* out = state->rows.data() + n * static_cast<size_t>(y - y0);
        FileRow(image, l, y, row + 1);
        if (l.filter && y > 0 && !MostlyRuns(row + 1, l.rowBytes, l.pixelBytes)) {
            out[0] = kFilterUp;
            for (size_t i = 1; i < n; ++i) out[i] = static_cast<uint8_t>(row[i] - above[i]);
        } else {
            out[0] = kFilterNone;
            std::memcpy(out + 1, row + 1, l.rowBytes);
        }
        std::swap(above, row);
    }
    band.adler = libdeflate_adler32(1, state->rows.data(), raw);
    band.filtered = raw;
    state->out.resize(libdeflate_deflate_compress_bound(state->compressor, raw));
    const size_t packed = libdeflate_deflate_compress(state->compressor, state->rows.data(), raw,
                                                      state->out.data(), state->out.size());
    if (packed == 0) return false;
    const size_t start = y0 == 0 ? 2 : 0;
    band.data.reserve(start + packed + 5);
    if (y0 == 0) {
        const uint8_t cmf = 0x78;  // deflate, 32 KiB window
        uint8_t flg = static_cast<uint8_t>(ZlibHeaderLevelBits(level) << 6);
        flg = static_cast<uint8_t>(flg + 31 - (cmf * 256 + flg) % 31);
        band.data.assign({cmf, flg});
    }
    band.data.insert(band.data.end(), state->out.begin(),
                     state->out.begin() + static_cast<ptrdiff_t>(packed));
    if (!last && !OpenDeflateEnd(band.data, start)) return false;
    band.crc = libdeflate_crc32(libdeflate_crc32(0, "IDAT", 4), band.data.data(), band.data.size());
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
    bool Chunk(const char* type, const uint8_t* data, size_t n, uint32_t crc) {
        uint8_t head[8], tail[4];
        PutU32(head, static_cast<uint32_t>(n));
        std::memcpy(head + 4, type, 4);
        PutU32(tail, static_cast<uint32_t>(crc));
        return Put(head, 8) && Put(data, n) && Put(tail, 4);
    }
    bool Chunk(const char* type, const uint8_t* data, size_t n) {
        const uint32_t crc = libdeflate_crc32(0, type, 4);
        return Chunk(type, data, n, n ? libdeflate_crc32(crc, data, n) : crc);  // null data restarts the CRC
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
                band.ok = CompressBand(image, l, level, y0, y1, y1 == h, band);
            } catch (const std::bad_alloc&) {
                band.ok = false;
            }
            if (!band.ok) return;
        }
    });
    uint32_t adler = 1;
    for (const Band& band : out) {
        if (!band.ok) {
            SetCodecError("not enough memory to compress the picture");
            return false;
        }
        adler = AdlerJoin(adler, band.adler, band.filtered);
    }
    uint8_t trailer[4];
    PutU32(trailer, adler);
    Band& tail = out.back();
    tail.crc = libdeflate_crc32(tail.crc, trailer, 4);

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
            png.Chunk("IDAT", band.data.data(), band.data.size(), band.crc);
            continue;
        }
        uint8_t head[8], crc[4];
        PutU32(head, static_cast<uint32_t>(band.data.size() + 4));
        std::memcpy(head + 4, "IDAT", 4);
        PutU32(crc, band.crc);
        png.Put(head, 8);
        png.Put(band.data.data(), band.data.size());
        png.Put(trailer, 4);
        png.Put(crc, 4);
    }
    png.Chunk("IEND", nullptr, 0);
    if (!png.Ok()) SetCodecError("the file could not be written");
    return png.Ok();
}

}  // namespace glimmora
