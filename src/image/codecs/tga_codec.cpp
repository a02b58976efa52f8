#include <cstring>

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

bool TgaCodec::LoadMemory(const uint8_t* data, size_t size) {
    if (!data || size < kHeaderBytes) return false;
    const uint8_t idLength = data[0];
    const uint8_t mapType = data[1];
    const uint8_t imageType = data[2];
    const unsigned mapFirst = ReadU16(data + 3);
    const unsigned mapLength = ReadU16(data + 5);
    const uint8_t mapEntryBits = data[7];
    if (mapEntryBits == 15 || mapEntryBits == 16) return false;
    int bpp = data[16];
    if (bpp == 15) bpp = 16;
    const bool topDown = (data[17] & 0x20) != 0;
    const bool rle = imageType == 9 || imageType == 10 || imageType == 11;
    if (rle && bpp < 8) return false;

    auto image = std::make_unique<Image>();
    if (!image->Create(static_cast<int>(ReadU16(data + 12)), static_cast<int>(ReadU16(data + 14)), bpp))
        return false;

    size_t pos = kHeaderBytes + idLength;
    if (mapType == 1) {
        if (mapFirst + mapLength > 256) return false;
        const size_t entryBytes = mapEntryBits == 32 ? 4 : 3;
        PaletteEntry palette[256] = {};
        for (unsigned i = 0; i < mapLength && pos + entryBytes <= size; ++i, pos += entryBytes) {
            PaletteEntry& e = palette[mapFirst + i];
            e.blue = data[pos];
            e.green = data[pos + 1];
            e.red = data[pos + 2];
            if (entryBytes == 4) e.reserved = data[pos + 3];
        }
        pos = std::min(size, kHeaderBytes + idLength + static_cast<size_t>(mapLength) * entryBytes);
        image->SetPalette(0, 256, palette);
    }
    if (pos > size) pos = size;

    const int width = image->Width();
    const int height = image->Height();
    const size_t pixelBytes = static_cast<size_t>(bpp / 8);
    const size_t rowBytes = static_cast<size_t>(width) * bpp / 8;
    // Short data leaves the remaining lines black; a packet never writes past its row.
    for (int n = 0; n < height && pos < size; ++n) {
        uint8_t* row = image->Row(topDown ? n : height - 1 - n);
        if (!rle) {
            const size_t take = std::min(rowBytes, size - pos);
            std::memcpy(row, data + pos, take);
            pos += take;
            continue;
        }
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
    AddFrame(std::move(image));
    return true;
}

bool TgaCodec::SaveFile(const std::string& path, int option) {
    const Image* image = FirstToSave();
    if (!image) return false;
    const int bpp = image->Depth();
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;

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
