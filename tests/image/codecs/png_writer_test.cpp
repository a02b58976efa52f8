// Our PNG writer: read back bit for bit by libpng and FreeImage, with the chunks FreeImage's writer wrote.
#include <png.h>

#include <cstring>
#include <deque>
#include <memory>
#include <random>

#include "codec_test_support.h"
#include "image/codecs/codecs.h"
#include "image/codecs/png_writer.h"
#include "image/row_bands.h"

namespace glimmora {
namespace {

using test::TempDir;

enum class Palette { None, Colour, Grey, GreyInverted, MixedGrey };

Image RandomPicture(int w, int h, int depth, Palette palette, bool alpha, uint32_t seed) {
    std::mt19937 random(seed);
    Image img;
    img.Create(w, h, depth);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < img.Stride(); ++i) img.Row(y)[i] = static_cast<uint8_t>(random());
    const int n = img.PaletteSize();
    std::vector<PaletteEntry> entries(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int ramp = depth == 1 ? i * 255 : i, reverse = depth == 1 ? 255 - ramp : n - 1 - i;
        const bool reversed =
            palette == Palette::GreyInverted || (palette == Palette::MixedGrey && i % 3 == 0);
        const auto g = static_cast<uint8_t>(reversed ? reverse : ramp);
        const auto r = [&] { return static_cast<uint8_t>(random()); };
        entries[static_cast<size_t>(i)] =
            palette == Palette::Colour ? PaletteEntry{r(), r(), r(), 0} : PaletteEntry{g, g, g, 0};
    }
    if (n) img.SetPalette(0, n, entries.data());
    if (depth == 32 && !alpha) img.SetAlphaAll(255);
    return img;
}

// The chunks before the pixels (IHDR, PLTE, pHYs), and the chunk types in order with IDATs counted once.
struct Chunks {
    std::vector<uint8_t> head;
    std::string types;
};

Chunks ReadChunks(const std::string& path) {
    const std::vector<uint8_t> b = test::ReadAll(path);
    Chunks c;
    for (size_t at = 8; at + 12 <= b.size();) {
        const size_t n = size_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        const std::string type(b.begin() + static_cast<ptrdiff_t>(at + 4),
                               b.begin() + static_cast<ptrdiff_t>(at + 8));
        if (type != "IDAT")
            c.head.insert(c.head.end(), b.begin() + static_cast<ptrdiff_t>(at),
                          b.begin() + static_cast<ptrdiff_t>(at + 12 + n));
        if (type != "IDAT" || !c.types.ends_with("IDAT")) c.types += type;
        at += 12 + n;
    }
    return c;
}

// The picture as libpng's own reader gives it, as a 32-bit image (false when libpng refuses the file).
bool ReadWithLibpng(const std::string& path, Image& out) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_BGRA;
    if (!out.Create(static_cast<int>(png.width), static_cast<int>(png.height), 32)) return false;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return false;
    for (int y = 0; y < out.Height(); ++y)
        std::memcpy(out.Row(y), &pixels[static_cast<size_t>(y) * png.width * 4], png.width * 4);
    return true;
}

bool ReadWithFreeImage(const std::string& path, Image& out) {
    FreeImageCodec reader;
    if (!reader.LoadFile(path)) return false;
    std::deque<Image*> frames = reader.TakeFrames(true);
    std::unique_ptr<Image> frame(frames.empty() ? nullptr : frames.front());
    if (!frame || !frame->ConvertDepth(32)) return false;
    out = std::move(*frame);
    return true;
}

void ExpectReadBackAsWritten(const Image& source, const std::string& path) {
    Image expected(source), libpng, freeImage;
    ASSERT_TRUE(expected.ConvertDepth(32));
    ASSERT_TRUE(ReadWithLibpng(path, libpng)) << path;
    ASSERT_TRUE(ReadWithFreeImage(path, freeImage)) << path;
    EXPECT_TRUE(test::SamePixels(libpng, expected)) << path;
    EXPECT_TRUE(test::SamePixels(freeImage, expected)) << path;
}

TEST(PngWriter, EveryDepthReadsBackExactlyWithFreeImagesChunks) {
    struct Case {
        int depth;
        Palette palette;
        bool alpha;
        bool ours;  // our writer rather than FreeImage's
        const char* ihdr;
    } cases[] = {
        {1, Palette::Colour, false, true, "1-bit palette"},
        {1, Palette::Grey, false, true, "1-bit grey"},
        {1, Palette::GreyInverted, false, true, "1-bit grey, white first"},
        {4, Palette::Colour, false, true, "4-bit palette"},
        {4, Palette::Grey, false, false, "4-bit grey"},
        {8, Palette::Colour, false, true, "8-bit palette"},
        {8, Palette::Grey, false, true, "8-bit grey"},
        {8, Palette::GreyInverted, false, true, "8-bit grey, white first"},
        {8, Palette::MixedGrey, false, false, "8-bit mixed ramp"},
        {16, Palette::None, false, true, "16 bits as RGB"},
        {24, Palette::None, false, true, "RGB"},
        {32, Palette::None, false, true, "opaque 32 bits as RGB"},
        {32, Palette::None, true, true, "RGBA"},
    };
    TempDir dir;
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ihdr);
        const Image img = RandomPicture(37, 29, c.depth, c.palette, c.alpha, seed++);
        EXPECT_EQ(PngWriterCovers(img), c.ours && c.depth != 16);
        PngCodec ours;
        ours.saveList.push_back(&img);
        ASSERT_TRUE(ours.SaveFile(dir / "ours.png", -1));
        GdiplusCodec freeImage(kFormatPng);
        freeImage.saveList.push_back(&img);
        ASSERT_TRUE(freeImage.SaveFile(dir / "freeimage.png", -1));
        const Chunks mine = ReadChunks(dir / "ours.png"), theirs = ReadChunks(dir / "freeimage.png");
        EXPECT_EQ(mine.types, theirs.types);
        EXPECT_EQ(mine.head, theirs.head);  // IHDR, PLTE and pHYs byte for byte, CRCs included
        if (c.ours) {
            ExpectReadBackAsWritten(img, dir / "ours.png");
        } else {
            // FreeImage's own way, kept: the very file it wrote before.
            EXPECT_EQ(test::ReadAll(dir / "ours.png"), test::ReadAll(dir / "freeimage.png"));
        }
    }
}

// Many bands (odd widths, more rows than a band) give the same file on one thread and on several.
TEST(PngWriter, BandsJoinIntoOneStreamWhateverTheThreads) {
    TempDir dir;
    struct Case {
        int w, h, depth, bandRows;
        Palette palette;
        bool alpha;
    } cases[] = {{301, 100, 24, 7, Palette::None, false},
                 {77, 64, 32, 5, Palette::None, true},
                 {53, 91, 8, 13, Palette::Grey, false},
                 {45, 40, 1, 3, Palette::Colour, false},
                 {333, 700, 24, 0, Palette::None, false}};
    for (const Case& c : cases) {
        Image img = RandomPicture(c.w, c.h, c.depth, c.palette, c.alpha, static_cast<uint32_t>(c.w));
        // Runs of one colour in the upper half, so rows go both unfiltered and as differences.
        for (int y = 0; y < c.h / 2 && c.depth >= 8; ++y)
            std::memset(img.Row(y), 0x5A, static_cast<size_t>(img.Stride()) * 2 / 3);
        std::vector<uint8_t> files[2];
        for (int threads : {1, 4}) {
            SetRowBandThreads(threads);
            const std::string path = dir / (threads == 1 ? "t1.png" : "t4.png");
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_TRUE(f);
            EXPECT_TRUE(WritePng(img, f, {6, c.bandRows}));
            std::fclose(f);
            ExpectReadBackAsWritten(img, path);
            files[threads == 1 ? 0 : 1] = test::ReadAll(path);
        }
        SetRowBandThreads(0);
        EXPECT_EQ(files[0], files[1]) << c.w << " x " << c.h;
    }
}

TEST(PngWriter, LevelFollowsTheContent) {
    Image noise = RandomPicture(64, 64, 24, Palette::None, false, 7);
    EXPECT_EQ(PngLevelFor(noise), 1);
    Image flat;
    ASSERT_TRUE(flat.Create(64, 64, 32));
    EXPECT_EQ(PngLevelFor(flat), 6);
    EXPECT_EQ(PngLevelFor(RandomPicture(64, 64, 8, Palette::Colour, false, 8)), 6);
}

}  // namespace
}  // namespace glimmora
