#include <climits>

#include "image/codecs/byte_source.h"
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
    const FileSource file(path);
    return file.IsOpen() && Load(file);
}

bool FreeImageCodec::LoadMemory(const uint8_t* data, size_t size) {
    return Load(MemorySource(data, size));
}

bool FreeImageCodec::Load(const ByteSource& source) {
    FreeImageInput input(source);
    const FREE_IMAGE_FORMAT fif = input.Format();
    if (fif == FIF_UNKNOWN) return false;
    if (fif == FIF_TIFF || fif == FIF_GIF) {
        FIMULTIBITMAP* multi = input.OpenPages();
        if (!multi) return false;
        // Each page fits the bound; all of them together may not: the pages past it are left out.
        uint64_t held = 0;
        const int pages = FreeImage_GetPageCount(multi);
        for (int i = 0; i < pages; ++i) {
            FIBITMAP* page = FreeImage_LockPage(multi, i);
            if (!page) continue;
            std::unique_ptr<Image> frame = ConvertBitmap(page);
            FreeImage_UnlockPage(multi, page, FALSE);
            if (!frame) continue;
            held += frame->PixelBytes();
            if (held > Image::kMaxPixelBytes && !frames_.empty()) break;
            AddFrame(std::move(frame));
        }
        FreeImage_CloseMultiBitmap(multi, 0);
        if (frames_.empty() && LastCodecError().empty())
            SetCodecError("no page of the file could be decoded");
        return !frames_.empty();
    }
    FiBitmap dib = input.LoadFirst();
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
