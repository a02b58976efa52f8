#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"
#include "image/codecs/png_writer.h"

namespace glimmora {

bool PngCodec::TakeFrom(GdiplusCodec& reader, bool loaded) {
    if (!loaded) return false;
    for (Image* frame : reader.TakeFrames(true)) AddFrame(std::unique_ptr<Image>(frame));
    return true;
}

bool PngCodec::LoadFile(const std::string& path) {
    GdiplusCodec reader(kFormatPng);
    return TakeFrom(reader, reader.LoadFile(path));
}

bool PngCodec::LoadMemory(const uint8_t* data, size_t size) {
    GdiplusCodec reader(kFormatPng);
    return TakeFrom(reader, reader.LoadMemory(data, size));
}

bool PngCodec::SaveFile(const std::string& path, int option) {
    const Image* image = FirstToSave();
    if (!image) return false;
    // The level follows the picture as given; 16 bits go as 24, as FreeImage's PNG writer took them.
    PngWriteOptions options;
    options.level = PngLevelFor(*image);
    Image wide;
    if (image->Depth() == 16) {
        wide = *image;
        if (!wide.IsValid() || !wide.ConvertDepth(24)) {
            SetCodecError("not enough memory to convert the picture for this format");
            return false;
        }
        image = &wide;
    }
    if (!PngWriterCovers(*image)) {
        GdiplusCodec freeImage(kFormatPng);
        freeImage.saveList = saveList;
        return freeImage.SaveFile(path, option);
    }
    return WriteStreamAtomically(path, [&](std::FILE* file) { return WritePng(*image, file, options); });
}

}  // namespace glimmora
