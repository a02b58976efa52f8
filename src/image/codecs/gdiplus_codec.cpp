#include <cstring>
#include <unordered_map>

#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"
#include "image/codecs/freeimage_bridge.h"
#include "image/codecs/png_writer.h"

namespace glimmora {

namespace {
// What the platform decoder would hand back: palette images as indices, 16 bits as 5-5-5 or 5-6-5 only,
// true colour as is; anything else is refused.
std::unique_ptr<Image> MapDecoded(FIBITMAP* dib, FREE_IMAGE_FORMAT fif) {
    if (!dib || FreeImage_GetImageType(dib) != FIT_BITMAP) return nullptr;
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (bpp == 16) {
        const unsigned g = FreeImage_GetGreenMask(dib);
        if (g != FI16_555_GREEN_MASK && g != FI16_565_GREEN_MASK) return nullptr;
    } else if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        return nullptr;
    }
    std::unique_ptr<Image> image = ImageFromBitmap(dib);
    // A 32-bit BMP carries no alpha: it decodes as opaque.
    if (image && bpp == 32 && fif == FIF_BMP) image->SetAlphaAll(255);
    return image;
}

const char* MimeFor(ImageFormatId format) {
    switch (format) {
        case kFormatBmp:
            return "image/bmp";
        case kFormatJpeg:
            return "image/jpeg";
        case kFormatGif:
            return "image/gif";
        case kFormatTiff:
            return "image/tiff";
        case kFormatPng:
            return "image/png";
        default:
            return nullptr;
    }
}

struct Encoder {
    FREE_IMAGE_FORMAT fif;
    int flags;
};

Encoder EncoderFor(const std::string& mime) {
    static const std::unordered_map<std::string, Encoder> encoders = {
        {"image/bmp", {FIF_BMP, BMP_DEFAULT}}, {"image/jpeg", {FIF_JPEG, JPEG_DEFAULT}},
        {"image/gif", {FIF_GIF, GIF_DEFAULT}}, {"image/tiff", {FIF_TIFF, TIFF_DEFAULT}},
        {"image/png", {FIF_PNG, PNG_DEFAULT}},
    };
    auto it = encoders.find(mime);
    return it == encoders.end() ? Encoder{FIF_UNKNOWN, 0} : it->second;
}

// An 8-bit palette image: exact when the picture has 256 colours or fewer (screenshots usually do),
// otherwise Wu's quantiser.
FiBitmap QuantiseTo8Bits(const Image& image) {
    Image rgb(image);
    if (!rgb.ConvertDepth(24)) return nullptr;
    const int w = rgb.Width(), h = rgb.Height();
    std::unordered_map<uint32_t, uint8_t> colours;
    colours.reserve(512);
    bool exact = true;
    for (int y = 0; y < h && exact; ++y) {
        const uint8_t* p = rgb.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const uint32_t c = p[0] | p[1] << 8 | p[2] << 16;
            if (colours.size() < 256) {
                colours.emplace(c, static_cast<uint8_t>(colours.size()));
            } else if (!colours.count(c)) {
                exact = false;
                break;
            }
        }
    }
    if (!exact) {
        FiBitmap dib24 = BitmapFromImage(rgb);
        return dib24 ? FiBitmap(FreeImage_ColorQuantize(dib24.get(), FIQ_WUQUANT)) : nullptr;
    }
    Image indexed;
    if (!indexed.Create(w, h, 8)) return nullptr;
    PaletteEntry palette[256] = {};
    for (const auto& [c, i] : colours)
        palette[i] = PaletteEntry{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                  static_cast<uint8_t>(c >> 16), 0};
    indexed.SetPalette(0, 256, palette);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = rgb.Row(y);
        uint8_t* d = indexed.Row(y);
        uint32_t last = 0xFFFFFFFF;
        uint8_t lastIndex = 0;
        for (int x = 0; x < w; ++x, p += 3) {
            const uint32_t c = p[0] | p[1] << 8 | p[2] << 16;
            if (c != last) {
                last = c;
                lastIndex = colours[c];
            }
            d[x] = lastIndex;
        }
    }
    return BitmapFromImage(indexed);
}

// zlib's default level for screens, the fastest for photographs (see PngLevelFor).
int PngFlagsFor(const Image& image) {
    return PngLevelFor(image) == 1 ? PNG_Z_BEST_SPEED : PNG_DEFAULT;
}

bool FullyOpaque(const Image& image) {
    if (image.Depth() != 32) return false;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* p = image.Row(y) + 3;
        uint8_t all = 255;
        for (int x = 0; x < image.Width(); ++x, p += 4) all &= *p;
        if (all != 255) return false;
    }
    return true;
}

FiBitmap PrepareForEncoder(const Image& image, FREE_IMAGE_FORMAT fif) {
    // An alpha channel that is 255 everywhere (every capture) says nothing; leaving it out makes PNG and TIFF
    // encoding a third faster and changes no pixel.
    if ((fif == FIF_PNG || fif == FIF_TIFF) && FullyOpaque(image)) {
        Image rgb(image);
        return rgb.ConvertDepth(24) ? BitmapFromImage(rgb) : nullptr;
    }
    if (fif == FIF_GIF) return image.Depth() <= 8 ? BitmapFromImage(image) : QuantiseTo8Bits(image);
    if (fif == FIF_JPEG && image.Depth() != 24 && image.Depth() != 8) {
        Image rgb(image);
        return rgb.ConvertDepth(24) ? BitmapFromImage(rgb) : nullptr;
    }
    if (!FreeImage_FIFSupportsExportBPP(fif, image.Depth())) {
        Image rgb(image);
        return rgb.ConvertDepth(image.Depth() == 32 ? 32 : 24) ? BitmapFromImage(rgb) : nullptr;
    }
    return BitmapFromImage(image);
}
}  // namespace

GdiplusCodec::GdiplusCodec(ImageFormatId format) : format_(format) {
    FreeImageInitialise();
}
GdiplusCodec::~GdiplusCodec() {
    FreeImageDeInitialise();
}

bool GdiplusCodec::LoadFile(const std::string& path) {
    const FileSource file(path);
    return file.IsOpen() && Load(file);
}

bool GdiplusCodec::LoadMemory(const uint8_t* data, size_t size) {
    return Load(MemorySource(data, size));
}

bool GdiplusCodec::Load(const ByteSource& source) {
    FreeImageInput input(source);
    FiBitmap dib = input.LoadFirst();
    std::unique_ptr<Image> image = MapDecoded(dib.get(), input.Format());
    if (!image) {
        if (dib) SetCodecError("pixel format not supported");
        return false;
    }
    AddFrame(std::move(image));
    return true;
}

bool GdiplusCodec::SaveFile(const std::string& path, int) {
    const Image* image = FirstToSave();
    const char* mime = MimeFor(format_);
    if (!image || !mime) return false;
    const Encoder encoder = EncoderFor(mime);
    if (encoder.fif == FIF_UNKNOWN) return false;
    FiBitmap dib = PrepareForEncoder(*image, encoder.fif);
    if (!dib) {
        SetCodecError("not enough memory to convert the picture for this format");
        return false;
    }
    return WriteBesideThenRename(path, [&](const std::string& temp) {
        const int flags = encoder.fif == FIF_PNG ? PngFlagsFor(*image) : encoder.flags;
        return FreeImage_Save(encoder.fif, dib.get(), temp.c_str(), flags) != FALSE;
    });
}

bool OlePictureCodec::LoadMemory(const uint8_t* data, size_t size) {
    FreeImageInitialise();
    FiBitmap dib = DecodeFromMemory(data, size);
    FiBitmap rgb(dib ? FreeImage_ConvertTo24Bits(dib.get()) : nullptr);
    std::unique_ptr<Image> image = rgb ? ImageFromBitmap(rgb.get()) : nullptr;
    dib.reset();
    rgb.reset();
    FreeImageDeInitialise();
    if (!image) return false;
    AddFrame(std::move(image));
    return true;
}

}  // namespace glimmora
