#include "image/codecs/freeimage_bridge.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "image/codecs/image_codec.h"

namespace glimmora {

namespace {
// FreeImage writes its warnings to nowhere unless told; a damaged file is an ordinary failure here.
void IgnoreFreeImageMessage(FREE_IMAGE_FORMAT, const char*) {}

// FreeImage's TIFF reader asks libtiff about EXIF tags libtiff does not know, and libtiff prints a line to
// stderr for each. Its handlers are switched off through the copy FreeImage already loaded; failures still
// come back as results.
void QuietLibtiff() {
    using Handler = void (*)(const char*, const char*, va_list);
    using SetHandler = Handler (*)(Handler);
    for (const char* name : {"TIFFSetErrorHandler", "TIFFSetWarningHandler"}) {
        if (void* symbol = ::dlsym(RTLD_DEFAULT, name)) reinterpret_cast<SetHandler>(symbol)(nullptr);
    }
}
}  // namespace

namespace {
std::atomic<FreeImage_OutputMessageFunction> g_listener{nullptr};
std::atomic<bool> g_initialised{false};
}  // namespace

void FreeImageInitialise() {
    FreeImage_Initialise(FALSE);
    static std::once_flag once;
    std::call_once(once, [] {
        const FreeImage_OutputMessageFunction listener = g_listener;
        FreeImage_SetOutputMessage(listener ? listener : IgnoreFreeImageMessage);
        QuietLibtiff();
        g_initialised = true;
    });
}

void SetFreeImageListener(FreeImage_OutputMessageFunction listener) {
    g_listener = listener;
    if (g_initialised) FreeImage_SetOutputMessage(listener ? listener : IgnoreFreeImageMessage);
}

void FreeImageDeInitialise() {
    FreeImage_DeInitialise();
}

std::unique_ptr<Image> ImageFromBitmap(FIBITMAP* dib) {
    if (!dib || !FreeImage_HasPixels(dib) || FreeImage_GetImageType(dib) != FIT_BITMAP) return nullptr;
    const BITMAPINFOHEADER* fh = FreeImage_GetInfoHeader(dib);
    if (!fh) return nullptr;
    BitmapInfoHeader header;
    static_assert(sizeof(BITMAPINFOHEADER) == sizeof(BitmapInfoHeader));
    std::memcpy(static_cast<void*>(&header), fh, sizeof header);
    const unsigned bpp = FreeImage_GetBPP(dib);
    header.biBitCount = static_cast<uint16_t>(bpp);
    uint32_t masks[3] = {FreeImage_GetRedMask(dib), FreeImage_GetGreenMask(dib), FreeImage_GetBlueMask(dib)};
    header.biCompression = bpp == 16 ? kBiBitfields : kBiRgb;
    if (header.biHeight < 0) return nullptr;
    auto image = std::make_unique<Image>();
    if (!image->Create(&header, masks)) return nullptr;
    if (bpp <= 8) {
        const RGBQUAD* pal = FreeImage_GetPalette(dib);
        const unsigned n = std::min<unsigned>(FreeImage_GetColorsUsed(dib), 1u << bpp);
        if (pal && n) image->SetPalette(0, static_cast<int>(n), reinterpret_cast<const PaletteEntry*>(pal));
    }
    const size_t rowBytes = std::min<size_t>(FreeImage_GetPitch(dib), static_cast<size_t>(image->Stride()));
    const int h = image->Height();
    for (int line = 0; line < h; ++line) {
        // FreeImage scan line 0 is the bottom one, as our stored line 0.
        std::memcpy(image->Row(h - 1 - line), FreeImage_GetScanLine(dib, line), rowBytes);
    }
    return image;
}

std::unique_ptr<Image> FrameFromBitmap(FIBITMAP* dib) {
    std::unique_ptr<Image> image = ImageFromBitmap(dib);
    if (!image) return nullptr;
    if (image->Depth() <= 8 && FreeImage_IsTransparent(dib)) {
        const Image indexed(*image);
        // The alpha below is written 4 bytes a pixel: without the 32-bit picture there is no frame.
        if (!indexed.IsValid() || !image->ConvertDepth(32)) {
            SetCodecError("picture too large to hold with its transparency: " +
                          std::to_string(image->Width()) + " x " + std::to_string(image->Height()));
            return nullptr;
        }
        const BYTE* table = FreeImage_GetTransparencyTable(dib);
        const unsigned count = FreeImage_GetTransparencyCount(dib);
        if (table) {
            for (int y = 0; y < image->Height(); ++y) {
                uint8_t* p = image->Row(y);
                for (int x = 0; x < image->Width(); ++x, p += 4) {
                    const uint32_t index = indexed.PixelValue(x, y);
                    if (index < count) p[3] = table[index];
                }
            }
        }
    }
    image->SetFrameDelay(FrameDelayOf(dib));
    return image;
}

int FrameDelayOf(FIBITMAP* dib) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_ANIMATION, dib, "FrameTime", &tag) || !tag) return 0;
    const FREE_IMAGE_MDTYPE type = FreeImage_GetTagType(tag);
    if ((type != FIDT_LONG && type != FIDT_SLONG) || FreeImage_GetTagCount(tag) < 1 ||
        !FreeImage_GetTagValue(tag))
        return 0;
    int32_t delay;
    std::memcpy(&delay, FreeImage_GetTagValue(tag), sizeof delay);
    return delay;
}

FiBitmap BitmapFromImage(const Image& image) {
    if (!image.IsValid()) return nullptr;
    const bool sixteen = image.Depth() == 16;
    FiBitmap dib(FreeImage_Allocate(image.Width(), image.Height(), image.Depth(),
                                    sixteen ? image.RedMask() : 0, sixteen ? image.GreenMask() : 0,
                                    sixteen ? image.BlueMask() : 0));
    if (!dib) return nullptr;
    const size_t rowBytes =
        std::min<size_t>(FreeImage_GetPitch(dib.get()), static_cast<size_t>(image.Stride()));
    const int h = image.Height();
    for (int line = 0; line < h; ++line)
        std::memcpy(FreeImage_GetScanLine(dib.get(), line), image.Row(h - 1 - line), rowBytes);
    if (image.Depth() <= 8) {
        RGBQUAD* pal = FreeImage_GetPalette(dib.get());
        if (pal) std::memcpy(pal, image.Palette(), static_cast<size_t>(image.PaletteSize()) * 4);
    }
    return dib;
}

}  // namespace glimmora

namespace glimmora {
namespace {
std::string SizeText(int64_t width, int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

bool DeclaredSizeFits(int64_t width, int64_t height, int depth) {
    if (Image::FitsBound(width, height, depth)) return true;
    SetCodecError(width <= 0 || height <= 0 ? "damaged file: picture size " + SizeText(width, height)
                                            : "picture too large: " + SizeText(width, height));
    return false;
}

// FreeImage cannot tell a GIF's sizes without decoding it, so its blocks are walked to every image
// descriptor (the reader allocates each frame at its own size, at up to 8 bits).
bool GifSizesFit(const ByteSource& source) {
    uint8_t head[13];
    if (source.Read(0, head, sizeof head) != sizeof head) {
        SetCodecError("damaged file: GIF header cut short");
        return false;
    }
    auto u16 = [](const uint8_t* p) { return p[0] | p[1] << 8; };
    if (!DeclaredSizeFits(std::max(u16(head + 6), 1), std::max(u16(head + 8), 1), 8)) return false;
    const size_t size = source.Size();
    size_t at = sizeof head + (head[10] & 0x80 ? size_t{3} << ((head[10] & 7) + 1) : 0);
    auto skipSubBlocks = [&] {
        uint8_t n = 0;
        while (at < size && source.Read(at, &n, 1) == 1) {
            at += 1 + n;
            if (n == 0) return;
        }
    };
    uint8_t kind = 0;
    while (at < size && source.Read(at, &kind, 1) == 1) {
        if (kind == 0x21) {
            at += 2;
            skipSubBlocks();
        } else if (kind == 0x2C) {
            uint8_t d[10];
            if (source.Read(at, d, sizeof d) != sizeof d) return true;  // the reader stops here too
            if (!DeclaredSizeFits(u16(d + 5), u16(d + 7), 8)) return false;
            at += sizeof d + (d[9] & 0x80 ? size_t{3} << ((d[9] & 7) + 1) : 0) + 1;
            skipSubBlocks();
        } else {
            return true;  // trailer or garbage: no more pictures
        }
    }
    return true;
}

// FreeImage's PCX reader trusts the line length: shorter than a line of pixels (0 in files whose 16-bit
// field wrapped) makes it write past its buffers.
bool PcxHeaderSound(const ByteSource& source) {
    uint8_t h[128];
    if (source.Read(0, h, sizeof h) != sizeof h) {
        SetCodecError("damaged file: PCX header cut short");
        return false;
    }
    auto u16 = [&](int at) { return h[at] | h[at + 1] << 8; };
    const int bits = h[3], planes = h[65];
    const int64_t width = int64_t{u16(8)} - u16(4) + 1;
    const int64_t height = int64_t{u16(10)} - u16(6) + 1;
    const bool sound = (bits == 1 || bits == 2 || bits == 4 || bits == 8) && planes >= 1 && planes <= 4 &&
                       width > 0 && height > 0 && int64_t{u16(66)} * 8 >= width * bits;
    if (!sound) SetCodecError("damaged file: PCX header does not describe a picture");
    return sound;
}

// FreeImage's icon reader takes the bit count of the first icon as it stands and reads the pixels for it
// into a bitmap it allocated for another: only the depths a bitmap can have get that far.
bool IcoHeaderSound(const ByteSource& source) {
    uint8_t dir[6 + 16];
    uint8_t bih[40];
    bool sound = source.Read(0, dir, sizeof dir) == sizeof dir && (dir[4] | dir[5] << 8) > 0;
    if (sound) {
        const size_t at = dir[18] | dir[19] << 8 | dir[20] << 16 | static_cast<size_t>(dir[21]) << 24;
        static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        sound = source.Read(at, bih, sizeof bih) == sizeof bih;
        if (sound && std::memcmp(bih, kPng, sizeof kPng) == 0) return true;  // read by the PNG reader
        BitmapInfoHeader h;
        if (sound) std::memcpy(static_cast<void*>(&h), bih, sizeof h);
        sound = sound && h.biSize >= 40 &&
                (h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 16 ||
                 h.biBitCount == 24 || h.biBitCount == 32);
        if (sound) return DeclaredSizeFits(h.biWidth, h.biHeight / 2, 32);
    }
    SetCodecError("damaged file: icon header does not describe a picture");
    return false;
}
}  // namespace

FreeImageInput::FreeImageInput(const ByteSource& source) : source_(source) {
    io_.read_proc = &FreeImageInput::Read;
    io_.write_proc = &FreeImageInput::Write;
    io_.seek_proc = &FreeImageInput::Seek;
    io_.tell_proc = &FreeImageInput::Tell;
    if (source.Size() == 0) {
        SetCodecError("empty file");
        return;
    }
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromHandle(&io_, Rewound(), 0);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        SetCodecError("not a picture format we read");
        return;
    }
    format_ = fif;
    if (!SizesFit()) format_ = FIF_UNKNOWN;
}

fi_handle FreeImageInput::Rewound() {
    position_ = 0;
    return this;
}

unsigned FreeImageInput::Read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto* self = static_cast<FreeImageInput*>(handle);
    if (size == 0 || count == 0) return 0;
    const uint64_t want = uint64_t{size} * count;
    const size_t got = self->source_.Read(self->position_, buffer, static_cast<size_t>(want));
    self->position_ += got;
    return static_cast<unsigned>(got / size);
}

unsigned FreeImageInput::Write(void*, unsigned, unsigned, fi_handle) {
    return 0;
}

int FreeImageInput::Seek(fi_handle handle, long offset, int origin) {
    auto* self = static_cast<FreeImageInput*>(handle);
    int64_t base = 0;
    if (origin == SEEK_CUR)
        base = static_cast<int64_t>(self->position_);
    else if (origin == SEEK_END)
        base = static_cast<int64_t>(self->source_.Size());
    else if (origin != SEEK_SET)
        return -1;
    const int64_t target = base + offset;
    if (target < 0) return -1;
    self->position_ = static_cast<size_t>(target);
    return 0;
}

long FreeImageInput::Tell(fi_handle handle) {
    return static_cast<long>(static_cast<FreeImageInput*>(handle)->position_);
}

bool FreeImageInput::SizesFit() {
    if (format_ == FIF_GIF) return GifSizesFit(source_);
    if (format_ == FIF_PCX && !PcxHeaderSound(source_)) return false;
    if (format_ == FIF_ICO && !IcoHeaderSound(source_)) return false;
    if (!FreeImage_FIFSupportsNoPixels(format_)) {
        // Such a reader allocates whatever the header says before we could look.
        SetCodecError(std::string("cannot check the picture size of a ") +
                      FreeImage_GetFormatFromFIF(format_) + " file before decoding it");
        return false;
    }
    if (format_ == FIF_TIFF) return PagesFit();
    FiBitmap header(FreeImage_LoadFromHandle(format_, &io_, Rewound(), FIF_LOAD_NOPIXELS));
    if (!header) {
        SetCodecError("damaged file: the header cannot be read");
        return false;
    }
    return DeclaredSizeFits(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()),
                            static_cast<int>(FreeImage_GetBPP(header.get())));
}

bool FreeImageInput::PagesFit() {
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmapFromHandle(format_, &io_, Rewound(), FIF_LOAD_NOPIXELS);
    if (!multi) {
        SetCodecError("damaged file: the header cannot be read");
        return false;
    }
    bool fits = true;
    const int pages = FreeImage_GetPageCount(multi);
    for (int i = 0; i < pages && fits; ++i) {
        FIBITMAP* page = FreeImage_LockPage(multi, i);
        if (!page) continue;  // an unreadable page is skipped when decoding too
        fits = DeclaredSizeFits(FreeImage_GetWidth(page), FreeImage_GetHeight(page),
                                static_cast<int>(FreeImage_GetBPP(page)));
        FreeImage_UnlockPage(multi, page, FALSE);
    }
    FreeImage_CloseMultiBitmap(multi, 0);
    return fits;
}

FiBitmap FreeImageInput::LoadFirst() {
    if (format_ == FIF_UNKNOWN) return nullptr;
    FiBitmap dib(FreeImage_LoadFromHandle(format_, &io_, Rewound(), 0));
    if (!dib) SetCodecError(std::string("damaged ") + FreeImage_GetFormatFromFIF(format_) + " file");
    return dib;
}

FIMULTIBITMAP* FreeImageInput::OpenPages() {
    if (format_ == FIF_UNKNOWN) return nullptr;
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmapFromHandle(format_, &io_, Rewound(), 0);
    if (!multi) SetCodecError(std::string("damaged ") + FreeImage_GetFormatFromFIF(format_) + " file");
    return multi;
}

FiBitmap DecodeFromMemory(const uint8_t* data, size_t size, FREE_IMAGE_FORMAT* format) {
    if (format) *format = FIF_UNKNOWN;
    const MemorySource source(data, size);
    FreeImageInput input(source);
    FiBitmap dib = input.LoadFirst();
    if (format) *format = input.Format();
    return dib;
}

FiBitmap ToStandardBitmap(FIBITMAP* dib) {
    if (!dib) return nullptr;
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP:
            return nullptr;
        case FIT_RGBA16:
        case FIT_RGBAF:
            return FiBitmap(FreeImage_ConvertTo32Bits(dib));
        case FIT_RGB16:
        case FIT_RGBF:
            return FiBitmap(FreeImage_ConvertTo24Bits(dib));
        default:
            return FiBitmap(FreeImage_ConvertToStandardType(dib, TRUE));
    }
}
}  // namespace glimmora
