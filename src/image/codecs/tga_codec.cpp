#include <cstring>

#include "image/codecs/byte_source.h"
#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"

namespace glimmora {

namespace {
constexpr size_t kHeaderBytes = 18;
constexpr char kImageId[] = "Nimbo -- TGA";

unsigned ReadU16(const uint8_t* p) {
    return p[0] | static_cast<unsigned>(p[1]) << 8;
}
void PutU16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
}  // namespace

namespace {
// Run-length rows from a buffer: packets never write past their row; short data leaves lines black.
void DecodeRunLength(Image& image, bool topDown, const uint8_t* data, size_t size) {
    const int width = image.Width();
    const int height = image.Height();
    const size_t pixelBytes = static_cast<size_t>(image.Depth() / 8);
    size_t pos = 0;
    for (int n = 0; n < height && pos < size; ++n) {
        uint8_t* row = image.Row(topDown ? n : height - 1 - n);
        int x = 0;
        while (x < width && pos < size) {
            const uint8_t packet = data[pos++];
            const int count = (packet & 0x7F) + 1;
            const int fit = std::min(count, width - x);
            if (packet & 0x80) {
                if (size - pos < pixelBytes) {
                    pos = size;
                    break;
                }
                const uint8_t* px = data + pos;
                pos += pixelBytes;
                for (int i = 0; i < fit; ++i, ++x) std::memcpy(row + x * pixelBytes, px, pixelBytes);
            } else {
                const size_t want = static_cast<size_t>(count) * pixelBytes;
                const size_t avail = std::min(want, size - pos);
                const size_t copy = std::min(avail, static_cast<size_t>(fit) * pixelBytes);
                std::memcpy(row + x * pixelBytes, data + pos, copy);
                pos += avail;
                x += fit;
            }
        }
    }
}
}  // namespace

bool TgaCodec::Parse(const ByteSource& source) {
    const size_t size = source.Size();
    uint8_t head[kHeaderBytes];
    if (source.Read(0, head, kHeaderBytes) != kHeaderBytes) return false;
    const uint8_t idLength = head[0];
    const uint8_t mapType = head[1];
    const uint8_t imageType = head[2];
    const unsigned mapFirst = ReadU16(head + 3);
    const unsigned mapLength = ReadU16(head + 5);
    const uint8_t mapEntryBits = head[7];
    if (mapEntryBits == 15 || mapEntryBits == 16) return false;
    int bpp = head[16];
    if (bpp == 15) bpp = 16;
    const bool topDown = (head[17] & 0x20) != 0;
    const bool rle = imageType == 9 || imageType == 10 || imageType == 11;
    if (rle && bpp < 8) return false;

    // Plain true-colour rows widen to 32 bits as they are read when the caller wants 32 bits.
    const bool widen = wantedDepth == 32 && bpp == 24 && imageType == 2 && mapType == 0;
    auto image = std::make_unique<Image>();
    if (!image->Create(static_cast<int>(ReadU16(head + 12)), static_cast<int>(ReadU16(head + 14)),
                       widen ? 32 : bpp))
        return false;

    size_t pos = kHeaderBytes + idLength;
    if (mapType == 1) {
        if (mapFirst + mapLength > 256) return false;
        const size_t entryBytes = mapEntryBits == 32 ? 4 : 3;
        uint8_t map[256 * 4];
        const size_t entries = source.Read(pos, map, mapLength * entryBytes) / entryBytes;
        PaletteEntry palette[256] = {};
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* m = map + i * entryBytes;
            PaletteEntry& e = palette[mapFirst + i];
            e.blue = m[0];
            e.green = m[1];
            e.red = m[2];
            if (entryBytes == 4) e.reserved = m[3];
        }
        pos += static_cast<size_t>(mapLength) * entryBytes;
        image->SetPalette(0, 256, palette);
    }

    if (rle) {
        if (pos < size) {
            std::vector<uint8_t> rest(size - pos);
            rest.resize(source.Read(pos, rest.data(), rest.size()));
            DecodeRunLength(*image, topDown, rest.data(), rest.size());
        }
    } else if (widen) {
        const int height = image->Height();
        Image& out = *image;
        ReadWidenedLines(source, pos, static_cast<size_t>(image->Width()) * 3, height, image->Width(),
                         [&](int n) { return out.Row(topDown ? n : height - 1 - n); });
    } else {
        // Raw rows go straight into their lines; short data leaves the remaining lines black.
        const int height = image->Height();
        const size_t rowBytes = static_cast<size_t>(image->Width()) * bpp / 8;
        std::vector<uint8_t*> rows(static_cast<size_t>(height));
        for (int n = 0; n < height; ++n)
            rows[static_cast<size_t>(n)] = image->Row(topDown ? n : height - 1 - n);
        if (rowBytes > 0 && pos < size) source.ReadRows(pos, rows.data(), rows.size(), rowBytes);
    }
    AddFrame(std::move(image));
    return true;
}

bool TgaCodec::LoadMemory(const uint8_t* data, size_t size) {
    return data && Parse(MemorySource(data, size));
}

bool TgaCodec::LoadFile(const std::string& path) {
    FileSource file(path);
    return file.IsOpen() && file.Size() > 0 && Parse(file);
}

bool TgaCodec::SaveFile(const std::string& path, int option) {
    const Image* image = FirstToSave();
    if (!image) return false;
    const int bpp = image->Depth();
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    // TGA's 16-bit pixels are always 5-5-5: a 5-6-5 picture drops the lowest green bit.
    Image fiveFiveFive;
    if (bpp == 16 && image->GreenMask() == 0x07E0) {
        if (!fiveFiveFive.Create(image->Width(), image->Height(), 16)) return false;
        for (int y = 0; y < image->Height(); ++y) {
            const uint8_t* s = image->Row(y);
            uint8_t* d = fiveFiveFive.Row(y);
            for (int x = 0; x < image->Width(); ++x, s += 2, d += 2) {
                const unsigned v = s[0] | s[1] << 8;
                const unsigned w = (v >> 11) << 10 | ((v >> 6) & 0x1F) << 5 | (v & 0x1F);
                d[0] = static_cast<uint8_t>(w);
                d[1] = static_cast<uint8_t>(w >> 8);
            }
        }
        image = &fiveFiveFive;
    }

    if (image->Width() > 0xFFFF || image->Height() > 0xFFFF) return false;

    // Header, the 12-byte image ID, then the colour map of 8-bit pictures.
    std::vector<uint8_t> out(kHeaderBytes + 12 + (bpp == 8 ? 3 * 256 : 0), 0);
    out[0] = 12;
    out[1] = bpp == 8 ? 1 : 0;
    if (option == -1)
        out[2] = bpp == 8 ? 1 : 2;
    else if (option == 1)
        out[2] = bpp == 8 ? 9 : 10;
    PutU16(&out[5], 256);
    out[7] = 24;
    PutU16(&out[12], static_cast<unsigned>(image->Width()));
    PutU16(&out[14], static_cast<unsigned>(image->Height()));
    out[16] = static_cast<uint8_t>(bpp);
    out[17] = 0x20;
    std::memcpy(&out[kHeaderBytes], kImageId, 12);
    if (bpp == 8) {
        const PaletteEntry* pal = image->Palette();
        uint8_t* map = &out[kHeaderBytes + 12];
        for (int i = 0; i < 256; ++i, map += 3) {
            map[0] = pal[i].blue;
            map[1] = pal[i].green;
            map[2] = pal[i].red;
        }
    }

    const size_t px = static_cast<size_t>(bpp / 8);
    const size_t rowBytes = static_cast<size_t>(image->Width()) * px;
    if (out[2] == 1 || out[2] == 2) {
        return WriteStreamAtomically(path, [&](std::FILE* f) {
            if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return false;
            // Top row first, as the descriptor says.
            for (int y = 0; y < image->Height(); ++y)
                if (std::fwrite(image->Row(y), 1, rowBytes, f) != rowBytes) return false;
            return true;
        });
    }
    if (out[2] != 0) {
        // Repeat packets only: a pixel that differs from its neighbour becomes a run of one.
        std::vector<uint8_t> scratch(2 * rowBytes + 4096);
        for (int y = 0; y < image->Height(); ++y) {
            const uint8_t* row = image->Row(y);
            size_t used = 0;
            const int w = image->Width();
            for (int x = 0; x < w;) {
                const uint8_t* p = row + x * px;
                int run = 1;
                while (run < 128 && x + run < w && std::memcmp(p, row + (x + run) * px, px) == 0) ++run;
                scratch[used++] = static_cast<uint8_t>((run - 1) | 0x80);
                std::memcpy(&scratch[used], p, px);
                used += px;
                x += run;
            }
            out.insert(out.end(), scratch.begin(), scratch.begin() + static_cast<ptrdiff_t>(used));
        }
    }
    return WriteFileAtomically(path, out.data(), out.size());
}

}  // namespace glimmora
