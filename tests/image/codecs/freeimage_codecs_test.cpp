// The codecs built on FreeImage, the PCX converter and the document's save route, checked by reading the
// written files back with FreeImage itself.
#include <FreeImage.h>
#include <sys/stat.h>

#include <cstring>

#include "codec_test_support.h"
#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"
#include "image/codecs/save_route.h"

namespace glimmora {
namespace {

using test::TempDir;

struct FreeImageEnv : ::testing::Environment {
    void SetUp() override { FreeImage_Initialise(FALSE); }
    void TearDown() override { FreeImage_DeInitialise(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new FreeImageEnv);

std::unique_ptr<Image> LoadFrame(ImageCodec& codec, const std::string& path, size_t* count = nullptr) {
    if (!codec.LoadFile(path)) return nullptr;
    auto frames = codec.TakeFrames(true);
    if (count) *count = frames.size();
    if (frames.empty()) return nullptr;
    std::unique_ptr<Image> first(frames.front());
    for (size_t i = 1; i < frames.size(); ++i) delete frames[i];
    return first;
}

// An opaque 32-bit picture with a translucent corner.
Image AlphaPicture(int w, int h) {
    Image img = test::Pattern(w, h, 32);
    img.SetAlphaAll(255);
    img.PixelAddress(0, 0)[3] = 40;
    return img;
}

FIBITMAP* Solid(int w, int h, uint8_t v) {
    FIBITMAP* dib = FreeImage_Allocate(w, h, 24);
    for (int y = 0; y < h; ++y) std::memset(FreeImage_GetScanLine(dib, y), v, FreeImage_GetPitch(dib));
    return dib;
}

TEST(FreeImageCodec, MultiPageTiffGivesOneFramePerPage) {
    TempDir dir;
    const std::string path = dir / "pages.tif";
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_TIFF, path.c_str(), TRUE, FALSE, FALSE, 0);
    ASSERT_NE(multi, nullptr);
    for (uint8_t v : {10, 20, 30}) {
        FIBITMAP* page = Solid(4 + v / 10, 3, v);
        FreeImage_AppendPage(multi, page);
        FreeImage_Unload(page);
    }
    ASSERT_TRUE(FreeImage_CloseMultiBitmap(multi, 0));

    FreeImageCodec codec;
    ASSERT_TRUE(codec.LoadFile(path));
    auto frames = codec.TakeFrames(false);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0]->Width(), 5);
    EXPECT_EQ(frames[2]->Width(), 7);
    EXPECT_EQ(frames[2]->PixelValue(1, 1), 0x1E1E1Eu);

    SetFactory(std::make_unique<FreeImageCodecFactory>());
    Image single;
    ASSERT_TRUE(single.Load(path));
    EXPECT_EQ(single.Width(), 5);  // only the first page
}

TEST(FreeImageCodec, AnimatedGifFramesCarryDelaysAndTransparency) {
    TempDir dir;
    const std::string path = dir / "anim.gif";
    FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_GIF, path.c_str(), TRUE, FALSE, FALSE, 0);
    ASSERT_NE(multi, nullptr);
    for (int32_t delay : {40, 120}) {
        FIBITMAP* page = FreeImage_Allocate(3, 2, 8);
        RGBQUAD* pal = FreeImage_GetPalette(page);
        for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{static_cast<BYTE>(i), 0, 0, 0};
        FreeImage_GetScanLine(page, 0)[0] = 7;  // bottom-left pixel: transparent index
        BYTE table[256];
        std::memset(table, 255, sizeof table);
        table[7] = 0;
        FreeImage_SetTransparencyTable(page, table, 256);
        FITAG* tag = FreeImage_CreateTag();
        FreeImage_SetTagKey(tag, "FrameTime");
        FreeImage_SetTagType(tag, FIDT_LONG);
        FreeImage_SetTagCount(tag, 1);
        FreeImage_SetTagLength(tag, 4);
        FreeImage_SetTagValue(tag, &delay);
        FreeImage_SetMetadata(FIMD_ANIMATION, page, "FrameTime", tag);
        FreeImage_DeleteTag(tag);
        FreeImage_AppendPage(multi, page);
        FreeImage_Unload(page);
    }
    ASSERT_TRUE(FreeImage_CloseMultiBitmap(multi, 0));

    FreeImageCodec codec;
    ASSERT_TRUE(codec.LoadFile(path));
    auto frames = codec.TakeFrames(false);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]->FrameDelay(), 40);
    EXPECT_EQ(frames[1]->FrameDelay(), 120);
    // Palette transparency turns into alpha.
    EXPECT_EQ(frames[0]->Depth(), 32);
    EXPECT_EQ(frames[0]->PixelAddress(0, 1)[3], 0);
    EXPECT_EQ(frames[0]->PixelAddress(1, 1)[3], 255);
}

TEST(FreeImageCodec, WriterOptions) {
    TempDir dir;
    Image pal = test::Pattern(6, 4, 8);
    FreeImageCodec gif;
    gif.saveList.push_back(&pal);
    ASSERT_TRUE(gif.SaveFile(dir / "t.gif", 300));
    FIBITMAP* back = FreeImage_Load(FIF_GIF, (dir / "t.gif").c_str(), 0);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(FreeImage_IsTransparent(back));
    EXPECT_EQ(FreeImage_GetTransparentIndex(back), 255);
    FreeImage_Unload(back);

    // -1 means quality 82: the same bytes as FreeImage writes for that flag.
    Image rgb = test::Pattern(16, 16, 24);
    FreeImageCodec jpeg;
    jpeg.saveList.push_back(&rgb);
    ASSERT_TRUE(jpeg.SaveFile(dir / "q.jpg", -1));
    FIBITMAP* dib = FreeImage_Allocate(16, 16, 24);
    for (int y = 0; y < 16; ++y) std::memcpy(FreeImage_GetScanLine(dib, y), rgb.Row(15 - y), 48);
    ASSERT_TRUE(FreeImage_Save(FIF_JPEG, dib, (dir / "ref.jpg").c_str(), 82));
    FreeImage_Unload(dib);
    EXPECT_EQ(test::ReadAll(dir / "q.jpg"), test::ReadAll(dir / "ref.jpg"));

    FreeImageCodec unknown;
    unknown.saveList.push_back(&rgb);
    EXPECT_FALSE(unknown.SaveFile(dir / "x.unknownext", -1));
    Image four = test::Pattern(4, 4, 4);
    FreeImageCodec jpeg4;
    jpeg4.saveList.push_back(&four);
    EXPECT_FALSE(jpeg4.SaveFile(dir / "four.jpg", -1));  // JPEG cannot take 4 bits
    FreeImageCodec empty;
    EXPECT_FALSE(empty.SaveFile(dir / "none.png", -1));
}

TEST(FreeImageCodec, MemoryAndHostileFiles) {
    TempDir dir;
    Image img = AlphaPicture(5, 5);
    FreeImageCodec w;
    w.saveList.push_back(&img);
    ASSERT_TRUE(w.SaveFile(dir / "a.png", -1));
    auto bytes = test::ReadAll(dir / "a.png");
    FreeImageCodec m;
    ASSERT_TRUE(m.LoadMemory(bytes.data(), bytes.size()));
    auto frames = m.TakeFrames(false);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(test::SamePixels(*frames[0], img));

    bytes.resize(bytes.size() / 2);
    test::WriteAll(dir / "cut.png", bytes);
    std::vector<uint8_t> noise(300);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 31);
    test::WriteAll(dir / "noise.png", noise);
    for (const char* name : {"noise.png", "missing.png"}) {
        FreeImageCodec c;
        EXPECT_FALSE(c.LoadFile(dir / name)) << name;
    }
    FreeImageCodec c;
    c.LoadFile(dir / "cut.png");  // whatever FreeImage makes of it, nothing crashes
}

TEST(GdiplusCodec, EveryEncoderAcceptsA32BitImage) {
    TempDir dir;
    Image img = AlphaPicture(9, 7);
    struct Case {
        const char* name;
        ImageFormatId id;
        FREE_IMAGE_FORMAT fif;
        unsigned bpp;
    } cases[] = {{"a.jpg", kFormatJpeg, FIF_JPEG, 24},
                 {"a.gif", kFormatGif, FIF_GIF, 8},
                 {"a.png", kFormatPng, FIF_PNG, 32},
                 {"a.tif", kFormatTiff, FIF_TIFF, 32},
                 {"a.bmp", kFormatBmp, FIF_BMP, 32}};
    for (const Case& c : cases) {
        GdiplusCodec codec(c.id);
        codec.saveList.push_back(&img);
        ASSERT_TRUE(codec.SaveFile(dir / c.name, -1)) << c.name;
        FIBITMAP* back = FreeImage_Load(c.fif, (dir / c.name).c_str(), 0);
        ASSERT_NE(back, nullptr) << c.name;
        EXPECT_EQ(FreeImage_GetWidth(back), 9u);
        EXPECT_EQ(FreeImage_GetBPP(back), c.bpp) << c.name;
        FreeImage_Unload(back);
    }
    // PNG and TIFF keep alpha exactly.
    for (const char* name : {"a.png", "a.tif"}) {
        FreeImageCodec reader;
        auto back = LoadFrame(reader, dir / name);
        ASSERT_TRUE(back);
        EXPECT_TRUE(test::SamePixels(*back, img)) << name;
    }
    GdiplusCodec tga(kFormatTga);
    tga.saveList.push_back(&img);
    EXPECT_FALSE(tga.SaveFile(dir / "a.tga", -1));
}

TEST(GdiplusCodec, GifOfFewColoursIsLossless) {
    Image img;
    ASSERT_TRUE(img.Create(20, 10, 32));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            uint8_t* p = img.PixelAddress(x, y);
            p[0] = static_cast<uint8_t>(x * 10);
            p[1] = static_cast<uint8_t>(y * 20);
            p[2] = 99;
            p[3] = 255;
        }
    TempDir dir;
    GdiplusCodec codec(kFormatGif);
    codec.saveList.push_back(&img);
    ASSERT_TRUE(codec.SaveFile(dir / "few.gif", -1));
    FreeImageCodec reader;
    auto back = LoadFrame(reader, dir / "few.gif");
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->ConvertDepth(32));
    EXPECT_TRUE(test::SamePixels(*back, img));
}

TEST(GdiplusCodec, ReaderMapsPixelFormats) {
    TempDir dir;
    // A 32-bit BMP carries no alpha: it decodes opaque.
    Image img = test::Pattern(3, 3, 32);
    img.SetAlphaAll(0);
    BmpCodec bmp;
    bmp.saveList.push_back(&img);
    ASSERT_TRUE(bmp.SaveFile(dir / "x.bmp", -1));
    GdiplusCodec codec(kFormatBmp);
    auto back = LoadFrame(codec, dir / "x.bmp");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Depth(), 32);
    EXPECT_EQ(back->PixelAddress(1, 1)[3], 255);

    // Palette images stay palette images.
    Image pal = test::Pattern(4, 4, 8);
    FreeImageCodec gif;
    gif.saveList.push_back(&pal);
    ASSERT_TRUE(gif.SaveFile(dir / "p.gif", -1));
    auto bytes = test::ReadAll(dir / "p.gif");
    GdiplusCodec mem(kFormatGif);
    ASSERT_TRUE(mem.LoadMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(mem.TakeFrames(false).front()->Depth(), 8);

    // The built-in factory's picture reader gives 24 bits.
    OlePictureCodec ole;
    ASSERT_TRUE(ole.LoadMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(ole.TakeFrames(false).front()->Depth(), 24);
    OlePictureCodec bad;
    EXPECT_FALSE(bad.LoadMemory(bytes.data(), 10));
}

TEST(PcxConverter, TrueColourAndPaletteReadBackExactly) {
    TempDir dir;
    for (int depth : {24, 32, 8, 4, 1}) {
        Image img = test::Pattern(depth == 1 ? 13 : 7, 5, depth);
        if (depth == 32) img.SetAlphaAll(255);
        BmpCodec bmp;
        bmp.saveList.push_back(&img);
        ASSERT_TRUE(bmp.SaveFile(dir / "in.bmp", -1));
        ASSERT_NE(ConvertBmpToPcx(dir / "out.pcx", dir / "in.bmp"), 0) << depth;
        FIBITMAP* dib = FreeImage_Load(FIF_PCX, (dir / "out.pcx").c_str(), 0);
        ASSERT_NE(dib, nullptr) << depth;
        FIBITMAP* rgb = FreeImage_ConvertTo24Bits(dib);
        Image want(img);
        ASSERT_TRUE(want.ConvertDepth(24));
        for (int y = 0; y < want.Height(); ++y)
            for (int x = 0; x < want.Width(); ++x) {
                RGBQUAD q;
                FreeImage_GetPixelColor(rgb, static_cast<unsigned>(x),
                                        static_cast<unsigned>(want.Height() - 1 - y), &q);
                ASSERT_EQ(q.rgbBlue | q.rgbGreen << 8 | q.rgbRed << 16,
                          static_cast<int>(want.PixelValue(x, y)))
                    << depth << " at " << x << "," << y;
            }
        FreeImage_Unload(rgb);
        FreeImage_Unload(dib);
    }
    EXPECT_EQ(ConvertBmpToPcx(dir / "x.pcx", dir / "missing.bmp"), 0);
    struct stat st;
    EXPECT_NE(stat((dir / "x.pcx").c_str(), &st), 0);
}

TEST(SaveRoute, EveryExtensionRoundTrips) {
    TempDir dir;
    Image img = AlphaPicture(12, 8);
    struct Case {
        const char* name;
        bool exact;  // lossless for an opaque-or-alpha picture
    } cases[] = {{"a.bmp", true},  {"a.png", true},  {"a.PNG", true},  {"a.tif", true},
                 {"a.tiff", true}, {"a.tga", true},  {"a.jpg", false}, {"a.jpeg", false},
                 {"a.gif", false}, {"a.pcx", false}, {"b.PCX", false}, {"c.Pcx", false}};
    for (const Case& c : cases) {
        const std::string path = dir / c.name;
        ASSERT_TRUE(SaveImageFile(img, path)) << c.name;
        SetFactory(std::make_unique<FreeImageCodecFactory>());
        Image back;
        ASSERT_TRUE(back.Load(path)) << c.name;
        EXPECT_EQ(back.Width(), 12) << c.name;
        EXPECT_EQ(back.Height(), 8) << c.name;
        if (c.exact) {
            ASSERT_TRUE(back.ConvertDepth(32));
            EXPECT_TRUE(test::SamePixels(back, img)) << c.name;
        }
    }
    // No temporary BMP is left behind by the PCX route, nor temporary files beside the targets.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, std::size(cases));
}

TEST(SaveRoute, ReservedSpaceIsTakenOverAndCutToTheFile) {
    TempDir dir;
    Image img = AlphaPicture(12, 8);
    // Reserved far larger than the picture, once for each writer kind: streamed (BMP), by name (PNG).
    for (const char* name : {"a.bmp", "a.png"}) {
        const std::string path = dir / name;
        ReserveWriteBeside(path, size_t{4} << 20);
        ASSERT_TRUE(SaveImageFile(img, path)) << name;
        Image back;
        ASSERT_TRUE(back.Load(path)) << name;
        ASSERT_TRUE(back.ConvertDepth(32));
        EXPECT_TRUE(test::SamePixels(back, img)) << name;
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "a.bmp"), 54u + 12u * 8u * 4u);
    EXPECT_LT(std::filesystem::file_size(dir / "a.png"), 4096u);
    // Only the two pictures are there: the reservations became them.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

TEST(SaveRoute, FailuresLeaveNoFileAndKeepOldOnes) {
    TempDir dir;
    Image img = AlphaPicture(4, 4);
    for (const char* name : {"a.psd", "a.ico", "a.xpm", "a.nbo", "a.txt", "noext", "a.tar.gz"}) {
        EXPECT_FALSE(SaveImageFile(img, dir / name)) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
    }
    EXPECT_FALSE(SaveImageFile(img, dir / "no/such/folder/a.png"));
    EXPECT_FALSE(SaveImageFile(Image(), dir / "empty.png"));

    // A save that fails never damages the file that was there.
    test::WriteAll(dir / "keep.tga", {1, 2, 3});
    Image four = test::Pattern(4, 4, 4);
    EXPECT_FALSE(SaveImageFile(four, dir / "keep.tga"));
    EXPECT_EQ(test::ReadAll(dir / "keep.tga"), (std::vector<uint8_t>{1, 2, 3}));
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace glimmora
