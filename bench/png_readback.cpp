// Whether a PNG file holds exactly the pixels of a reference picture, as libpng's own reader and FreeImage
// decode it (bench/codec_peers.sh runs it on our PNG of the 24-megapixel picture).
// usage: png_readback REFERENCE PNG   exit 0 when both readers give the reference's pixels
#include <FreeImage.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Pixels as 8-bit BGRA rows, top row first; empty when FreeImage cannot read the file.
std::vector<uint8_t> WithFreeImage(const char* path, unsigned& w, unsigned& h) {
    FIBITMAP* dib = FreeImage_Load(FreeImage_GetFileType(path, 0), path, 0);
    FIBITMAP* bgra = dib ? FreeImage_ConvertTo32Bits(dib) : nullptr;
    std::vector<uint8_t> out;
    if (bgra) {
        w = FreeImage_GetWidth(bgra);
        h = FreeImage_GetHeight(bgra);
        out.resize(size_t{w} * h * 4);
        for (unsigned y = 0; y < h; ++y)
            std::memcpy(&out[size_t{y} * w * 4], FreeImage_GetScanLine(bgra, static_cast<int>(h - 1 - y)),
                        size_t{w} * 4);
    }
    if (bgra) FreeImage_Unload(bgra);
    if (dib) FreeImage_Unload(dib);
    return out;
}

std::vector<uint8_t> WithLibpng(const char* path, unsigned& w, unsigned& h) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> out;
    if (!png_image_begin_read_from_file(&png, path)) return out;
    png.format = PNG_FORMAT_BGRA;
    out.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, out.data(), 0, nullptr)) out.clear();
    w = png.width;
    h = png.height;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: png_readback REFERENCE PNG\n", stderr);
        return 2;
    }
    FreeImage_Initialise(FALSE);
    unsigned rw = 0, rh = 0, w = 0, h = 0;
    const std::vector<uint8_t> reference = WithFreeImage(argv[1], rw, rh);
    bool all = !reference.empty();
    for (const char* reader : {"libpng", "FreeImage"}) {
        const std::vector<uint8_t> got =
            reader[0] == 'l' ? WithLibpng(argv[2], w, h) : WithFreeImage(argv[2], w, h);
        const bool same = !got.empty() && w == rw && h == rh && got == reference;
        std::printf("%s: %s\n", reader,
                    got.empty() ? "cannot read it"
                    : same      ? "the reference's pixels"
                                : "other pixels");
        all = all && same;
    }
    FreeImage_DeInitialise();
    return all ? 0 : 1;
}
