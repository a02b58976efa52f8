#include "image/codecs/freeimage_bridge.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>

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

void FreeImageInitialise() {
    FreeImage_Initialise(FALSE);
    static std::once_flag once;
    std::call_once(once, [] {
        FreeImage_SetOutputMessage(IgnoreFreeImageMessage);
        QuietLibtiff();
    });
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
        image->ConvertDepth(32);
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
FiBitmap DecodeFromMemory(const uint8_t* data, size_t size, FREE_IMAGE_FORMAT* format) {
    if (format) *format = FIF_UNKNOWN;
    if (!data || size == 0 || size > UINT32_MAX) return nullptr;
    FIMEMORY* mem = FreeImage_OpenMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
    if (!mem) return nullptr;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromMemory(mem, 0);
    FiBitmap dib(fif != FIF_UNKNOWN && FreeImage_FIFSupportsReading(fif)
                     ? FreeImage_LoadFromMemory(fif, mem, 0)
                     : nullptr);
    FreeImage_CloseMemory(mem);
    if (format) *format = fif;
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
