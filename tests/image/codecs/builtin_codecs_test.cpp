// Our own BMP and TGA readers and writers, the format table and the factory slot.
#include <cstring>

#include "codec_test_support.h"
#include "image/codecs/codecs.h"

namespace glimmora {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::unique_ptr<Image> LoadWith(ImageCodec& codec, const std::vector<uint8_t>& bytes) {
    if (!codec.LoadMemory(bytes.data(), bytes.size())) return nullptr;
    auto frames = codec.TakeFrames(true);
    if (frames.size() != 1) return nullptr;
    return std::unique_ptr<Image>(frames.front());
}

bool SaveWith(ImageCodec& codec, const Image& img, const std::string& path, int option) {
    codec.saveList.push_back(&img);
    return codec.SaveFile(path, option);
}

TEST(FormatFromPath, ExtensionTable) {
    struct Case {
        const char* path;
        ImageFormatId id;
    } cases[] = {
        {"a.bmp", 1},        {"a.PCX", 2},     {"photo.JPEG", 3},   {"x.jpg", 3},          {"y.Gif", 4},
        {"t.tga", 5},        {"t.tif", 6},     {"t.TIFF", 6},       {"p.png", 7},          {"p.psd", 8},
        {"i.ico", 9},        {"x.xpm", 10},    {"n.nbo", 11},       {"archive.tar.gz", 0}, {"noextension", 0},
        {"dir.png/file", 0}, {"trailing.", 0}, {"/a/b/c.d.png", 7},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFromPath(c.path), c.id) << c.path;
}

TEST(Factories, WhichCodecEachFactoryMakes) {
    BuiltinCodecFactory builtin;
    GdiplusCodecFactory gdiplus;
    FreeImageCodecFactory freeimage;
    for (ImageFormatId id : {0, 2, 6, 7, 8, 9, 10, 11}) EXPECT_EQ(builtin.CreateCodec(id), nullptr) << id;
    for (ImageFormatId id : {0, 2, 8, 9, 10, 11}) EXPECT_EQ(gdiplus.CreateCodec(id), nullptr) << id;
    for (ImageFormatId id : {0, 11}) EXPECT_EQ(freeimage.CreateCodec(id), nullptr) << id;
    EXPECT_NE(dynamic_cast<BmpCodec*>(freeimage.CreateCodec(1).get()), nullptr);
    EXPECT_NE(dynamic_cast<TgaCodec*>(gdiplus.CreateCodec(5).get()), nullptr);
    EXPECT_NE(dynamic_cast<OlePictureCodec*>(builtin.CreateCodec(3).get()), nullptr);
    EXPECT_NE(dynamic_cast<PngCodec*>(gdiplus.CreateCodec(7).get()), nullptr);
    EXPECT_NE(dynamic_cast<FreeImageCodec*>(freeimage.CreateCodec(2).get()), nullptr);
}

TEST(Factories, SlotStartsBuiltinAndIsReplaced) {
    TempDir dir;
    Image img = test::Pattern(4, 4, 32);
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    ASSERT_TRUE(img.Save(dir / "a.png", -1));
    Image back;
    EXPECT_TRUE(back.Load(dir / "a.png"));
    SetFactory(std::make_unique<BuiltinCodecFactory>());
    Image none;
    EXPECT_FALSE(none.Load(dir / "a.png"));  // the built-in factory has no PNG codec
    EXPECT_FALSE(img.Save(dir / "b.png", -1));
    EXPECT_EQ(SetFactory(nullptr), &CurrentFactory());
}

TEST(BmpWriter, FileLayoutPerDepth) {
    TempDir dir;
    struct Case {
        int depth;
        size_t headerBytes;
    } cases[] = {{24, 54}, {32, 54}, {8, 54 + 1024}, {4, 54 + 64}, {1, 54 + 8}, {16, 54}};
    for (const Case& c : cases) {
        Image img = test::Pattern(10, 10, c.depth);
        BmpCodec codec;
        const std::string path = dir / "x.bmp";
        ASSERT_TRUE(SaveWith(codec, img, path, -1)) << c.depth;
        const std::vector<uint8_t> file = ReadAll(path);
        ASSERT_EQ(file.size(), c.headerBytes + img.PixelBytes()) << c.depth;
        if (c.depth == 24) {
            EXPECT_EQ(file.size(), 54u + 320);
        }
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), file.size());
        EXPECT_EQ(U32(file, 10), c.headerBytes);
        EXPECT_EQ(U32(file, 6), 0u);

        BmpCodec reader;
        auto back = LoadWith(reader, file);
        ASSERT_TRUE(back) << c.depth;
        EXPECT_TRUE(test::SamePixels(*back, img)) << c.depth;
        if (c.depth <= 8) {
            EXPECT_EQ(std::memcmp(back->Palette(), img.Palette(), static_cast<size_t>(img.PaletteSize()) * 4),
                      0);
        }
    }
}

TEST(BmpWriter, BitfieldImagesCarryTheirMasks) {
    BitmapInfoHeader h;
    h.biWidth = 3;
    h.biHeight = 2;
    h.biBitCount = 16;
    h.biCompression = kBiBitfields;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    Image img;
    ASSERT_TRUE(img.Create(&h, masks));
    img.Row(0)[0] = 0xFF;
    TempDir dir;
    BmpCodec codec;
    ASSERT_TRUE(SaveWith(codec, img, dir / "m.bmp", -1));
    const auto file = ReadAll(dir / "m.bmp");
    EXPECT_EQ(U32(file, 10), 54u + 12);
    BmpCodec reader;
    auto back = LoadWith(reader, file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GreenMask(), 0x07E0u);
    EXPECT_EQ(back->PixelValue(0, 0), 0xFFu);
}

TEST(BmpReader, RejectsAndRepairs) {
    Image img = test::Pattern(4, 3, 24);
    TempDir dir;
    BmpCodec writer;
    ASSERT_TRUE(SaveWith(writer, img, dir / "a.bmp", -1));
    const std::vector<uint8_t> good = ReadAll(dir / "a.bmp");

    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<ptrdiff_t>(at));
        return b;
    };
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> bad = {
        {"empty", {}},
        {"too short", {'B', 'M', 0, 0}},
        {"wrong signature", with(0, {'M', 'B'})},
        {"offset past the end", with(10, {0xFF, 0xFF, 0, 0})},
        {"negative height", with(22, {0xFD, 0xFF, 0xFF, 0xFF})},
        {"run-length compression", with(30, {1, 0, 0, 0})},
        {"depth 2", with(28, {2, 0})},
        {"header size beyond the file", with(14, {0xFF, 0xFF, 0, 0})},
        {"core header", with(14, {12, 0, 0, 0})},
        {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
    };
    for (const auto& [what, bytes] : bad) {
        BmpCodec codec;
        EXPECT_FALSE(codec.LoadMemory(bytes.data(), bytes.size())) << what;
        EXPECT_TRUE(codec.TakeFrames(false).empty()) << what;
    }

    // Truncated pixel data: the lines that arrived are kept (bottom-up, so the bottom rows), the rest black.
    std::vector<uint8_t> cut(good.begin(), good.end() - static_cast<ptrdiff_t>(img.Stride()) - 2);
    BmpCodec codec;
    auto back = LoadWith(codec, cut);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->PixelValue(3, 2), img.PixelValue(3, 2));
    EXPECT_EQ(back->PixelValue(0, 0), 0u);
}

TEST(TgaWriter, HeaderMapAndPackets) {
    TempDir dir;
    Image grey = test::Pattern(3, 2, 8);
    for (int option : {-1, 1}) {
        TgaCodec codec;
        ASSERT_TRUE(SaveWith(codec, grey, dir / "g.tga", option));
        const auto f = ReadAll(dir / "g.tga");
        EXPECT_EQ(f[0], 12);
        EXPECT_EQ(f[1], 1);
        EXPECT_EQ(f[2], option == -1 ? 1 : 9);
        EXPECT_EQ(f[5] | f[6] << 8, 256);
        EXPECT_EQ(f[7], 24);
        EXPECT_EQ(f[17], 0x20);
        EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 30), "Nimbo -- TGA");
        EXPECT_EQ(f[30 + 3 * 17], 17);  // grey ramp entry 17, blue first
        TgaCodec reader;
        auto back = LoadWith(reader, f);
        ASSERT_TRUE(back);
        EXPECT_TRUE(test::SamePixels(*back, grey));
    }

    Image uniform;
    ASSERT_TRUE(uniform.Create(300, 1, 24));
    const uint8_t px[3] = {1, 2, 3};
    uniform.FillRect(Rect{0, 0, 300, 1}, px);
    TgaCodec rle;
    ASSERT_TRUE(SaveWith(rle, uniform, dir / "u.tga", 1));
    const auto f = ReadAll(dir / "u.tga");
    ASSERT_EQ(f.size(), 30u + 3 * 4);
    EXPECT_EQ(f[30], 0xFF);
    EXPECT_EQ(f[34], 0xFF);
    EXPECT_EQ(f[38], 0xAB);

    Image four = test::Pattern(2, 2, 4);
    TgaCodec refuse;
    EXPECT_FALSE(SaveWith(refuse, four, dir / "f.tga", -1));
}

TEST(TgaRoundTrip, EveryWritableDepthBothCodings) {
    TempDir dir;
    for (int depth : {8, 16, 24, 32}) {
        for (int option : {-1, 1}) {
            Image img = test::Pattern(7, 5, depth);
            TgaCodec codec;
            ASSERT_TRUE(SaveWith(codec, img, dir / "r.tga", option));
            TgaCodec reader;
            auto back = LoadWith(reader, ReadAll(dir / "r.tga"));
            ASSERT_TRUE(back);
            EXPECT_TRUE(test::SamePixels(*back, img)) << depth << " " << option;
        }
    }
}

std::vector<uint8_t> TgaHeader(int w, int h, int bpp, int type, int desc, int mapType = 0, int first = 0,
                               int length = 0, int entry = 0) {
    return {0,
            static_cast<uint8_t>(mapType),
            static_cast<uint8_t>(type),
            static_cast<uint8_t>(first),
            static_cast<uint8_t>(first >> 8),
            static_cast<uint8_t>(length),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(entry),
            0,
            0,
            0,
            0,
            static_cast<uint8_t>(w),
            static_cast<uint8_t>(w >> 8),
            static_cast<uint8_t>(h),
            static_cast<uint8_t>(h >> 8),
            static_cast<uint8_t>(bpp),
            static_cast<uint8_t>(desc)};
}

TEST(TgaReader, OriginMapsAndHostileData) {
    // Bottom-left origin: the first row in the file is the last line of the picture.
    auto bottomUp = TgaHeader(1, 2, 24, 2, 0);
    bottomUp.insert(bottomUp.end(), {1, 1, 1, 2, 2, 2});
    TgaCodec a;
    auto img = LoadWith(a, bottomUp);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->PixelValue(0, 1), 0x010101u);
    EXPECT_EQ(img->PixelValue(0, 0), 0x020202u);

    // A map from index 200 with 100 entries would overrun 256 slots.
    auto overrun = TgaHeader(1, 1, 8, 1, 0x20, 1, 200, 100, 24);
    overrun.resize(overrun.size() + 300 + 1);
    TgaCodec b;
    EXPECT_FALSE(b.LoadMemory(overrun.data(), overrun.size()));

    // 16-bit map entries are not taken.
    auto map16 = TgaHeader(1, 1, 8, 1, 0x20, 1, 0, 1, 16);
    map16.resize(map16.size() + 3);
    TgaCodec c;
    EXPECT_FALSE(c.LoadMemory(map16.data(), map16.size()));

    // Map from index 2 with 32-bit entries: fourth byte is alpha, other slots stay 0.
    auto mapped = TgaHeader(2, 1, 8, 1, 0x20, 1, 2, 1, 32);
    mapped.insert(mapped.end(), {10, 20, 30, 40, 2, 0});
    TgaCodec d;
    img = LoadWith(d, mapped);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->Palette()[2].red, 30);
    EXPECT_EQ(img->Palette()[2].reserved, 40);
    EXPECT_EQ(img->Palette()[255].red, 0);
    EXPECT_EQ(img->PixelValue(0, 0), 2u);

    // A repeat packet that runs past the row end is clipped to the row; the next row reads its own packets.
    auto crossing = TgaHeader(2, 2, 24, 10, 0x20);
    crossing.insert(crossing.end(), {0x84, 9, 9, 9, 0x81, 7, 7, 7});
    TgaCodec e;
    img = LoadWith(e, crossing);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->PixelValue(1, 0), 0x090909u);
    EXPECT_EQ(img->PixelValue(1, 1), 0x070707u);

    // A raw packet that promises more than the row holds and more than the data holds.
    auto rawOver = TgaHeader(2, 1, 24, 10, 0x20);
    rawOver.insert(rawOver.end(), {0x7F, 1, 2, 3, 4});
    TgaCodec f;
    img = LoadWith(f, rawOver);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->PixelValue(0, 0), 0x030201u);
    EXPECT_EQ(img->PixelValue(1, 0), 0x04u);

    // Short data leaves the missing lines black.
    auto shortData = TgaHeader(2, 2, 24, 2, 0x20);
    shortData.insert(shortData.end(), {5, 5, 5, 6});
    TgaCodec g;
    img = LoadWith(g, shortData);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->PixelValue(0, 0), 0x050505u);
    EXPECT_EQ(img->PixelValue(1, 0), 0x06u);
    EXPECT_EQ(img->PixelValue(0, 1), 0u);

    // Image-ID length beyond the data, zero sizes, unsupported depth, a bare header.
    auto idBeyond = TgaHeader(1, 1, 24, 2, 0x20);
    idBeyond[0] = 200;
    TgaCodec h;
    img = LoadWith(h, idBeyond);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->PixelValue(0, 0), 0u);
    for (const auto& bytes :
         {TgaHeader(0, 1, 24, 2, 0x20), TgaHeader(1, 1, 12, 2, 0x20), std::vector<uint8_t>(10, 0)}) {
        TgaCodec codec;
        EXPECT_FALSE(codec.LoadMemory(bytes.data(), bytes.size()));
    }
}

TEST(CodecBase, LoadFileFailures) {
    TempDir dir;
    BmpCodec codec;
    EXPECT_FALSE(codec.LoadFile(dir / "missing.bmp"));
    WriteAll(dir / "empty.bmp", {});
    EXPECT_FALSE(codec.LoadFile(dir / "empty.bmp"));
    EXPECT_FALSE(codec.LoadFile(dir.path()));  // a folder
    ImageCodec base;
    uint8_t byte = 0;
    EXPECT_FALSE(base.LoadMemory(&byte, 1));
    EXPECT_FALSE(base.SaveFile(dir / "x", -1));
}

TEST(CodecBase, FramesTakenWithoutTransferStayOwned) {
    Image img = test::Pattern(2, 2, 24);
    TempDir dir;
    BmpCodec w;
    ASSERT_TRUE(SaveWith(w, img, dir / "a.bmp", -1));
    auto codec = std::make_unique<BmpCodec>();
    ASSERT_TRUE(codec->LoadFile(dir / "a.bmp"));
    EXPECT_EQ(codec->TakeFrames(false).size(), 1u);
    auto taken = codec->TakeFrames(true);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(codec->TakeFrames(false).empty());
    codec.reset();
    std::unique_ptr<Image> owned(taken.front());
    EXPECT_EQ(owned->Width(), 2);  // still alive after the codec is gone
}

}  // namespace
}  // namespace glimmora

namespace glimmora {
namespace {

// Reading a file directly and reading the same bytes from memory give the same picture, whole or cut short.
TEST(OwnReaders, FileAndMemoryAgreeOnTheSeedCorpus) {
    TempDir dir;
    int files = 0;
    for (const char* kind : {"bmp", "tga"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(GLIMMORA_SOURCE_DIR) + "/fuzz/corpus/" + kind)) {
            const std::vector<uint8_t> whole = ReadAll(entry.path().string());
            for (size_t cut : {whole.size(), whole.size() * 2 / 3, size_t{20}}) {
                const std::vector<uint8_t> bytes(
                    whole.begin(), whole.begin() + static_cast<ptrdiff_t>(std::min(cut, whole.size())));
                const std::string path = dir / (std::string("f.") + kind);
                WriteAll(path, bytes);
                std::unique_ptr<ImageCodec> fromFile, fromMemory;
                if (kind == std::string("bmp")) {
                    fromFile = std::make_unique<BmpCodec>();
                    fromMemory = std::make_unique<BmpCodec>();
                } else {
                    fromFile = std::make_unique<TgaCodec>();
                    fromMemory = std::make_unique<TgaCodec>();
                }
                const bool a = fromFile->LoadFile(path);
                const bool b = fromMemory->LoadMemory(bytes.data(), bytes.size());
                ASSERT_EQ(a, b) << entry.path() << " cut to " << bytes.size();
                if (!a) continue;
                const Image& x = *fromFile->TakeFrames(false).front();
                const Image& y = *fromMemory->TakeFrames(false).front();
                EXPECT_TRUE(test::SamePixels(x, y)) << entry.path();
                if (x.Depth() <= 8) {
                    EXPECT_EQ(std::memcmp(x.Palette(), y.Palette(), static_cast<size_t>(x.PaletteSize()) * 4),
                              0);
                }
                ++files;
            }
        }
    }
    EXPECT_GT(files, 10);
}

}  // namespace
}  // namespace glimmora
