#include <cstring>

#include "image/codecs/byte_source.h"
#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"

namespace glimmora {

namespace {
uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

bool BmpCodec::Parse(const ByteSource& source) {
    constexpr size_t kFileHeader = 14;
    const size_t size = source.Size();
    uint8_t head[kFileHeader + sizeof(BitmapInfoHeader)];
    if (size <= kFileHeader) return false;
    const size_t got = source.Read(0, head, sizeof head);
    if (got <= kFileHeader || head[0] != 'B' || head[1] != 'M') return false;
    const uint32_t offset = ReadU32(head + 10);
    if (offset >= size) return false;
    if (got < sizeof head) return false;

    BitmapInfoHeader header;
    std::memcpy(static_cast<void*>(&header), head + kFileHeader, sizeof header);
    // Older core headers (12 bytes) have another layout; larger versions extend this one.
    if (header.biSize < sizeof(BitmapInfoHeader) || header.biSize > size - kFileHeader) return false;
    uint32_t masks[3] = {0, 0, 0};
    if (header.biCompression == kBiBitfields) {
        // Version 4 and 5 headers hold the masks themselves; a plain header is followed by them.
        if (source.Read(kFileHeader + sizeof(BitmapInfoHeader), masks, 12) != 12) return false;
    }
    // Plain 24-bit rows widen to 32 bits as they are read when the caller wants 32 bits.
    const bool widen = wantedDepth == 32 && header.biBitCount == 24 && header.biCompression == kBiRgb;
    BitmapInfoHeader created = header;
    if (widen) {
        created.biBitCount = 32;
        created.biSizeImage = 0;
    }
    auto image = std::make_unique<Image>();
    if (!image->Create(&created, masks)) {
        SetCodecError("picture too large or of a kind we do not read: " + std::to_string(header.biWidth) +
                      " x " + std::to_string(header.biHeight) + " at " + std::to_string(header.biBitCount) +
                      " bits");
        return false;
    }

    if (image->Depth() <= 8) {
        std::vector<PaletteEntry> palette(static_cast<size_t>(image->PaletteSize()));
        const size_t n = source.Read(kFileHeader + header.biSize, palette.data(), palette.size() * 4) / 4;
        image->SetPalette(0, static_cast<int>(n), palette.data());
    }
    // A short file leaves its missing (top) lines black.
    if (widen) {
        // File lines and block lines run in the same order.
        uint8_t* const block = image->Bits();
        const auto stride = static_cast<size_t>(image->Stride());
        ReadWidenedLines(source, offset, static_cast<size_t>(Image::StrideFor(image->Width(), 24)),
                         image->Height(), image->Width(),
                         [&](int n) { return block + stride * static_cast<size_t>(n); });
    } else
        source.Read(offset, image->Bits(), image->PixelBytes());
    AddFrame(std::move(image));
    return true;
}

bool BmpCodec::LoadMemory(const uint8_t* data, size_t size) {
    return data && Parse(MemorySource(data, size));
}

bool BmpCodec::LoadFile(const std::string& path) {
    FileSource file(path);
    return file.IsOpen() && file.Size() > 0 && Parse(file);
}

std::vector<uint8_t> BmpFileHead(const Image& image) {
    const size_t pixelBytes = image.PixelBytes();
    std::vector<uint8_t> info = image.MakeBitmapInfo();
    size_t infoBytes = 40;
    if (image.Depth() <= 8)
        infoBytes += 4u * static_cast<size_t>(image.PaletteSize());
    else if (image.Header().biCompression == kBiBitfields)
        infoBytes += 12;
    const size_t fileSize = pixelBytes + 14 + infoBytes;
    if (fileSize > UINT32_MAX || info.size() < infoBytes) return {};
    std::vector<uint8_t> head(14 + infoBytes, 0);
    head[0] = 'B';
    head[1] = 'M';
    PutU32(&head[2], static_cast<uint32_t>(fileSize));
    PutU32(&head[10], static_cast<uint32_t>(fileSize - pixelBytes));
    std::memcpy(&head[14], info.data(), infoBytes);
    return head;
}

bool BmpCodec::SaveFile(const std::string& path, int) {
    const Image* image = FirstToSave();
    if (!image) return false;
    const std::vector<uint8_t> head = BmpFileHead(*image);
    if (head.empty()) return false;
    const size_t pixelBytes = image->PixelBytes();
    // The pixel block is already stored bottom-up with padded lines, exactly as the file wants it.
    return WriteStreamAtomically(path, [&](std::FILE* f) {
        return std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
               std::fwrite(image->Bits(), 1, pixelBytes, f) == pixelBytes;
    });
}

}  // namespace glimmora
