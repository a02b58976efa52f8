// Our own BMP-to-PCX converter: the document writes a BMP first, then converts it.
#include <cstring>

#include "image/codecs/codecs.h"

namespace glimmora {

namespace {
void PutU16(std::vector<uint8_t>& out, size_t at, unsigned v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

// PCX run-length coding of one plane line: runs of up to 63, and any byte of 0xC0 or above goes out as a
// run so the reader does not take it for a count.
void EncodeLine(const uint8_t* line, size_t n, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < n;) {
        const uint8_t v = line[i];
        size_t run = 1;
        while (run < 63 && i + run < n && line[i + run] == v) ++run;
        if (run > 1 || v >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | run));
        out.push_back(v);
        i += run;
    }
}
}  // namespace

int ConvertBmpToPcx(const std::string& pcxPath, const std::string& bmpPath) {
    BmpCodec reader;
    if (!reader.LoadFile(bmpPath)) return 0;
    std::deque<Image*> frames = reader.TakeFrames(false);
    if (frames.empty()) return 0;
    Image& image = *frames.front();
    const bool paletted = image.Depth() <= 8;
    if (!paletted && !image.ConvertDepth(24)) {
        SetCodecError("not enough memory to convert the picture for PCX");
        return 0;
    }
    const int w = image.Width(), h = image.Height();
    // The line length is a 16-bit field and lines have an even length.
    if (w > 0xFFFE || h > 0x10000) {
        SetCodecError("too large for PCX: at most 65534 x 65536 pixels");
        return 0;
    }
    const int planes = paletted ? 1 : 3;
    const size_t bytesPerLine = static_cast<size_t>(w + (w & 1));  // PCX lines have an even length

    std::vector<uint8_t> out(128, 0);
    out[0] = 10;  // manufacturer
    out[1] = 5;   // version 3.0 with palette
    out[2] = 1;   // run-length coded
    out[3] = 8;   // bits per pixel per plane
    PutU16(out, 8, static_cast<unsigned>(w - 1));
    PutU16(out, 10, static_cast<unsigned>(h - 1));
    PutU16(out, 12, 72);
    PutU16(out, 14, 72);
    out[65] = static_cast<uint8_t>(planes);
    PutU16(out, 66, static_cast<unsigned>(bytesPerLine));
    PutU16(out, 68, 1);  // colour palette, not greyscale
    out.reserve(128 + static_cast<size_t>(h) * bytesPerLine * static_cast<size_t>(planes) + 769);

    std::vector<uint8_t> line(bytesPerLine, 0);
    for (int y = 0; y < h; ++y) {
        if (paletted) {
            for (int x = 0; x < w; ++x)
                line[static_cast<size_t>(x)] = static_cast<uint8_t>(image.PixelValue(x, y));
            EncodeLine(line.data(), bytesPerLine, out);
            continue;
        }
        const uint8_t* row = image.Row(y);
        // Planes go red, green, blue; our pixels are blue, green, red.
        for (int plane = 0; plane < 3; ++plane) {
            const int channel = 2 - plane;
            for (int x = 0; x < w; ++x) line[static_cast<size_t>(x)] = row[3 * x + channel];
            EncodeLine(line.data(), bytesPerLine, out);
        }
    }
    if (paletted) {
        out.push_back(0x0C);
        const PaletteEntry* pal = image.Palette();
        for (int i = 0; i < 256; ++i) {
            const bool have = i < image.PaletteSize();
            out.push_back(have ? pal[i].red : 0);
            out.push_back(have ? pal[i].green : 0);
            out.push_back(have ? pal[i].blue : 0);
        }
    }
    return WriteFileAtomically(pcxPath, out.data(), out.size()) ? 1 : 0;
}

}  // namespace glimmora
