#include <climits>

#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"
#include "image/codecs/freeimage_bridge.h"

namespace glimmora {

namespace {
// Converts one decoded bitmap (deep-colour ones first brought to 8 bits a channel) into a frame.
std::unique_ptr<Image> ConvertBitmap(FIBITMAP* dib) {
    FiBitmap standard = ToStandardBitmap(dib);
    if (standard) {
        // Animation metadata stays on the original.
        std::unique_ptr<Image> frame = FrameFromBitmap(standard.get());
        if (frame) frame->SetFrameDelay(FrameDelayOf(dib));
        return frame;
    }
    return FrameFromBitmap(dib);
}

}  // namespace

FreeImageCodec::FreeImageCodec() {
    FreeImageInitialise();
}
FreeImageCodec::~FreeImageCodec() {
    FreeImageDeInitialise();
}

bool FreeImageCodec::LoadFile(const std::string& path) {
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) return false;
    if (fif == FIF_TIFF || fif == FIF_GIF) {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(fif, path.c_str(), FALSE, TRUE, FALSE, 0);
        if (!multi) return false;
        const int pages = FreeImage_GetPageCount(multi);
        for (int i = 0; i < pages; ++i) {
            FIBITMAP* page = FreeImage_LockPage(multi, i);
            if (!page) continue;
            std::unique_ptr<Image> frame = ConvertBitmap(page);
            FreeImage_UnlockPage(multi, page, FALSE);
            if (frame) AddFrame(std::move(frame));
        }
        FreeImage_CloseMultiBitmap(multi, 0);
        return true;
    }
    FiBitmap dib(FreeImage_Load(fif, path.c_str(), 0));
    if (!dib) return false;
    std::unique_ptr<Image> frame = ConvertBitmap(dib.get());
    if (!frame) return false;
    AddFrame(std::move(frame));
    return true;
}

bool FreeImageCodec::LoadMemory(const uint8_t* data, size_t size) {
    FiBitmap dib = DecodeFromMemory(data, size);
    std::unique_ptr<Image> frame = dib ? ConvertBitmap(dib.get()) : nullptr;
    if (!frame) return false;
    AddFrame(std::move(frame));
    return true;
}

bool FreeImageCodec::SaveFile(const std::string& path, int option) {
    const Image* image = FirstToSave();
    if (!image) return false;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(path.c_str());
    if (fif == FIF_UNKNOWN) return false;
    int flags = option;
    if (fif == FIF_JPEG && (option < 0 || option > 100)) flags = 82;
    if (!FreeImage_FIFSupportsWriting(fif) || !FreeImage_FIFSupportsExportBPP(fif, image->Depth()))
        return false;
    FiBitmap dib = BitmapFromImage(*image);
    if (!dib) return false;
    if (fif == FIF_GIF && image->Depth() <= 8 && option != -1) {
        const int n = image->PaletteSize();
        const int index = std::clamp(option, 0, n - 1);
        BYTE table[256];
        std::fill(table, table + n, BYTE{255});
        table[index] = 0;
        FreeImage_SetTransparencyTable(dib.get(), table, n);
        FreeImage_SetTransparent(dib.get(), TRUE);
    }
    // -1 means "nothing to say": as flags it would switch on every option bit of the plug-in.
    if (flags < 0) flags = 0;
    return WriteBesideThenRename(path, [&](const std::string& temp) {
        return FreeImage_Save(fif, dib.get(), temp.c_str(), flags) != FALSE;
    });
}

}  // namespace glimmora
